#include "SqlShape.h"
#include "core/mirroring/AttachSql.h"
#include "core/mirroring/BackupSql.h"
#include "core/mirroring/PartnerSql.h"
#include "core/mirroring/RestoreSql.h"

#include <gtest/gtest.h>

using namespace quorix;

namespace {
const QString kMir = QStringLiteral("p:\\backup\\MIR\\");
const RestoreFileEntries kDataAndLog = {{QStringLiteral("Billing_Data"), QStringLiteral("Billing.mdf")},
                                        {QStringLiteral("Billing_Log"), QStringLiteral("Billing_log.LDF")}};
} // namespace

TEST(BackupStatements, ExactTexts) {
    EXPECT_EQ(backupDatabaseStatement("Billing", kMir),
              "BACKUP DATABASE Billing TO DISK = 'p:\\backup\\MIR\\Billing.BAK'   WITH FORMAT");
    EXPECT_EQ(backupLogStatement("Billing", kMir),
              "BACKUP Log  Billing TO DISK = 'p:\\backup\\MIR\\Billing_log.BAK'   WITH FORMAT");
}

TEST(BackupCopy, PathsFollowTheButtonsDirection) {
    EXPECT_EQ(copyDirectionOf(0), CopyDirection::MainToMirror);
    EXPECT_EQ(copyDirectionOf(1), CopyDirection::MirrorToMain);
    CopyPaths p = backupCopyPaths("QRIX", BackupKind::Full, CopyDirection::MainToMirror);
    EXPECT_EQ(p.source, "x:\\MIR\\QRIX.BAK");
    EXPECT_EQ(p.target, "y:\\MIR\\QRIX.BAK");
    p = backupCopyPaths("QRIX", BackupKind::Log, CopyDirection::MirrorToMain);
    EXPECT_EQ(p.source, "y:\\MIR\\QRIX_log.BAK");
    EXPECT_EQ(p.target, "x:\\MIR\\QRIX_log.BAK");

    EXPECT_EQ(certificateCopyPaths(0)->source, "x:\\MIR\\SERVER1.cer");
    EXPECT_EQ(certificateCopyPaths(0)->target, "y:\\MIR\\SERVER1.cer");
    EXPECT_EQ(certificateCopyPaths(1)->source, "y:\\MIR\\SERVER2.cer");
    EXPECT_EQ(certificateCopyPaths(1)->target, "x:\\MIR\\SERVER2.cer");
    EXPECT_FALSE(certificateCopyPaths(2));
}

TEST(RestoreFileListing, QueryAndBarePhysicalNames) {
    EXPECT_EQ(restoreFileListStatement("Billing", kMir),
              " RESTORE FILELISTONLY  FROM DISK = 'p:\\backup\\MIR\\Billing.bak' WITH FILE = 1");
    EXPECT_EQ(barePhysicalName("D:\\Program Files\\MSSQL\\DATA\\Billing.mdf"), "Billing.mdf");
    EXPECT_EQ(barePhysicalName("Billing.mdf"), "Billing.mdf");
    EXPECT_EQ(barePhysicalName("D:\\DATA\\"), "");
}

TEST(MoveList, DataToTheCategoryDriveLogsToTheLogDriveWhenSet) {
    EXPECT_EQ(moveList(kDataAndLog, "F", "L"), " MOVE  'Billing_Data' TO 'F:\\db\\Billing.mdf', "
                                               " MOVE  'Billing_Log' TO 'L:\\LDF\\Billing_log.LDF', ");
    EXPECT_EQ(moveList(kDataAndLog, "F", ""), " MOVE  'Billing_Data' TO 'F:\\db\\Billing.mdf', "
                                              " MOVE  'Billing_Log' TO 'F:\\db\\Billing_log.LDF', ");
    // The log test looks at the upper-cased physical name, anywhere in it.
    const RestoreFileEntries lower = {{"a", "a.ldf"}, {"b", "b.Ldf.old"}, {"c", "c.ndf"}};
    EXPECT_EQ(moveList(lower, "D", "L"), " MOVE  'a' TO 'L:\\LDF\\a.ldf',  MOVE  'b' TO "
                                         "'L:\\LDF\\b.Ldf.old',  MOVE  'c' TO 'D:\\db\\c.ndf', ");
    EXPECT_EQ(moveList({}, "D", "L"), "");
    // An empty drive box gives a path starting with ":\", as before.
    EXPECT_EQ(moveList({{"a", "a.mdf"}}, "", ""), " MOVE  'a' TO ':\\db\\a.mdf', ");
}

TEST(RestoreStatements, MirrorStaysRestoringMainComesOnline) {
    const QString m = moveList(kDataAndLog, "F", "L");
    EXPECT_EQ(restoreDatabaseTail("Billing", kMir, m),
              " Billing FROM DISK = 'p:\\backup\\MIR\\Billing.bak' With   " + m + " NORECOVERY   ");
    EXPECT_EQ(restoreDatabaseStatement("Billing", kMir, m),
              "RESTORE DATABASE " + restoreDatabaseTail("Billing", kMir, m));
    EXPECT_EQ(restoreLogStatement("Billing", kMir, m, 1),
              "RESTORE LOG  Billing FROM DISK = 'p:\\backup\\MIR\\Billing_log.bak' With  " + m +
                  " NORECOVERY  ");
    EXPECT_EQ(restoreLogStatement("Billing", kMir, m, 0),
              "RESTORE LOG  Billing FROM DISK = 'p:\\backup\\MIR\\Billing_log.bak' With  " + m +
                  " RECOVERY  ");
    EXPECT_EQ(restoreLogTail("Billing", kMir, m, 1), restoreLogStatement("Billing", kMir, m, 1).mid(12));

    // Without a file list the options follow "With" at once.
    EXPECT_EQ(restoreDatabaseStatement("QRIX", kMir, moveList({}, "D", "")),
              "RESTORE DATABASE  QRIX FROM DISK = 'p:\\backup\\MIR\\QRIX.bak' With    NORECOVERY   ");
    EXPECT_EQ(restoreLogStatement("QRIX", kMir, QString(), 1),
              "RESTORE LOG  QRIX FROM DISK = 'p:\\backup\\MIR\\QRIX_log.bak' With   NORECOVERY  ");
}

TEST(RestoreWalk, DatabaseNamesAndLogEntries) {
    EXPECT_EQ(databaseNameOfBackupFile("Billing.bak"), "Billing");
    EXPECT_EQ(databaseNameOfBackupFile("Billing_2015.bak"), "Billing_2015");
    EXPECT_EQ(databaseNameOfBackupFile("Patient.data.bak"), "Patient");
    EXPECT_EQ(databaseNameOfBackupFile("Billing_log.BAK"), "Billing_log");
    EXPECT_EQ(databaseNameOfBackupFile("README"), "README");

    EXPECT_TRUE(restoreWalkPassesOver("Billing_log", false));
    EXPECT_FALSE(restoreWalkPassesOver("Billing_log", true));  // Log Only takes every entry
    EXPECT_FALSE(restoreWalkPassesOver("Billing_LOG", false)); // exact case only
    EXPECT_FALSE(restoreWalkPassesOver("Billing", false));
}

TEST(PartnerStatements, ExactTexts) {
    EXPECT_EQ(setPartnerStatement("QRIX", "10.0.0.1"),
              "ALTER DATABASE [QRIX] SET PARTNER = 'TCP://10.0.0.1:5024'  ");
    EXPECT_EQ(setSafetyOffStatement("QRIX"), "ALTER DATABASE [QRIX] SET PARTNER SAFETY OFF  ");
    EXPECT_EQ(makeOnlineStatements("QRIX"),
              QStringList({"ALTER DATABASE QRIX SET PARTNER OFF ", "RESTORE DATABASE QRIX WITH RECOVERY  ",
                           "ALTER DATABASE QRIX SET RECOVERY FULL"}));
    EXPECT_EQ(fullRecoveryStatement("QRIX"), "ALTER DATABASE QRIX SET RECOVERY FULL");
    EXPECT_EQ(dropDatabaseStatement("QRIX"), "DROP DATABASE QRIX ");
}

TEST(PartnerStatements, ClearConnectionsBatchIsOneLine) {
    const QString expected =
        "USE master ;  DECLARE @dbname nvarchar(128), @spid varchar(10), @start datetime "
        "SELECT @start = current_timestamp, @dbname = 'QRIX' "
        "while(exists(Select * FROM sysprocesses WHERE dbid = db_id(@dbname)) AND "
        " datediff(mi, @start, current_timestamp) < 5)     BEGIN      DECLARE spids CURSOR FOR "
        "      SELECT convert(varchar, spid) FROM sysprocesses        WHERE dbid = db_id(@dbname) "
        "     OPEN spids      While (1 = 1)      BEGIN       FETCH spids INTO @spid "
        "      IF @@fetch_status < 0 BREAK       exec('kill ' + @spid)      End      DEALLOCATE spids End ";
    EXPECT_EQ(clearConnectionsBatch("QRIX"), expected);
    // A long name reaches the server whole.
    const QString longName = QString(100, QLatin1Char('a'));
    EXPECT_TRUE(clearConnectionsBatch(longName).contains("@dbname = '" + longName + "' "));
}

TEST(Attach, FolderJoinedWithOneBackslash) {
    const QString expected = "EXEC sp_attach_db @dbname = N'A' ,@filename1=N'd:\\quorix\\db\\bak\\A.mdf'   "
                             ",@filename2=N'd:\\quorix\\db\\bak\\A.ldf'  ";
    EXPECT_EQ(attachStatement("A", "d:\\quorix\\db\\bak\\"), expected);
    EXPECT_EQ(attachStatement("A", "d:\\quorix\\db\\bak"), expected);
    EXPECT_EQ(joinFolder("/srv/bak/", "A.mdf"), "/srv/bak/A.mdf");
    EXPECT_EQ(detachStatement("A"), "EXEC sp_detach_db 'A','true'");
}

TEST(Attach, OnlyDataFilesAreAttached) {
    const auto check = [](const char *file, const char *db, bool attach) {
        const AttachFile f = attachFileOf(file);
        EXPECT_EQ(f.database, db) << file;
        EXPECT_EQ(f.attach, attach) << file;
    };
    check("A.mdf", "A", true);
    check("B.MDF", "B", true);
    check("A.ldf", "A", false);
    check("X.bak.mdf", "X", false);
    check("noext", "noext", false);
}

// A name outside plain ASCII: every text that holds it is an N'...' literal, a text without it keeps its
// bare '...', and names as identifiers stay as they are (Cyrillic and Chinese letters need no brackets).
TEST(NonAsciiNames, TextsHoldingThemCarryTheNPrefix) {
    const RestoreFileEntries files = {{"Больница", "Больница.mdf"}, {"Log", "Больница_log.LDF"}};
    const RestoreFileEntries chinese = {{"医院数据", "医院数据.mdf"}};
    const QString cm = " MOVE  N'Больница' TO N'F:\\db\\Больница.mdf', "
                       " MOVE  'Log' TO N'L:\\LDF\\Больница_log.LDF', ";
    const QString zm = " MOVE  N'医院数据' TO N'D:\\db\\医院数据.mdf', ";
    const std::vector<std::pair<QString, QString>> cases = {
        {backupDatabaseStatement("Больница", kMir),
         "BACKUP DATABASE Больница TO DISK = N'p:\\backup\\MIR\\Больница.BAK'   WITH FORMAT"},
        {backupLogStatement("医院数据", kMir),
         "BACKUP Log  医院数据 TO DISK = N'p:\\backup\\MIR\\医院数据_log.BAK'   WITH FORMAT"},
        {restoreFileListStatement("医院数据", kMir),
         " RESTORE FILELISTONLY  FROM DISK = N'p:\\backup\\MIR\\医院数据.bak' WITH FILE = 1"},
        {moveList(files, "F", "L"), cm},
        {moveList(chinese, "D", ""), zm},
        {restoreDatabaseStatement("Больница", kMir, cm),
         "RESTORE DATABASE  Больница FROM DISK = N'p:\\backup\\MIR\\Больница.bak' With   " + cm +
             " NORECOVERY   "},
        {restoreLogStatement("医院数据", kMir, zm, 1),
         "RESTORE LOG  医院数据 FROM DISK = N'p:\\backup\\MIR\\医院数据_log.bak' With  " + zm +
             " NORECOVERY  "},
        // The partner address is a text of its own, without the name.
        {setPartnerStatement("医院数据", "10.0.0.1"),
         "ALTER DATABASE [医院数据] SET PARTNER = 'TCP://10.0.0.1:5024'  "},
        {setPartnerStatement("Больница", "сервер"),
         "ALTER DATABASE [Больница] SET PARTNER = N'TCP://сервер:5024'  "},
        {partnerOffStatement("Больница"), "ALTER DATABASE Больница SET PARTNER OFF "},
        {dropDatabaseStatement("医院数据"), "DROP DATABASE 医院数据 "},
        {detachStatement("Больница"), "EXEC sp_detach_db N'Больница','true'"},
        {detachStatement("医院数据"), "EXEC sp_detach_db N'医院数据','true'"},
        {attachStatement("医院数据", "d:\\bak"),
         "EXEC sp_attach_db @dbname = N'医院数据' ,@filename1=N'd:\\bak\\医院数据.mdf'   "
         ",@filename2=N'd:\\bak\\医院数据.ldf'  "},
    };
    for (const auto &[built, expected] : cases)
        EXPECT_EQ(built, expected);

    // The whole batch is checked on the window; here, that @dbname takes the name as Unicode.
    for (const QString name : {"Больница", "医院数据"})
        EXPECT_TRUE(
            clearConnectionsBatch(name).contains("current_timestamp, @dbname = N'" + name + "' while("))
            << name.toStdString();
}
