// Pre-flight's share checks against two real Samba servers (Main's share on X:, the Mirror's on Y:) beside
// the scripted SQL servers: writable shares with the free space the servers report, a share that is not
// writable, and the probe that no file list shows.

#include "SmbTestBase.h"
#include "StatusServers.h"
#include "core/db/ScriptOnly.h"
#include "core/shares/FileAccess.h"
#include "core/shares/ModNetUse.h"
#include "gui/status/Preflight.h"
#include "gui/ui/Prompt.h"

#include <filesystem>
#include <sys/stat.h>

using namespace quorix;
using namespace quorix::testing;
using namespace quorix::testsupport;
namespace fs = std::filesystem;

namespace {

[[maybe_unused]] const auto *const kSamba = ::testing::AddGlobalTestEnvironment(new SambaEnvironment);

class PreflightShares : public MirroringWindow {
protected:
    void SetUp() override {
        QUORIX_SKIP_WITHOUT_SAMBA();
        ASSERT_TRUE(SambaEnvironment::ok()) << SambaEnvironment::error();
        samba().clearShares();
        MirroringWindow::SetUp();
        answerDatabases(*main, {{"Radiology", "ONLINE", "FULL", std::nullopt, std::nullopt, std::nullopt,
                                 std::nullopt, "3072"}});
        answerDatabases(*mirror, {});
        answerAsSetUp(*main, 0);
        answerAsSetUp(*mirror, 1);
        start();
        for (int slot = 0; slot < 2; ++slot) {
            const SambaShare &s = samba().share(slot);
            ModNetUse::MapNetworkDrive(s.server + "\\backup", slot == 0 ? "X:" : "Y:", s.user, s.password);
            ASSERT_EQ(ModNetUse::lastResult(), 0) << ModNetUse::errorText();
        }
        f().txtDB->setText("Radiology");
        Prompt::clearShown();
    }
    void TearDown() override {
        std::error_code ignored; // nothing to give back when the test was skipped
        fs::permissions(mir(1),
                        fs::perms::owner_all | fs::perms::group_all | fs::perms::others_read |
                            fs::perms::others_exec,
                        ignored);
        shares::drives().dropAll();
        MirroringWindow::TearDown();
    }
    static fs::path mir(int slot) { return samba().share(slot).folder / "MIR"; }

    QStringList preflight() {
        f().txtLog->clear();
        click("cmdPreflight");
        return logged();
    }
    static QStringList about(const QStringList &lines, const QString &part) { return lines.filter(part); }
};

} // namespace

TEST_F(PreflightShares, WritableSharesPassWithTheSpaceTheServersReport) {
    const QStringList lines = preflight();
    EXPECT_EQ(about(lines, "backup share"),
              (QStringList{"ok    Main's backup share X:\\MIR\\ reachable from this machine",
                           "ok    Main's backup share X:\\MIR\\ writable",
                           "ok    the Mirror's backup share Y:\\MIR\\ reachable from this machine",
                           "ok    the Mirror's backup share Y:\\MIR\\ writable"}));
    EXPECT_EQ(about(lines, "free space"),
              (QStringList{
                  "ok    Main: free space for the backups (5000 MB free on P:, the databases take 3 MB)",
                  "ok    Mirror: free space for the backups (5000 MB free on P:, the databases take 3 MB)"}));
    EXPECT_EQ(lines.last(), "Pre-flight: 30 checks, 0 failed") << lines.join('\n').toStdString();

    // The probe stays as one small file under a copy's temporary name, which no file list shows, and the
    // next check writes over it.
    const std::string probe = Preflight::probeName().toStdString();
    EXPECT_EQ(probe, "quorix-pre-flight.~quorix-copy.tmp");
    for (int slot = 0; slot < 2; ++slot) {
        EXPECT_TRUE(fs::exists(mir(slot) / probe)) << slot;
        std::vector<std::string> names;
        ASSERT_TRUE(shares::files().list(slot == 0 ? "X:\\MIR\\" : "Y:\\MIR\\", "*", names).ok());
        EXPECT_TRUE(names.empty()) << names.front();
    }
    preflight();
    EXPECT_EQ(std::distance(fs::directory_iterator(mir(0)), fs::directory_iterator{}), 1);
}

TEST_F(PreflightShares, UnderScriptOnlyTheSharesAreListedNotWrittenAndTheSpaceIsStillRead) {
    f().chkScriptOnly->setChecked(true);
    const QStringList lines = preflight();
    f().chkScriptOnly->setChecked(false);
    EXPECT_EQ(about(lines, "backup share"),
              (QStringList{"ok    Main's backup share X:\\MIR\\ reachable from this machine",
                           "ok    Main's backup share X:\\MIR\\ writable: not tried (Script only)",
                           "ok    the Mirror's backup share Y:\\MIR\\ reachable from this machine",
                           "ok    the Mirror's backup share Y:\\MIR\\ writable: not tried (Script only)"}));
    // The drives' free space is a read, sent in a dry run too.
    EXPECT_EQ(about(lines, "free space"),
              (QStringList{
                  "ok    Main: free space for the backups (5000 MB free on P:, the databases take 3 MB)",
                  "ok    Mirror: free space for the backups (5000 MB free on P:, the databases take 3 MB)"}));
    for (int slot = 0; slot < 2; ++slot)
        EXPECT_FALSE(fs::exists(mir(slot) / Preflight::probeName().toStdString())) << slot;
    EXPECT_TRUE(scriptOnly().items().empty()) << scriptOnly().script().toStdString();
}

TEST_F(PreflightShares, AShareThatIsNotWritableIsNamedWithItsFix) {
    fs::permissions(mir(1), fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                                fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);
    const QStringList lines = preflight();
    const QStringList mirrorShare = about(lines, "Y:\\MIR\\");
    ASSERT_EQ(mirrorShare.size(), 2) << lines.join('\n').toStdString();
    EXPECT_EQ(mirrorShare[0], "ok    the Mirror's backup share Y:\\MIR\\ reachable from this machine");
    EXPECT_TRUE(
        mirrorShare[1].startsWith("FAIL  the Mirror's backup share Y:\\MIR\\ writable: Cannot write "))
        << mirrorShare[1].toStdString();
    EXPECT_TRUE(
        mirrorShare[1].endsWith(". Fix: give the account in the Server User/PW boxes the right to write to "
                                "the share's MIR folder"))
        << mirrorShare[1].toStdString();
    EXPECT_TRUE(about(lines, "X:\\MIR\\").last().startsWith("ok    Main's backup share X:\\MIR\\ writable"));
    EXPECT_FALSE(fs::exists(mir(1) / Preflight::probeName().toStdString()));
    EXPECT_EQ(lines.last(), "Pre-flight: 29 checks, 1 failed");
}
