// Mapping X: and Y: against the two Samba servers, and the codes and texts of the failures.

#include "SmbTestBase.h"
#include "core/shares/FileAccess.h"
#include "core/shares/ModNetUse.h"

using namespace quorix;
using namespace quorix::testsupport;

namespace {

class Mapping : public SmbTest {
protected:
    int map(const std::string &remote, const std::string &letter, const std::string &user,
            const std::string &pw) {
        ModNetUse::MapNetworkDrive(remote, letter, user, pw);
        return ModNetUse::lastResult();
    }
};

} // namespace

TEST_F(Mapping, MapsBothDrivesAndRemembersThemInTheStore) {
    EXPECT_EQ(map(server(0) + "\\backup", "X:", share(0).user, share(0).password), 0);
    EXPECT_EQ(ModNetUse::errorText(), "");
    EXPECT_EQ(map(server(1) + "\\backup", "Y:", share(1).user, share(1).password), 0);

    const auto stored = m_store->load();
    EXPECT_EQ(stored.at("X"), "\\\\" + server(0) + "\\backup");
    EXPECT_EQ(stored.at("XUser"), share(0).user);
    EXPECT_EQ(stored.at("Y"), "\\\\" + server(1) + "\\backup");
    for (const auto &[key, value] : stored)
        EXPECT_NE(value, share(0).password) << "no password in the drive store";

    // Mapping the same letter again reports it as assigned, which the map buttons take as success.
    EXPECT_EQ(map(server(0) + "\\backup", "X:", share(0).user, share(0).password), 85);
    EXPECT_EQ(ModNetUse::errorText(), "Already Assigned.");
    EXPECT_EQ(map(server(1) + "\\backup", "x:", "nobody", "wrong"), 85);

    // A later run finds the drives in its store.
    auto later = std::make_shared<shares::MemoryDriveStore>();
    later->save(stored);
    shares::setDriveStore(later);
    std::vector<std::string> names;
    share(1).folder; // Y: is the Mirror's share
    samba().putFile(1, "MIR/seen.bak", "1");
    auto result = shares::files().list("y:\\MIR", "*.bak", names);
    ASSERT_TRUE(result.ok()) << result.error();
    EXPECT_EQ(names, std::vector<std::string>{"seen.bak"});
}

TEST_F(Mapping, FailuresGiveTheirWindowsCodeAndText) {
    EXPECT_EQ(map(server(0) + "\\backup", "X:", share(0).user, "wrong"), 86);
    EXPECT_EQ(ModNetUse::errorText(), "Invalid Password");
    EXPECT_EQ(map(server(0) + "\\nosuch", "X:", share(0).user, share(0).password), 67);
    EXPECT_EQ(ModNetUse::errorText(), "Bad net name");
    // An empty server box gives "\\" + "\backup".
    EXPECT_EQ(map("\\backup", "X:", share(0).user, share(0).password), 67);
    // The Mirror's account is not valid for Main's share.
    EXPECT_EQ(map(server(0) + "\\backup", "X:", share(1).user, share(1).password), 86);
    // Nothing listens on this address.
    EXPECT_EQ(map("127.0.0.9\\backup", "X:", share(0).user, share(0).password), 53);
    EXPECT_EQ(ModNetUse::errorText(), "Unrecognized Error 53.");
    EXPECT_TRUE(m_store->load().empty()) << "a failed mapping leaves no drive behind";

    std::vector<std::string> names;
    EXPECT_EQ(shares::files().list("x:\\MIR", "*.bak", names).error(),
              "Cannot list x:\\MIR: drive X: not mapped");
}

TEST_F(Mapping, DropDirRemovesEveryMappingAndMappingWorksAgain) {
    ASSERT_EQ(map(server(0) + "\\backup", "X:", share(0).user, share(0).password), 0);
    ASSERT_EQ(map(server(1) + "\\backup", "Y:", share(1).user, share(1).password), 0);
    shares::drives().dropAll();
    EXPECT_TRUE(m_store->load().empty());
    std::vector<std::string> names;
    EXPECT_FALSE(shares::files().list("y:\\MIR", "*", names).ok());

    EXPECT_EQ(map(server(0) + "\\backup", "X:", share(0).user, share(0).password), 0);
    EXPECT_EQ(map(server(1) + "\\backup", "Y:", share(1).user, share(1).password), 0);
    EXPECT_TRUE(shares::files().list("y:\\MIR", "*", names).ok());
}
