// Copy, rename and list on the Samba shares, through mapped drives and UNC paths; the copies' temporary
// files, which the lists never show.

#include "SmbTestBase.h"
#include "core/shares/FileAccess.h"
#include "core/shares/ModNetUse.h"
#include "core/shares/posix/Smb.h"

#include <fstream>
#include <random>
#include <sys/stat.h>
#include <thread>

using namespace quorix;
using namespace quorix::testsupport;
using shares::files;

namespace {

std::string randomBytes(std::size_t size) {
    std::mt19937 gen(42);
    std::string data(size, '\0');
    for (auto &c : data)
        c = static_cast<char>(gen());
    return data;
}

class SmbFiles : public SmbTest {
protected:
    void SetUp() override {
        SmbTest::SetUp();
        if (HasFatalFailure() || IsSkipped())
            return;
        ModNetUse::MapNetworkDrive(server(0) + "\\backup", "X:", share(0).user, share(0).password);
        ASSERT_EQ(ModNetUse::lastResult(), 0);
        ModNetUse::MapNetworkDrive(server(1) + "\\backup", "Y:", share(1).user, share(1).password);
        ASSERT_EQ(ModNetUse::lastResult(), 0);
    }
};

} // namespace

TEST_F(SmbFiles, CopiesFromXToYOverwritingTheTarget) {
    const std::string data = randomBytes(20u << 20); // several copy buffers
    samba().putFile(0, "MIR/Billing.BAK", data);
    samba().putFile(1, "MIR/Billing.BAK", "old backup");

    // The names of the copy handler, with their trailing blanks.
    auto result = files().copy("x:\\MIR\\Billing.BAK  ", "y:\\MIR\\Billing.BAK  ");
    ASSERT_TRUE(result.ok()) << result.error();
    EXPECT_TRUE(readLocal(share(1).folder / "MIR/Billing.BAK") == data);
    EXPECT_EQ(namesIn(share(1).folder / "MIR"), std::vector<std::string>{"Billing.BAK"});

    // Drive letters in any case, and UNC paths to the same shares.
    samba().putFile(0, "MIR/Pay_log.BAK", "log");
    result = files().copy("\\\\" + server(0) + "\\backup\\MIR\\pay_log.bak", "Y:\\mir\\Pay_log.BAK");
    ASSERT_TRUE(result.ok()) << result.error();
    EXPECT_EQ(readLocal(share(1).folder / "MIR/Pay_log.BAK"), "log");

    // Between a share and the local disk, both ways.
    const auto local = std::filesystem::temp_directory_path() / "quorix-smb-local.bak";
    ASSERT_TRUE(files().copy("y:\\MIR\\Pay_log.BAK", local.string()).ok());
    EXPECT_EQ(readLocal(local), "log");
    ASSERT_TRUE(files().copy(local.string(), "x:\\MIR\\FromLocal.bak").ok());
    EXPECT_EQ(readLocal(share(0).folder / "MIR/FromLocal.bak"), "log");
    std::filesystem::remove(local);
}

TEST_F(SmbFiles, MissingSourceNamesTheFileAndLeavesTheTarget) {
    samba().putFile(1, "MIR/Billing.BAK", "old backup");
    auto result = files().copy("x:\\MIR\\Billing.BAK  ", "y:\\MIR\\Billing.BAK  ");
    EXPECT_FALSE(result.ok());
    EXPECT_EQ(result.error(), "Cannot read x:\\MIR\\Billing.BAK  : file not found");
    EXPECT_EQ(readLocal(share(1).folder / "MIR/Billing.BAK"), "old backup");

    result = files().copy("x:\\NOPE\\Billing.BAK", "y:\\MIR\\Billing.BAK");
    EXPECT_EQ(result.error(), "Cannot read x:\\NOPE\\Billing.BAK: file not found");
    samba().putFile(0, "MIR/Billing.BAK", "new");
    result = files().copy("x:\\MIR\\Billing.BAK", "y:\\NOPE\\Billing.BAK");
    EXPECT_EQ(result.error(), "Cannot write y:\\NOPE\\Billing.BAK: folder not found");
    result = files().copy("x:\\MIR\\Billing.BAK", "q:\\MIR\\Billing.BAK");
    EXPECT_EQ(result.error(), "Cannot write q:\\MIR\\Billing.BAK: drive Q: not mapped");
}

TEST_F(SmbFiles, CopyThatFailsMidwayLeavesNoPartialTarget) {
    if (share(1).tiny.empty())
        GTEST_SKIP() << "no tmpfs could be mounted for the small share";
    samba().putFile(0, "MIR/Big.BAK", randomBytes(3u << 20)); // the small share holds 1 MiB
    const std::string tiny = "\\\\" + server(1) + "\\tiny";

    auto result = files().copy("x:\\MIR\\Big.BAK", tiny + "\\Big.BAK");
    EXPECT_FALSE(result.ok());
    EXPECT_EQ(result.error(), "Cannot write " + tiny + "\\Big.BAK: disk full");
    EXPECT_TRUE(namesIn(share(1).tiny).empty()) << "neither the target nor the temporary file stays";

    // An existing target keeps its contents.
    samba().putFile(0, "MIR/Small.BAK", "previous");
    ASSERT_TRUE(files().copy("x:\\MIR\\Small.BAK", tiny + "\\Big.BAK").ok());
    EXPECT_FALSE(files().copy("x:\\MIR\\Big.BAK", tiny + "\\Big.BAK").ok());
    EXPECT_EQ(namesIn(share(1).tiny), std::vector<std::string>{"Big.BAK"});
    EXPECT_EQ(readLocal(share(1).tiny / "Big.BAK"), "previous");
}

TEST_F(SmbFiles, RenameRefusesAnExistingName) {
    samba().putFile(0, "Billing_20150312.bak", "dated");
    samba().putFile(0, "Billing_20160101.bak", "later");
    const std::string folder = "\\\\" + server(0) + "\\backup\\";

    ASSERT_TRUE(files().rename(folder + "Billing_20150312.bak", folder + "Billing.bak").ok());
    auto clash = files().rename(folder + "Billing_20160101.bak", folder + "Billing.bak");
    EXPECT_FALSE(clash.ok());
    EXPECT_EQ(clash.error(), "Cannot rename " + folder + "Billing_20160101.bak to " + folder +
                                 "Billing.bak: file already exists");
    EXPECT_EQ(readLocal(share(0).folder / "Billing.bak"), "dated");
    EXPECT_EQ(readLocal(share(0).folder / "Billing_20160101.bak"), "later");

    // A change of letter case only is a rename of the file onto itself, which the share allows.
    ASSERT_TRUE(files().rename("x:\\Billing.bak", "x:\\BILLING.bak").ok());
    EXPECT_TRUE(std::filesystem::exists(share(0).folder / "BILLING.bak"));

    EXPECT_EQ(files().rename("x:\\none.bak", "x:\\x.bak").error(),
              "Cannot rename x:\\none.bak: file not found");
    EXPECT_FALSE(files().rename("x:\\BILLING.bak", "y:\\BILLING.bak").ok()) << "not across shares";
}

TEST_F(SmbFiles, ListsByPatternsThroughDrivesAndUncPaths) {
    for (auto name : {"b_log.bak", "A.BAK", "c.mdf", "d.LDF", "e.txt"})
        samba().putFile(1, std::string("MIR/") + name, "x");
    std::filesystem::create_directories(share(1).folder / "MIR" / "folder.bak");

    std::vector<std::string> names;
    ASSERT_TRUE(files().list("y:\\MIR\\", "*.bak", names).ok());
    EXPECT_EQ(names, (std::vector<std::string>{"A.BAK", "b_log.bak"}));
    ASSERT_TRUE(files().list("\\\\" + server(1) + "\\backup\\MIR", "*.mdf;*.ldf", names).ok());
    EXPECT_EQ(names, (std::vector<std::string>{"c.mdf", "d.LDF"}));
    ASSERT_TRUE(files().list("\\\\" + server(1) + "\\backup", "*.bak", names).ok());
    EXPECT_TRUE(names.empty());

    EXPECT_EQ(files().list("y:\\NOPE", "*.bak", names).error(), "Cannot list y:\\NOPE: folder not found");
    EXPECT_EQ(files().list("\\\\" + server(1) + "\\nosuch", "*", names).error(),
              "Cannot list \\\\" + server(1) + "\\nosuch: share not found");
    EXPECT_EQ(files().list("\\\\127.0.0.9\\backup", "*", names).error(),
              "Cannot list \\\\127.0.0.9\\backup: share unreachable");
}

TEST_F(SmbFiles, UncPathsUseTheAccountOfTheSlotThatNamesTheServerAtEachUse) {
    shares::drives().dropAll(); // no connection made with an account of its own
    samba().putFile(1, "MIR/a.bak", "x");
    const std::string mir = "\\\\" + server(1) + "\\backup\\MIR";
    std::vector<std::string> names;
    auto result = files().list(mir, "*.bak", names);
    ASSERT_TRUE(result.ok()) << result.error();
    EXPECT_EQ(names, std::vector<std::string>{"a.bak"});

    // The slot's password box changes: the next use (on a new connection) takes the new text.
    m_slots.set(server(1), {share(1).user, "changed"});
    shares::posix::resetSmbConnections();
    EXPECT_EQ(files().list(mir, "*.bak", names).error(), "Cannot list " + mir + ": access denied");

    // No slot names the server: no account, no access.
    m_slots.clear();
    shares::posix::resetSmbConnections();
    EXPECT_EQ(files().list(mir, "*.bak", names).error(), "Cannot list " + mir + ": access denied");
}

TEST_F(SmbFiles, ACopysTemporaryFileIsNeverListedAndTheNextCopyRemovesWhatAKilledOneLeft) {
    samba().putFile(0, "MIR/Billing.BAK", "new backup");
    samba().putFile(1, "MIR/Billing.BAK", "old backup");
    samba().putFile(1, "MIR/Billing_log.BAK", "log backup");
    // What killed copies of a backup and of a data file left behind.
    samba().putFile(1, "MIR/Billing.BAK.~quorix-copy.tmp", "half a backup");
    samba().putFile(1, "MIR/Billing.mdf.~quorix-copy.tmp", "half a data file");
    const std::vector<std::pair<std::string, std::vector<std::string>>> cases = {
        {"*.bak", {"Billing.BAK", "Billing_log.BAK"}},
        {"*.mdf;*.ldf", {}},
        {"*", {"Billing.BAK", "Billing_log.BAK"}},
    };
    std::vector<std::string> names;
    for (const auto &[pattern, expected] : cases) {
        ASSERT_TRUE(files().list("y:\\MIR", pattern, names).ok());
        EXPECT_EQ(names, expected) << pattern;
    }

    auto result = files().copy("x:\\MIR\\Billing.BAK  ", "y:\\MIR\\Billing.BAK  ");
    ASSERT_TRUE(result.ok()) << result.error();
    const auto mir = share(1).folder / "MIR";
    EXPECT_EQ(readLocal(mir / "Billing.BAK"), "new backup");
    EXPECT_EQ(namesIn(mir),
              (std::vector<std::string>{"Billing.BAK", "Billing.mdf.~quorix-copy.tmp", "Billing_log.BAK"}));

    // Two copies of one file at once: the first reads from a pipe and is still writing when the second
    // starts, which is refused and leaves the first to finish.
    const auto pipePath = std::filesystem::temp_directory_path() / "quorix-smb-pipe.bak";
    std::filesystem::remove(pipePath);
    ASSERT_EQ(::mkfifo(pipePath.c_str(), 0600), 0);
    Outcome first;
    std::thread running([&] { first = files().copy(pipePath.string(), "y:\\MIR\\Billing.BAK"); });
    {
        std::ofstream pipe(pipePath, std::ios::binary);
        for (int i = 0; i < 1000 && !std::filesystem::exists(mir / "Billing.BAK.~quorix-copy.tmp"); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        EXPECT_EQ(files().copy("x:\\MIR\\Billing.BAK", "y:\\MIR\\Billing.BAK").error(),
                  "Cannot write y:\\MIR\\Billing.BAK: another copy of this file is running "
                  "(Billing.BAK.~quorix-copy.tmp is in use)");
        pipe << "the first copy's backup";
    }
    running.join();
    std::filesystem::remove(pipePath);
    ASSERT_TRUE(first.ok()) << first.error();
    EXPECT_EQ(readLocal(mir / "Billing.BAK"), "the first copy's backup");

    // A leftover that cannot be removed is named, and the target keeps its contents.
    samba().putFile(1, "MIR/Billing.BAK.~quorix-copy.tmp/inside", "x");
    EXPECT_EQ(
        files().copy("x:\\MIR\\Billing.BAK", "y:\\MIR\\Billing.BAK").error(),
        "Cannot write y:\\MIR\\Billing.BAK: Billing.BAK.~quorix-copy.tmp, left by an earlier copy, cannot "
        "be removed: not a file");
    EXPECT_EQ(readLocal(mir / "Billing.BAK"), "the first copy's backup");
}

// The server of the target dies in the middle of a copy (smbd killed, as a crash would): the copy fails
// with an error naming the target, at once, and no partial file takes the target's name; once the server
// is back, the next copy succeeds and clears what the dead one left.
TEST_F(SmbFiles, AServerKilledDuringACopyLeavesNoPartialTargetAndTheNextCopyWorks) {
    const auto mir = share(1).folder / "MIR";
    const auto pipePath = std::filesystem::temp_directory_path() / "quorix-smb-killed.bak";
    std::filesystem::remove(pipePath);
    ASSERT_EQ(::mkfifo(pipePath.c_str(), 0600), 0);
    Outcome result;
    std::thread copying([&] { result = files().copy(pipePath.string(), "y:\\MIR\\Billing.BAK"); });
    {
        std::ofstream pipe(pipePath, std::ios::binary);
        const std::string block = randomBytes(1u << 20);
        pipe << block << std::flush;
        for (int i = 0; i < 1000 && !std::filesystem::exists(mir / "Billing.BAK.~quorix-copy.tmp"); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        samba().killServer(1);
        pipe << block << block << std::flush; // the copy goes on reading until its next write fails
    }
    copying.join();
    std::filesystem::remove(pipePath);
    EXPECT_FALSE(result.ok());
    EXPECT_TRUE(result.error().starts_with("Cannot write y:\\MIR\\Billing.BAK: ")) << result.error();
    EXPECT_FALSE(std::filesystem::exists(mir / "Billing.BAK"));

    std::string error;
    ASSERT_TRUE(samba().restartServer(1, error)) << error;
    samba().putFile(0, "MIR/Billing.BAK", "backup");
    result = files().copy("x:\\MIR\\Billing.BAK", "y:\\MIR\\Billing.BAK");
    ASSERT_TRUE(result.ok()) << result.error();
    EXPECT_EQ(readLocal(mir / "Billing.BAK"), "backup");
    EXPECT_EQ(namesIn(mir), std::vector<std::string>{"Billing.BAK"});
}
