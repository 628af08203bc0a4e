// The folder restores onto Main on the real window, through the real driver to a scripted Main and through
// Samba to Main's share: "Restore ALL to Main", STOP and the double click on Main's share list, " Restore
// ALL to Main" on the restore folder, and the files that are passed over.

#include "RestoreWindow.h"

#include <QTest>

using namespace quorix;
using namespace quorix::testing;

namespace {

std::string fileList(const std::string &path) {
    return " RESTORE FILELISTONLY  FROM DISK = '" + path + "' WITH FILE = 1";
}

const Files kBilling = {{"Billing_Data", "E:\\SQLData\\Billing.mdf"},
                        {"Billing_Log", "E:\\SQLLog\\Billing_log.ldf"}};
const Files kRadiology = {{"Radiology", "D:\\data\\Radiology.mdf"},
                          {"Radiology_log", "D:\\data\\Radiology_1.LDF"}};

} // namespace

TEST_F(RestoreWindow, RestoreAllToMainRestoresEachListedFileAndReloadsTheList) {
    for (const char *n : {"Billing.bak", "Missing.bak", "Nuclear.bak", "Patient.data.bak", "Radiology.BAK"})
        put(n);
    backups = {{"p:\\backup\\Billing.bak", kBilling},
               {"p:\\backup\\Patient.data.bak", {{"Patient", "D:\\x\\Patient.mdf"}}},
               // An older backup of the same database that the server could also read: never asked for.
               {"p:\\backup\\Patient.bak", {{"Patient_old", "D:\\x\\Patient.mdf"}}},
               {"p:\\backup\\Radiology.bak", kRadiology},
               {"p:\\backup\\Nuclear.bak", {{"Nuclear", "C:\\Nuclear.mdf"}}}};
    refused = {"p:\\backup\\Nuclear.bak"};
    start();
    f().txtLogDrive[0]->setText("L"); // not used: log files go beside the data files
    click("cmdRestoreMain");

    const std::string billing =
        "RESTORE DATABASE  Billing FROM DISK = 'p:\\backup\\Billing.bak' With   MOVE  'Billing_Data' TO "
        "'G:\\db\\Billing.mdf',  MOVE  'Billing_Log' TO 'G:\\db\\Billing_log.ldf',  Replace ";
    const std::string patient = "RESTORE DATABASE  Patient FROM DISK = 'p:\\backup\\Patient.data.bak' With   "
                                "MOVE  'Patient' TO 'I:\\db\\Patient.mdf',  Replace ";
    EXPECT_EQ(
        sent(),
        (std::vector<std::string>{
            fileList("p:\\backup\\Billing.bak"), billing, kList,
            fileList("p:\\backup\\Missing.bak"), // not restored
            fileList("p:\\backup\\Nuclear.bak"),
            "RESTORE DATABASE  Nuclear FROM DISK = 'p:\\backup\\Nuclear.bak' With   MOVE  'Nuclear' TO "
            "'H:\\db\\Nuclear.mdf',  Replace ",
            kList, fileList("p:\\backup\\Patient.data.bak"), patient, kList,
            fileList("p:\\backup\\Radiology.bak"),
            "RESTORE DATABASE  Radiology FROM DISK = 'p:\\backup\\Radiology.bak' With   MOVE  'Radiology' "
            "TO 'H:\\db\\Radiology.mdf',  MOVE  'Radiology_log' TO 'H:\\db\\Radiology_1.LDF',  Replace ",
            kList}));

    const QStringList lines = logged();
    ASSERT_EQ(lines.size(), 15) << lines.join('\n').toStdString();
    EXPECT_EQ(lines.mid(0, 3), (QStringList{"Running SQL..", QString::fromStdString(billing), "Done"}));
    // The unreadable file list: the query's failure, the reading error, and the file passed over.
    EXPECT_TRUE(
        lines[3].startsWith("[FreeTDS][SQL Server]Cannot open backup device 'p:\\backup\\Missing.bak'"));
    EXPECT_EQ(lines[4], "Operation is not allowed when the object is closed.");
    EXPECT_EQ(lines[5], "Not restored, its file list could not be read: p:\\backup\\Missing.bak");
    // The refused restore is logged, and the run goes on.
    EXPECT_TRUE(
        lines[8].startsWith("[FreeTDS][SQL Server]Cannot open backup device 'p:\\backup\\Nuclear.bak'"));
    EXPECT_EQ(lines.mid(9, 3), (QStringList{"Running SQL..", QString::fromStdString(patient), "Done"}));

    // Each restore's own progress comes in between and gives the walk's message back.
    QStringList walk;
    for (const QString &m : status)
        if (!m.startsWith("RESTORE DATABASE ") && (walk.isEmpty() || walk.last() != m))
            walk << m;
    EXPECT_TRUE(status.contains("RESTORE DATABASE Billing: 0:00 elapsed"));
    EXPECT_EQ(walk, (QStringList{"1 of 5: Billing", "2 of 5: Missing", "3 of 5: Nuclear", "4 of 5: Patient",
                                 "5 of 5: Radiology", ""}));
    EXPECT_EQ(mainList(), (QStringList{"Billing", "Patient", "Radiology"}));
    EXPECT_EQ(f().txtDB->text(), "Radiology");
    EXPECT_EQ(f().txtBackupDrive->text(), "q:\\kept\\");

    // A double click restores the one file.
    main->clearRecord();
    QListWidget *list = f().File1;
    const QPoint at = list->visualItemRect(list->item(3)).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
    EXPECT_EQ(sent(), (std::vector<std::string>{fileList("p:\\backup\\Patient.data.bak"), patient, kList}));

    // STOP ticked before the press: the first file is still restored, then the run ends and unticks STOP.
    main->clearRecord();
    f().chkStop->setChecked(true);
    click("cmdRestoreMain");
    EXPECT_EQ(sent(), (std::vector<std::string>{fileList("p:\\backup\\Billing.bak"), billing, kList}));
    EXPECT_FALSE(f().chkStop->isChecked());
}

TEST_F(RestoreWindow, RestoreFolderToMainReadsTheFolderAndLeavesTheListAlone) {
    const std::string mir = "\\\\127.0.0.2\\backup\\MIR\\";
    for (const char *n : {".bak", "Billing.BAK", "Nuclear.bak", "O'Hara.bak"})
        put(std::string("MIR/") + n);
    backups = {{mir + "Billing.bak", kBilling},
               {mir + "Nuclear.bak", {{"Nuclear", "E:\\Nuclear.mdf"}}},
               {mir + "O'Hara.bak", {{"O'Hara", "E:\\O'Hara.mdf"}}}};
    start();
    f().txtRestoreDir->setText("\\\\127.0.0.2\\backup\\MIR"); // no closing backslash
    w.window().readRestoreDirNow();
    ASSERT_EQ(f().File2[0]->listCount(), 4) << f().File2[0]->entries().join('|').toStdString();
    click("cmdRestoretoMain");
    EXPECT_EQ(
        sent(),
        (std::vector<std::string>{
            fileList(mir + "Billing.bak"),
            "RESTORE DATABASE  Billing FROM DISK = '" + mir +
                "Billing.bak' With   MOVE  'Billing_Data' TO 'G:\\db\\Billing.mdf',  MOVE  'Billing_Log' TO "
                "'G:\\db\\Billing_log.ldf',  Replace ",
            fileList(mir + "Nuclear.bak"),
            "RESTORE DATABASE  Nuclear FROM DISK = '" + mir +
                "Nuclear.bak' With   MOVE  'Nuclear' TO 'H:\\db\\Nuclear.mdf',  Replace ",
            " RESTORE FILELISTONLY  FROM DISK = '" + mir + "O''Hara.bak' WITH FILE = 1",
            "RESTORE DATABASE  [O'Hara] FROM DISK = '" + mir +
                "O''Hara.bak' With   MOVE  'O''Hara' TO 'I:\\db\\O''Hara.mdf',  Replace "}));
    EXPECT_EQ(logged().first(), "No database name in backup file .bak, not restored");
    EXPECT_EQ(logged().size(), 1 + 3 * 3);
    EXPECT_TRUE(mainList().isEmpty()) << "Main's list is not reloaded";
    EXPECT_EQ(f().txtBackupDrive->text(), "q:\\kept\\");
    EXPECT_EQ(f().txtRestoreDir->text(), "\\\\127.0.0.2\\backup\\MIR");
    EXPECT_EQ(status.first(), "1 of 4: .bak");

    // An empty folder: nothing sent, nothing logged.
    samba().clearShares();
    f().File2[0]->refresh();
    ASSERT_EQ(f().File2[0]->listCount(), 0);
    main->clearRecord();
    f().txtLog->clear();
    click("cmdRestoretoMain");
    EXPECT_TRUE(sent().empty());
    EXPECT_TRUE(logged().isEmpty());
}
