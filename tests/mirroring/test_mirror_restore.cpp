// "Restore File list" and "Restore" on the real window through the real driver: the MOVE entries and the
// closing options on each slot, failed and empty file lists, the ALL DBS walk over the Mirror's backup
// folder list with Log Only, STOP and ALL DBS, the certificate files of that folder, and a hostile name.

#include "MirroringWindow.h"
#include "gui/mirroring/MirrorRestore.h"
#include "gui/ui/widgets/FileList.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <map>
#include <set>

using namespace quorix;
using namespace quorix::testing;
using tds::Reply;
using tds::ResultSet;
using tds::Rule;

namespace {

using Files = std::vector<std::pair<std::string, std::string>>; // logical name, physical path

const std::string kFolder = "p:\\backup\\MIR\\";

std::string fileListOf(const std::string &dbInPath) {
    return " RESTORE FILELISTONLY  FROM DISK = '" + kFolder + dbInPath + ".bak' WITH FILE = 1";
}
// The restore statements of database db whose backup holds the given MOVE entries.
std::string restoreDb(const std::string &db, const std::string &moves) {
    return "RESTORE DATABASE  " + db + " FROM DISK = '" + kFolder + db + ".bak' With   " + moves +
           " NORECOVERY   ";
}
std::string restoreLog(const std::string &db, const std::string &moves, const std::string &close) {
    return "RESTORE LOG  " + db + " FROM DISK = '" + kFolder + db + "_log.bak' With  " + moves + close;
}

class Restores : public MirroringWindow {
protected:
    void SetUp() override {
        MirroringWindow::SetUp();
        mainDbs.set({"Payroll"});
        mirrorDbs.set({"Zeta"});
        backups = {
            {"Billing",
             {{"Billing_Data", "E:\\SQLData\\Billing.mdf"}, {"Billing_Log", "E:\\SQLLog\\Billing_log.ldf"}}},
            {"Radiology",
             {{"Radiology", "D:\\data\\Radiology.mdf"},
              {"Radiology_img", "D:\\data\\Radiology_img.ndf"},
              {"Radiology_log", "D:\\data\\Radiology_1.LDF"}}},
            {"Payroll", {{"Payroll", "C:\\Payroll.mdf"}, {"Payroll_log", "C:\\Payroll_log.LDF"}}},
            {"Empty", {}},
            {"Bad''Name];x", {{"Bad'Data", "E:\\x\\Bad'Name.mdf"}}},
        };
        for (int slot = 0; slot < 2; ++slot)
            serveBackups(slot);
        w.preset("txtRestoreTO", "DB0", "G");
        w.preset("txtRestoreTO", "DB1", "H");
        w.preset("txtRestoreTO", "DB2", "I");
        w.preset("txtRestoreTO", "DB3", "F");
        w.preset("txtRestoreTO", "DB4", "C");
        w.preset("txtRestoreTO", "DB5", "O");
        start();
        f().txtLogDrive[1]->setText("L");
    }

    // Each server answers the file-list query from the backups above and refuses any other backup file; a
    // restore of a backup it does not know fails too, and a log restore puts the database on its list.
    void serveBackups(int slot) {
        DatabaseSet &dbs = slot == 0 ? mainDbs : mirrorDbs;
        server(slot).addRule(Rule::callback(
            [this](const std::string &text, const tds::ConnectionState &) -> std::optional<Reply> {
                const std::string prefix = " RESTORE FILELISTONLY  FROM DISK = '" + kFolder;
                const std::string db = text.substr(prefix.size(), text.find(".bak'") - prefix.size());
                auto it = backups.find(db);
                if (it == backups.end())
                    return cannotOpen(db + ".bak");
                ResultSet set{{tds::makeColumn("LogicalName", "nvarchar(128)"),
                               tds::makeColumn("PhysicalName", "nvarchar(260)"),
                               tds::makeColumn("Type", "char(1)")},
                              {}};
                for (const auto &[logical, physical] : it->second)
                    set.rows.push_back({logical, physical, "D"});
                return Reply::rows(set);
            },
            R"( RESTORE FILELISTONLY  FROM DISK = '.*)"));
        server(slot).addRule(Rule::callback(
            [this, &dbs](const std::string &text, const tds::ConnectionState &) -> std::optional<Reply> {
                const auto from = text.find(kFolder) + kFolder.size();
                const std::string file = text.substr(from, text.find(".bak'") - from);
                const bool log = file.ends_with("_log");
                const std::string db = log ? file.substr(0, file.size() - 4) : file;
                if (!backups.count(db) || (log && missingLogs.count(db)))
                    return cannotOpen(file + ".bak");
                if (log && refusedLogs.count(db))
                    return Reply::error(4305,
                                        "The log in this backup set is too recent to apply to the database.")
                        .then(tds::Message{3013, 16, 1, "RESTORE LOG is terminating abnormally."});
                if (log)
                    dbs.set([&] {
                        auto names = dbs.names();
                        names.push_back(db);
                        return names;
                    }());
                return Reply::done();
            },
            "RESTORE (DATABASE|LOG) .*"));
    }
    std::set<std::string> missingLogs, refusedLogs;

    static Reply cannotOpen(const std::string &file) {
        return Reply::error(3201,
                            "Cannot open backup device '" + kFolder + file +
                                "'. Operating system error 2(The system cannot find the file specified.).")
            .then(tds::Message{3013, 16, 1, "RESTORE is terminating abnormally."});
    }

    // The Mirror's backup folder list, pointed at a local folder holding these files.
    void mirrorFolderHolds(const QStringList &names) {
        for (const QString &n : names) {
            QFile file(folder.filePath(n));
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        }
        ASSERT_TRUE(f().FileB->setPath(folder.path()));
        ASSERT_EQ(f().FileB->listCount(), names.size());
    }
    int countOf(const QString &line) { return static_cast<int>(log().count(line)); }

    std::map<std::string, Files> backups;
    QTemporaryDir folder;
};

const std::string kBillingMovesL = " MOVE  'Billing_Data' TO 'F:\\db\\Billing.mdf', "
                                   " MOVE  'Billing_Log' TO 'L:\\LDF\\Billing_log.ldf', ";
const std::string kRadiologyMoves = " MOVE  'Radiology' TO 'C:\\db\\Radiology.mdf', "
                                    " MOVE  'Radiology_img' TO 'C:\\db\\Radiology_img.ndf', "
                                    " MOVE  'Radiology_log' TO 'L:\\LDF\\Radiology_1.LDF', ";

} // namespace

TEST_F(Restores, OnTheMirrorDataGoesToTheCategoryDriveAndLogsToTheLogDrive) {
    f().txtDB->setText("Billing");
    click("cmdRestore(1)");
    EXPECT_EQ(sent(1),
              (std::vector<std::string>{
                  fileListOf("Billing"),
                  "RESTORE DATABASE  Billing FROM DISK = 'p:\\backup\\MIR\\Billing.bak' With    MOVE  "
                  "'Billing_Data' TO 'F:\\db\\Billing.mdf',  MOVE  'Billing_Log' TO "
                  "'L:\\LDF\\Billing_log.ldf',  NORECOVERY   ",
                  "RESTORE LOG  Billing FROM DISK = 'p:\\backup\\MIR\\Billing_log.bak' With   MOVE  "
                  "'Billing_Data' TO 'F:\\db\\Billing.mdf',  MOVE  'Billing_Log' TO "
                  "'L:\\LDF\\Billing_log.ldf',  NORECOVERY  ",
                  kList}));
    EXPECT_TRUE(sent(0).empty());
    // The tail of the database restore is logged on its own line before the statement runs.
    const QStringList lines = log();
    const auto tail = lines.indexOf(QString::fromStdString(restoreDb("Billing", kBillingMovesL).substr(17)));
    ASSERT_GT(tail, 0) << lines.join('\n').toStdString();
    EXPECT_EQ(lines[tail - 1], "Running SQL..");
    EXPECT_EQ(lines.last(), lines[tail]) << "nothing is logged before it: the file list was read quietly";
    // The list is reloaded: the restored database shows on the Mirror.
    EXPECT_EQ(column0(1), (QStringList{"Zeta", "Billing"}));
    // The file list stays readable for the folder restore onto Main.
    const RestoreFileList &files = w.window().mirrorRestore().restoreFileList();
    ASSERT_EQ(files.size(), 2);
    EXPECT_EQ(files[1].logicalName, "Billing_Log");
    EXPECT_EQ(files[1].physicalName, "Billing_log.ldf");

    // Without a log drive the log files go beside the data files.
    resetRecord();
    f().txtLogDrive[1]->clear();
    f().txtDB->setText("Radiology"); // clinical
    click("cmdRestore(1)");
    const std::string moves = " MOVE  'Radiology' TO 'C:\\db\\Radiology.mdf', "
                              " MOVE  'Radiology_img' TO 'C:\\db\\Radiology_img.ndf', "
                              " MOVE  'Radiology_log' TO 'C:\\db\\Radiology_1.LDF', ";
    EXPECT_EQ(sent(1, false),
              (std::vector<std::string>{fileListOf("Radiology"), restoreDb("Radiology", moves),
                                        restoreLog("Radiology", moves, " NORECOVERY  ")}));
}

TEST_F(Restores, OnMainTheLogRestoreRecoversAndLogOnlyRestoresTheLogAlone) {
    f().txtDB->setText("Payroll");
    f().txtLogDrive[1]->setText("L"); // the Mirror's log drive is not Main's
    click("cmdRestore(0)");
    const std::string moves = " MOVE  'Payroll' TO 'G:\\db\\Payroll.mdf',  MOVE  'Payroll_log' TO "
                              "'G:\\db\\Payroll_log.LDF', ";
    EXPECT_EQ(sent(0), (std::vector<std::string>{fileListOf("Payroll"), restoreDb("Payroll", moves),
                                                 restoreLog("Payroll", moves, " RECOVERY  "), kList}));
    EXPECT_TRUE(sent(1).empty());

    resetRecord();
    f().chkLogOnly->setChecked(true);
    f().txtLogDrive[0]->setText("K");
    click("cmdRestore(0)");
    const std::string kMoves = " MOVE  'Payroll' TO 'G:\\db\\Payroll.mdf',  MOVE  'Payroll_log' TO "
                               "'K:\\LDF\\Payroll_log.LDF', ";
    EXPECT_EQ(sent(0), (std::vector<std::string>{fileListOf("Payroll"),
                                                 restoreLog("Payroll", kMoves, " RECOVERY  "), kList}));
}

TEST_F(Restores, OnMainADatabaseWhoseLogCannotBeRestoredComesOnlineFromItsFullBackup) {
    missingLogs = {"Payroll"};
    refusedLogs = {"Billing"};
    const std::string payroll = " MOVE  'Payroll' TO 'G:\\db\\Payroll.mdf',  MOVE  'Payroll_log' TO "
                                "'G:\\db\\Payroll_log.LDF', ";
    const std::string billing = " MOVE  'Billing_Data' TO 'G:\\db\\Billing.mdf',  MOVE  'Billing_Log' TO "
                                "'G:\\db\\Billing_log.ldf', ";
    for (const auto &[db, moves] : {std::pair{"Payroll", payroll}, std::pair{"Billing", billing}}) {
        resetRecord();
        f().txtDB->setText(db);
        click("cmdRestore(0)");
        const std::string recover = std::string("RESTORE DATABASE ") + db + " WITH RECOVERY";
        EXPECT_EQ(sent(0), (std::vector<std::string>{fileListOf(db), restoreDb(db, moves),
                                                     restoreLog(db, moves, " RECOVERY  "), recover, kList}));
        // Logged like every statement, below the log restore's failure.
        const QStringList lines = log();
        ASSERT_GE(lines.size(), 3);
        EXPECT_EQ(lines[1], QString::fromStdString(recover));
        EXPECT_EQ(lines[2], "Running SQL..");
    }
    // On the Mirror the database stays restoring, ready to be partnered.
    resetRecord();
    f().txtDB->setText("Payroll");
    click("cmdRestore(1)");
    const std::vector<std::string> mirror = sent(1, false);
    EXPECT_EQ(mirror.size(), 3u);
    EXPECT_TRUE(mirror.back().starts_with("RESTORE LOG ")) << mirror.back();
}

TEST_F(Restores, EmptyAndFailedFileLists) {
    // "Restore File list" alone reads the list quietly.
    f().txtDB->setText("Radiology");
    click("cmdRestoreFileList(1)");
    EXPECT_EQ(sent(1), std::vector<std::string>{fileListOf("Radiology")});
    EXPECT_TRUE(log().isEmpty());
    EXPECT_EQ(w.window().mirrorRestore().restoreFileList().size(), 3);

    // A backup without files: "With   " directly followed by the closing option.
    resetRecord();
    f().txtDB->setText("Empty");
    click("cmdRestore(1)");
    EXPECT_EQ(sent(1, false), (std::vector<std::string>{fileListOf("Empty"), restoreDb("Empty", ""),
                                                        restoreLog("Empty", "", " NORECOVERY  ")}));
    EXPECT_EQ(sent(1, false)[1],
              "RESTORE DATABASE  Empty FROM DISK = 'p:\\backup\\MIR\\Empty.bak' With    NORECOVERY   ");
    EXPECT_TRUE(w.window().mirrorRestore().restoreFileList().isEmpty());

    // A failed file-list query: its report, then the reading error; the list is empty, and the restore
    // still runs with no MOVE entries.
    resetRecord();
    f().txtDB->setText("Missing");
    click("cmdRestore(1)");
    EXPECT_EQ(sent(1, false), (std::vector<std::string>{fileListOf("Missing"), restoreDb("Missing", ""),
                                                        restoreLog("Missing", "", " NORECOVERY  ")}));
    const QStringList lines = log();
    const auto listLines = lines.mid(lines.size() - 2);
    EXPECT_TRUE(listLines[1].startsWith(driverError("Cannot open backup device")));
    EXPECT_TRUE(listLines[1].endsWith(" " + QString::fromStdString(fileListOf("Missing"))));
    EXPECT_EQ(listLines[0], "Operation is not allowed when the object is closed.");
    EXPECT_TRUE(w.window().mirrorRestore().restoreFileList().isEmpty());
}

TEST_F(Restores, AllDatabasesWalksTheMirrorsBackupFolderAndTriesTheCertificates) {
    mirrorFolderHolds({"Billing.BAK", "Billing_log.BAK", "Radiology.BAK", "Radiology_log.BAK", "SERVER1.cer",
                       "SERVER2.cer"});
    f().chkALL->setChecked(true);
    click("cmdRestore(1)");
    EXPECT_EQ(sent(1, false),
              (std::vector<std::string>{
                  fileListOf("Billing"), restoreDb("Billing", kBillingMovesL),
                  restoreLog("Billing", kBillingMovesL, " NORECOVERY  "), fileListOf("Radiology"),
                  restoreDb("Radiology", kRadiologyMoves),
                  restoreLog("Radiology", kRadiologyMoves, " NORECOVERY  "), fileListOf("SERVER1"),
                  restoreDb("SERVER1", ""), restoreLog("SERVER1", "", " NORECOVERY  "), fileListOf("SERVER2"),
                  restoreDb("SERVER2", ""), restoreLog("SERVER2", "", " NORECOVERY  ")}));
    EXPECT_EQ(server(1).batches().size(), 16u) << "the list is reloaded after each database";
    EXPECT_EQ(f().txtDB->text(), "SERVER2");
    EXPECT_EQ(countOf("Operation is not allowed when the object is closed."), 2) << "one per certificate";
    EXPECT_TRUE(log().first().startsWith(driverError("Cannot open backup device")));
    EXPECT_EQ(column0(1), (QStringList{"Zeta", "Billing", "Radiology"}));

    // Main's button walks the same folder and restores on Main.
    resetRecord();
    f().FileB->setPath(folder.path());
    QFile::remove(folder.filePath("SERVER1.cer"));
    QFile::remove(folder.filePath("SERVER2.cer"));
    f().FileB->refresh();
    click("cmdRestore(0)");
    EXPECT_TRUE(sent(1).empty());
    EXPECT_EQ(sent(0, false).size(), 6u);
    EXPECT_EQ(sent(0, false)[2],
              restoreLog("Billing",
                         " MOVE  'Billing_Data' TO 'G:\\db\\Billing.mdf',  MOVE  'Billing_Log' "
                         "TO 'G:\\db\\Billing_log.ldf', ",
                         " RECOVERY  "));
}

TEST_F(Restores, LogOnlyTakesTheLogBackupsEntriesAsDatabasesOfTheirOwn) {
    mirrorFolderHolds({"Billing.BAK", "Billing_log.BAK"});
    f().chkALL->setChecked(true);
    f().chkLogOnly->setChecked(true);
    click("cmdRestore(1)");
    EXPECT_EQ(sent(1, false),
              (std::vector<std::string>{
                  fileListOf("Billing"), restoreLog("Billing", kBillingMovesL, " NORECOVERY  "),
                  fileListOf("Billing_log"), restoreLog("Billing_log", "", " NORECOVERY  ")}));
    EXPECT_NE(sent(1, false)[3].find("Billing_log_log.bak"), std::string::npos);
    EXPECT_TRUE(
        log()[0].startsWith(driverError("Cannot open backup device '" + kFolder + "Billing_log_log.bak'")))
        << log()[0].toStdString();
}

TEST_F(Restores, StopAndAllDatabasesEndTheWalkAfterTheCurrentDatabase) {
    mirrorFolderHolds({"Billing.BAK", "Billing_log.BAK", "Empty.BAK", "Radiology.BAK", "Radiology_log.BAK"});
    f().chkALL->setChecked(true);
    whenCurrentDatabaseIs("Empty", [this] { f().chkStop->setChecked(true); });
    click("cmdRestore(1)");
    EXPECT_EQ(f().txtDB->text(), "Empty");
    EXPECT_EQ(sent(1, false).size(), 6u);
    EXPECT_EQ(sent(1, false).back(), restoreLog("Empty", "", " NORECOVERY  "));
    EXPECT_TRUE(f().chkStop->isChecked()) << "the restore leaves STOP ticked";

    // Unticking ALL DBS: the walk ends right after the current database's restore.
    resetRecord();
    f().chkStop->setChecked(false);
    whenCurrentDatabaseIs("Billing", [this] { f().chkALL->setChecked(false); });
    click("cmdRestore(1)");
    EXPECT_EQ(sent(1, false).size(), 3u);
    EXPECT_EQ(f().txtDB->text(), "Billing");

    // Ticking ALL DBS during a single-database restore does not make it a walk.
    resetRecord();
    f().txtDB->setText("Radiology");
    whenLogged("Running SQL..", [this] { f().chkALL->setChecked(true); });
    click("cmdRestore(1)");
    EXPECT_EQ(sent(1, false).size(), 3u);
    EXPECT_EQ(f().txtDB->text(), "Radiology");
}

TEST_F(Restores, AFileWithoutADotEndsTheWalk) {
    mirrorFolderHolds({"Billing.BAK", "README", "Zeta.BAK"});
    f().chkALL->setChecked(true);
    click("cmdRestore(1)");
    EXPECT_EQ(sent(1, false).size(), 3u);
    EXPECT_EQ(log().first(), "No database name in backup file README");
    EXPECT_EQ(f().txtDB->text(), "Billing");
}

TEST_F(Restores, AHostileNameStaysOneNameAndOneText) {
    f().txtDB->setText("Bad'Name];x");
    click("cmdRestore(1)");
    const std::string moves = " MOVE  'Bad''Data' TO 'O:\\db\\Bad''Name.mdf', ";
    EXPECT_EQ(sent(1, false),
              (std::vector<std::string>{
                  " RESTORE FILELISTONLY  FROM DISK = 'p:\\backup\\MIR\\Bad''Name];x.bak' WITH FILE = 1",
                  "RESTORE DATABASE  [Bad'Name]];x] FROM DISK = 'p:\\backup\\MIR\\Bad''Name];x.bak' With   " +
                      moves + " NORECOVERY   ",
                  "RESTORE LOG  [Bad'Name]];x] FROM DISK = 'p:\\backup\\MIR\\Bad''Name];x_log.bak' With  " +
                      moves + " NORECOVERY  "}));
}
