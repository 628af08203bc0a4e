// "Copy ->" and "<- Copy" on the real window against two real Samba servers: Main's share mapped to X:,
// the Mirror's to Y:, through the window's own map buttons. Both directions, Log Only, an ALL DBS walk
// ended by a missing backup, and a copy that fails midway.

#include "SambaFixture.h"
#include "TestFiles.h"
#include "WindowKit.h"
#include "core/shares/ModNetUse.h"
#include "gui/ui/Prompt.h"
#include "gui/ui/widgets/FileList.h"
#include "gui/ui/widgets/Grid.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

using namespace quorix;
using namespace quorix::testing;
using quorix::testsupport::SambaFixture;
namespace fs = std::filesystem;

namespace {

class Copies : public WindowTest {
protected:
    static void SetUpTestSuite() {
        std::string error;
        if (!samba().start(error))
            s_error = error.empty() ? "Samba did not start" : error;
    }
    static void TearDownTestSuite() { samba().stop(); }
    static SambaFixture &samba() {
        static SambaFixture fixture;
        return fixture;
    }

    void SetUp() override {
        QUORIX_SKIP_WITHOUT_SAMBA();
        ASSERT_TRUE(s_error.empty()) << s_error;
        samba().clearShares();
        for (int slot = 0; slot < 2; ++slot) {
            const auto &share = samba().share(slot);
            w.preset("MIR", QString("txtServer%1").arg(slot), QString::fromStdString(share.server));
            w.preset("MAIN", QString("txtServerUser%1").arg(slot), QString::fromStdString(share.user));
            w.preset("MAIN", QString("txtServerPW%1").arg(slot), QString::fromStdString(share.password));
        }
        w.start();
        Prompt::clearShown();
    }
    void mapBoth() {
        click("cmdNetworkConnect(0)");
        click("cmdNetworkConnect(1)");
        ASSERT_TRUE(Prompt::shown().isEmpty()) << Prompt::shown().join('|').toStdString();
    }

    QString topLog() { return f().txtLog->toPlainText().section('\n', 0, 0); }
    int logCount(const QString &line) {
        return static_cast<int>(f().txtLog->toPlainText().split('\n').count(line));
    }
    fs::path mir(int slot) { return samba().share(slot).folder / "MIR"; }
    void put(int slot, const std::string &name, const std::string &contents) {
        samba().putFile(slot, "MIR/" + name, contents);
    }
    static void setList(Grid *grid, const QStringList &names) {
        std::vector<QStringList> rows;
        for (const QString &n : names)
            rows.push_back({n});
        grid->setData({"name"}, rows);
    }

    static inline std::string s_error;
};

} // namespace

TEST_F(Copies, CopyArrowCopiesBothBackupsToTheMirrorAndBackArrowTheOtherWay) {
    mapBoth();
    put(0, "Billing.BAK", "full backup");
    put(0, "Billing_log.BAK", "log backup");
    put(1, "Billing.BAK", "an older backup"); // overwritten
    f().txtDB->setText("Billing");
    click("cmdCopy(0)");
    EXPECT_EQ(readLocal(mir(1) / "Billing.BAK"), "full backup");
    EXPECT_EQ(readLocal(mir(1) / "Billing_log.BAK"), "log backup");
    EXPECT_EQ(topLog(), "Copied");
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    // The Mirror's folder list shows the new file at once.
    ASSERT_EQ(f().FileB->listCount(), 2);
    EXPECT_EQ(f().FileB->list(1), "Billing_log.BAK");

    // "<- Copy": from the Mirror's share back to Main's, once the roles have switched.
    put(1, "Zeta.BAK", "zeta full");
    put(1, "Zeta_log.BAK", "zeta log");
    f().txtDB->setText("Zeta");
    click("cmdCopy(1)");
    EXPECT_EQ(readLocal(mir(0) / "Zeta.BAK"), "zeta full");
    EXPECT_EQ(readLocal(mir(0) / "Zeta_log.BAK"), "zeta log");
    EXPECT_EQ(namesIn(mir(1)),
              (std::vector<std::string>{"Billing.BAK", "Billing_log.BAK", "Zeta.BAK", "Zeta_log.BAK"}));
    EXPECT_EQ(f().FileA->listCount(), 4);

    // Log Only copies the log backup alone.
    put(0, "Payroll.BAK", "payroll full");
    put(0, "Payroll_log.BAK", "payroll log");
    f().chkLogOnly->setChecked(true);
    f().txtDB->setText("Payroll");
    click("cmdCopy(0)");
    EXPECT_TRUE(fs::exists(mir(1) / "Payroll_log.BAK"));
    EXPECT_FALSE(fs::exists(mir(1) / "Payroll.BAK"));
}

TEST_F(Copies, AllDatabasesStopsAtTheFirstMissingBackup) {
    mapBoth();
    for (const std::string db : {"Alpha", "Cardio"}) {
        put(0, db + ".BAK", db);
        put(0, db + "_log.BAK", db + " log");
    }
    put(0, "Billing_log.BAK", "the full backup of Billing is missing");
    setList(f().GridDB[0], {"Alpha", "Billing", "Cardio"});
    f().chkALL->setChecked(true);
    click("cmdCopy(0)");
    EXPECT_EQ(namesIn(mir(1)), (std::vector<std::string>{"Alpha.BAK", "Alpha_log.BAK"}));
    EXPECT_EQ(topLog(), "Cannot read x:\\MIR\\Billing.BAK: file not found Billing");
    EXPECT_EQ(logCount("Copied"), 1);
    EXPECT_EQ(f().txtDB->text(), "Billing");
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);

    // "<- Copy" walks the Mirror's list.
    put(1, "Zeta.BAK", "z");
    put(1, "Zeta_log.BAK", "zl");
    setList(f().GridDB[1], {"Alpha", "Zeta"});
    click("cmdCopy(1)");
    EXPECT_EQ(topLog(), "Copied");
    EXPECT_EQ(logCount("Copied"), 3);
    EXPECT_EQ(readLocal(mir(0) / "Zeta_log.BAK"), "zl");

    // Unmapped drives: the first copy fails and names the database.
    click("cmdDropDir(1)");
    f().chkALL->setChecked(false);
    f().txtDB->setText("Alpha");
    click("cmdCopy(0)");
    EXPECT_TRUE(topLog().endsWith(" Alpha")) << topLog().toStdString();
    EXPECT_TRUE(topLog().startsWith("Cannot read x:\\MIR\\Alpha.BAK")) << topLog().toStdString();
}

TEST_F(Copies, ACopyThatFailsMidwayLeavesNoPartialBackupOnTheTarget) {
    const fs::path tiny = samba().share(1).tiny;
    if (tiny.empty())
        GTEST_SKIP() << "no tmpfs could be mounted for the small share";
    // Y: on the Mirror's 1 MiB share, with its MIR folder.
    struct stat owner {};
    ASSERT_EQ(::stat(tiny.c_str(), &owner), 0);
    fs::create_directories(tiny / "MIR");
    ASSERT_EQ(::chown((tiny / "MIR").c_str(), owner.st_uid, owner.st_gid), 0);
    click("cmdNetworkConnect(0)");
    const auto &share = samba().share(1);
    ModNetUse::MapNetworkDrive(share.server + "\\tiny", "Y:", share.user, share.password);
    ASSERT_EQ(ModNetUse::lastResult(), 0) << ModNetUse::errorText();

    put(0, "Big.BAK", std::string(3u << 20, 'b'));
    put(0, "Big_log.BAK", "log");
    f().txtDB->setText("Big");
    click("cmdCopy(0)");
    EXPECT_EQ(topLog(), "Cannot write y:\\MIR\\Big.BAK: disk full Big");
    EXPECT_TRUE(namesIn(tiny / "MIR").empty()) << "neither the backup nor a temporary file stays";
}
