// The CopyCert buttons on the real window, copying between the backup shares of two real Samba servers
// (Main 127.0.0.2 on X:, Mirror 127.0.0.3 on Y:).

#include "SmbTestBase.h"
#include "WindowKit.h"
#include "core/shares/ModNetUse.h"
#include "gui/ui/Prompt.h"

#include <QPushButton>

#include <set>

using namespace quorix;
using namespace quorix::testing;
using namespace quorix::testsupport;

namespace {

[[maybe_unused]] const auto *const kSamba = ::testing::AddGlobalTestEnvironment(new SambaEnvironment);

class Certificates : public WindowTest {
protected:
    void SetUp() override {
        QUORIX_SKIP_WITHOUT_SAMBA();
        ASSERT_TRUE(SambaEnvironment::ok()) << SambaEnvironment::error();
        samba().clearShares();
        w.start();
        // The server boxes of a real run would name the hosts; the mapping is made here directly.
        mapDrive(0, "X:");
        mapDrive(1, "Y:");
        Prompt::clearShown();
    }
    void TearDown() override {
        shares::drives().dropAll();
        WindowTest::TearDown();
    }
    static void mapDrive(int slot, const std::string &letter) {
        const SambaShare &s = samba().share(slot);
        ModNetUse::MapNetworkDrive(s.server + "\\backup", letter, s.user, s.password);
        ASSERT_EQ(ModNetUse::lastResult(), 0) << ModNetUse::errorText();
    }
    static std::filesystem::path mir(int slot) { return samba().share(slot).folder / "MIR"; }
    static std::set<std::string> filesIn(int slot) {
        std::set<std::string> names;
        for (const auto &entry : std::filesystem::directory_iterator(mir(slot)))
            names.insert(entry.path().filename().string());
        return names;
    }
    void copyCert(int index) { w.find<QPushButton>(QStringLiteral("cmdCopyCert(%1)").arg(index))->click(); }
};

} // namespace

TEST_F(Certificates, EachServersCertificateGoesToTheOtherShare) {
    samba().putFile(0, "MIR/SERVER1.cer", "certificate of Main");
    copyCert(0);
    EXPECT_EQ(Prompt::shown(), QStringList{"done."});
    EXPECT_EQ(readLocal(mir(1) / "SERVER1.cer"), "certificate of Main");

    // An older copy in Main's folder is overwritten.
    samba().putFile(1, "MIR/SERVER2.cer", "certificate of the Mirror");
    samba().putFile(0, "MIR/SERVER2.cer", "stale");
    Prompt::clearShown();
    copyCert(1);
    EXPECT_EQ(Prompt::shown(), QStringList{"done."});
    EXPECT_EQ(readLocal(mir(0) / "SERVER2.cer"), "certificate of the Mirror");

    // The third frame's button copies nothing.
    const auto before0 = filesIn(0), before1 = filesIn(1);
    Prompt::clearShown();
    copyCert(2);
    EXPECT_EQ(Prompt::shown(), QStringList{"done."});
    EXPECT_EQ(filesIn(0), before0);
    EXPECT_EQ(filesIn(1), before1);
}

TEST_F(Certificates, AMissingFileOrDriveIsShownInsteadOfDone) {
    copyCert(1);
    ASSERT_EQ(Prompt::shown().size(), 1);
    const QString missing = Prompt::shown().first();
    EXPECT_TRUE(missing.contains("SERVER2.cer", Qt::CaseInsensitive)) << missing.toStdString();
    EXPECT_NE(missing, "done.");
    EXPECT_FALSE(std::filesystem::exists(mir(0) / "SERVER2.cer"));

    samba().putFile(0, "MIR/SERVER1.cer", "certificate of Main");
    shares::drives().dropAll();
    Prompt::clearShown();
    copyCert(0);
    ASSERT_EQ(Prompt::shown().size(), 1);
    EXPECT_NE(Prompt::shown().first(), "done.");
    EXPECT_TRUE(Prompt::shown().first().contains("x:", Qt::CaseInsensitive))
        << Prompt::shown().first().toStdString();
    EXPECT_FALSE(std::filesystem::exists(mir(1) / "SERVER1.cer"));
}
