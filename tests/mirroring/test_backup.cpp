// "Backup" on the real window through the real driver: the statements each slot receives, Log Only, the
// ALL DBS walk and its check boxes, a failing log backup, and a hostile database name.

#include "MirroringWindow.h"
#include "core/db/ServerSessions.h"

#include <QMainWindow>
#include <QStatusBar>
#include <QTimer>
#include <atomic>

using namespace quorix;
using namespace quorix::testing;
using tds::Reply;
using tds::Rule;

namespace {

const std::string kFull = "BACKUP DATABASE Billing TO DISK = 'p:\\backup\\MIR\\Billing.BAK'   WITH FORMAT";
const std::string kLog = "BACKUP Log  Billing TO DISK = 'p:\\backup\\MIR\\Billing_log.BAK'   WITH FORMAT";

std::string fullOf(const std::string &db) {
    return "BACKUP DATABASE " + db + " TO DISK = 'p:\\backup\\MIR\\" + db + ".BAK'   WITH FORMAT";
}
std::string logOf(const std::string &db) {
    return "BACKUP Log  " + db + " TO DISK = 'p:\\backup\\MIR\\" + db + "_log.BAK'   WITH FORMAT";
}

class Backups : public MirroringWindow {
protected:
    void SetUp() override {
        MirroringWindow::SetUp();
        mainDbs.set({"Billing", "Payroll", "Radiology"});
        mirrorDbs.set({"Zeta"});
        start();
        f().txtDB->setText("Billing");
    }
};

} // namespace

TEST_F(Backups, OneDatabaseOnTheSlotOfTheButtonAndLogOnly) {
    click("cmdBackup(0)");
    EXPECT_EQ(sent(0), (std::vector<std::string>{kFull, kLog}));
    EXPECT_TRUE(sent(1).empty());
    EXPECT_EQ(log(), (QStringList{"Done", QString::fromStdString(kLog), "Running SQL..", "Done",
                                  QString::fromStdString(kFull), "Running SQL.."}));

    // The Mirror's button backs up on the Mirror; Log Only leaves out the full backup.
    resetRecord();
    f().chkLogOnly->setChecked(true);
    f().txtDB->setText("Zeta");
    click("cmdBackup(1)");
    EXPECT_EQ(sent(1), std::vector<std::string>{logOf("Zeta")});
    EXPECT_TRUE(sent(0).empty());

    // The backup folder is read from its box.
    resetRecord();
    f().chkLogOnly->setChecked(false);
    f().txtBackupDrive->setText("e:\\bak\\");
    click("cmdBackup(1)");
    EXPECT_EQ(sent(1),
              (std::vector<std::string>{"BACKUP DATABASE Zeta TO DISK = 'e:\\bak\\Zeta.BAK'   WITH FORMAT",
                                        "BACKUP Log  Zeta TO DISK = 'e:\\bak\\Zeta_log.BAK'   WITH FORMAT"}));
}

TEST_F(Backups, AFailedLogBackupIsReportedBelowTheGoodFullBackup) {
    main->addRule(Rule::pattern(
        "BACKUP Log .*", Reply::error(4208, "The statement BACKUP LOG is not allowed while the recovery "
                                            "model is SIMPLE.")));
    click("cmdBackup(0)");
    EXPECT_EQ(sent(0), (std::vector<std::string>{kFull, kLog}));
    const QStringList lines = log();
    ASSERT_GE(lines.size(), 6);
    EXPECT_EQ(lines.mid(0, 6),
              (QStringList{driverError("The statement BACKUP LOG is not allowed while the recovery model is "
                                       "SIMPLE."),
                           QString::fromStdString(kLog), "Running SQL..", "Done",
                           QString::fromStdString(kFull), "Running SQL.."}));

    // A failed full backup does not keep the log backup from running.
    resetRecord();
    main->clearRules();
    main->addRule(Rule::pattern("BACKUP DATABASE .*", Reply::error(3201, "Cannot open backup device.")));
    click("cmdBackup(0)");
    EXPECT_EQ(sent(0), (std::vector<std::string>{kFull, kLog}));
    EXPECT_EQ(log().first(), "Done");
}

TEST_F(Backups, AllDatabasesWalksTheSlotsListAndFollowsTheCheckBox) {
    f().chkALL->setChecked(true);
    click("cmdBackup(0)");
    EXPECT_EQ(sent(0), (std::vector<std::string>{fullOf("Billing"), logOf("Billing"), fullOf("Payroll"),
                                                 logOf("Payroll"), fullOf("Radiology"), logOf("Radiology")}));
    EXPECT_EQ(f().txtDB->text(), "Radiology");

    // Unticking ALL DBS during the walk ends it after the current database; STOP is not looked at.
    resetRecord();
    f().chkStop->setChecked(true);
    whenCurrentDatabaseIs("Payroll", [this] { f().chkALL->setChecked(false); });
    click("cmdBackup(0)");
    EXPECT_EQ(sent(0), (std::vector<std::string>{fullOf("Billing"), logOf("Billing"), fullOf("Payroll"),
                                                 logOf("Payroll")}));
    EXPECT_TRUE(f().chkStop->isChecked());

    // Ticking it during a single-database backup changes nothing about that backup.
    resetRecord();
    f().txtDB->setText("Solo");
    whenLogged("Running SQL..", [this] { f().chkALL->setChecked(true); });
    click("cmdBackup(0)");
    EXPECT_EQ(sent(0), (std::vector<std::string>{fullOf("Solo"), logOf("Solo")}));
}

TEST_F(Backups, AllDatabasesWithAnEmptyListSendsNothing) {
    f().chkALL->setChecked(true);
    mainDbs.set({});
    click("cmdRefreshDB(0)");
    ASSERT_EQ(f().GridDB[0]->rows(), 0);
    resetRecord();
    click("cmdBackup(0)");
    EXPECT_TRUE(sent(0).empty());
    EXPECT_TRUE(sent(1).empty());
    EXPECT_TRUE(log().isEmpty());
    EXPECT_EQ(f().txtDB->text(), "Billing");
}

TEST_F(Backups, AHostileNameStaysOneNameAndOneText) {
    f().txtDB->setText("Bad'Name];x");
    click("cmdBackup(0)");
    EXPECT_EQ(
        sent(0),
        (std::vector<std::string>{
            "BACKUP DATABASE [Bad'Name]];x] TO DISK = 'p:\\backup\\MIR\\Bad''Name];x.BAK'   WITH FORMAT",
            "BACKUP Log  [Bad'Name]];x] TO DISK = 'p:\\backup\\MIR\\Bad''Name];x_log.BAK'   "
            "WITH FORMAT"}));
}

// One network blip must not fail a night's walk: the server drops the link during Payroll's full backup;
// Payroll's log backup fails on the dead link, the session reconnects once before Radiology, and the walk
// goes on. The status bar tells where the walk stands, and the failure still counts.
TEST_F(Backups, ALinkDroppedDuringAWalkIsReconnectedBeforeTheNextDatabase) {
    auto dropped = std::make_shared<std::atomic<bool>>(false);
    main->addRule(Rule::callback(
        [dropped](const std::string &, const tds::ConnectionState &) -> std::optional<Reply> {
            if (dropped->exchange(true))
                return std::nullopt;
            return Reply::drop();
        },
        "BACKUP DATABASE Payroll .*"));
    QStringList progress;
    QObject::connect(f().frmMain->statusBar(), &QStatusBar::messageChanged, f().frmMain,
                     [&progress](const QString &m) { progress << m; });
    const int failuresBefore = w.window().sessions().failures();
    f().chkALL->setChecked(true);
    click("cmdBackup(0)");

    EXPECT_EQ(sent(0), (std::vector<std::string>{fullOf("Billing"), logOf("Billing"), fullOf("Payroll"),
                                                 fullOf("Radiology"), logOf("Radiology")}));
    const QStringList lines = log();
    const qsizetype reconnected = lines.indexOf("Reconnected.");
    ASSERT_GE(reconnected, 0) << lines.join('\n').toStdString();
    EXPECT_EQ(lines.count("Reconnected."), 1);
    EXPECT_EQ(lines[reconnected - 1], "Running SQL.."); // then Radiology's full backup
    EXPECT_EQ(lines[reconnected - 2], QString::fromStdString(fullOf("Radiology")));
    EXPECT_GT(w.window().sessions().failures(), failuresBefore);
    // Each statement's own progress comes and goes in between, and gives the walk's message back.
    QStringList walk;
    for (const QString &m : progress)
        if ((m.contains(" of 3: ") || m.isEmpty()) && (walk.isEmpty() || walk.last() != m))
            walk << m;
    EXPECT_EQ(walk, (QStringList{"1 of 3: Billing", "2 of 3: Payroll", "3 of 3: Radiology", ""}));
    EXPECT_EQ(progress[1], "BACKUP DATABASE Billing: 0:00 elapsed");
    EXPECT_EQ(progress[2], "1 of 3: Billing");
}

// Cancel pressed while Payroll's full backup runs: that statement ends as a failure and is logged, the
// walk goes on with the next statement and database, nothing hangs, and the failure counts.
TEST_F(Backups, AStatementCancelledDuringAWalkFailsAloneAndTheWalkGoesOn) {
    main->addRule(Rule::exact(fullOf("Payroll"), Reply::done().after(std::chrono::seconds(20))));
    whenLogged(QString::fromStdString(fullOf("Payroll")),
               [this] { QTimer::singleShot(300, f().cmdCancel, [this] { f().cmdCancel->click(); }); });
    const int failuresBefore = w.window().sessions().failures();
    f().chkALL->setChecked(true);
    click("cmdBackup(0)");
    EXPECT_EQ(main->cancels(), 1);
    EXPECT_EQ(sent(0), (std::vector<std::string>{fullOf("Billing"), logOf("Billing"), fullOf("Payroll"),
                                                 logOf("Payroll"), fullOf("Radiology"), logOf("Radiology")}));
    const QStringList lines = log();
    const qsizetype at = lines.indexOf(QString::fromStdString(fullOf("Payroll")));
    ASSERT_GT(at, 0);
    EXPECT_NE(lines[at - 1], "Done") << "the cancelled backup is logged as a failure";
    EXPECT_EQ(lines.count("Reconnected."), 0);
    EXPECT_EQ(w.window().sessions().failures(), failuresBefore + 1);
}
