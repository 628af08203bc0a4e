// The window's controls: names, tabs, captions, defaults, the built-in lists, grids, file lists and the rule
// of one operation at a time.

#include "WindowFixture.h"
#include "core/masking/AnonymizerLists.h"
#include "gui/app/SecretsHidden.h"
#include "gui/ui/BoxText.h"
#include "gui/ui/Operations.h"
#include "gui/ui/widgets/FileList.h"
#include "gui/ui/widgets/Grid.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using quorix::testing::WindowFixture;

TEST(AppControls, TabStripsInOrder) {
    WindowFixture w;
    auto &f = w.form();
    const QStringList captions = {
        "Main Tools",    "Copy",      "txt", "Restore", "TEST", "Restore Dir", "Options", "Mirroring",
        "SQL to String", "Anonymize", " ",   " ",       " ",    " ",           "Status"};
    ASSERT_EQ(f.SSTab1->count(), captions.size());
    for (int i = 0; i < captions.size(); ++i)
        EXPECT_EQ(f.SSTab1->tabText(i), captions[i]) << i;
    ASSERT_EQ(f.SSTab2->count(), 8);
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(f.SSTab2->tabText(i), QString::number(i + 1));
    // Each script frame sits on its own tab, 1 to 4.
    for (int i = 0; i < 4; ++i)
        EXPECT_TRUE(f.SSTab2->widget(i)->isAncestorOf(f.fraScr[i])) << i;
    EXPECT_TRUE(f.SSTab1->widget(12)->isAncestorOf(f.GridA));
    EXPECT_TRUE(f.SSTab1->widget(13)->isAncestorOf(f.txtTableSizes));
    EXPECT_TRUE(f.SSTab1->widget(5)->isAncestorOf(f.File2[1]));
    // Outside the tab strip.
    for (QWidget *outside :
         std::initializer_list<QWidget *>{f.GridDB[0], f.txtLog, f.chkStop, f.cmdCancel, f.FileA})
        EXPECT_FALSE(f.SSTab1->isAncestorOf(outside)) << outside->objectName().toStdString();
}

TEST(AppControls, NamesCaptionsAndDefaults) {
    WindowFixture w;
    const std::pair<const char *, const char *> buttons[] = {
        {"cmdCopy(0)", "Copy ->"},
        {"cmdCopy(1)", "<- Copy"},
        {"cmdSetPartner(1)", "<- Set Partner"},
        {"cmdMakeOnline(0)", "Make Online / fix"},
        {"cmdMakeOnline(1)", "Make Online (partner off)"},
        {"cmdFullRecovery(0)", "Full Recovery Mode"},
        {"cmdNetworkConnect(0)", "Map net Drive X"},
        {"cmdNetworkConnect(1)", "Map Net Drive Y"},
        {"cmdDropDir(1)", "Drop Dir"},
        {"cmdOpenDirB(1)", "Connect Dir"},
        {"cmdMap", ""},
        {"cmdRenameDir(1)", "Rename files "},
        {"cmdRestoretoMain", " Restore ALL to Main"},
        {"cmdTest(1)", "Test ADD   <3s"},
        {"cmdTest(3)", "Test Read  <2s"},
        {"cmdRunScript(0)", "RunScript both servers"},
        {"cmdRunScript(2)", "RunScript svr2"},
        {"cmdCopyCert(2)", "CopyCert"},
        {"cmdMakeVB", "make VB->"},
        {"cmdClearSQL", "<-ClearSQL"},
        {"cmdAnonymize", "Anonymize Right DB ->"},
        {"Command1", "single user"},
        {"cmdCopybyRecID", "Copy records to database 1"},
        {"cmdCancel", "Cancel"},
    };
    for (const auto &[name, caption] : buttons)
        EXPECT_EQ(w.find<QPushButton>(name)->text(), caption) << name;
    const std::pair<const char *, const char *> labels[] = {
        {"Label6(0)", "1"},
        {"Label6(4)", "5"},
        {"lblDBCount(1)", "count"},
        {"Label4", "Database"},
        {"Label20", "share a \\backup\\mir folder on each server"},
        {"lbl(4)", "Clinical DB drive:"},
        {"Label15(1)", "Log Drive"},
        {"Label19(0)", "p"},
        {"lblRecCount", "RecCount"},
        {"lblTime", "Time"},
    };
    for (const auto &[name, caption] : labels)
        EXPECT_EQ(w.find<QLabel>(name)->text(), caption) << name;
    const std::pair<const char *, const char *> boxes[] = {
        {"txtServer(0)", "MAINSERVER"},
        {"txtServer(1)", "MIRRORSERVER"},
        {"txtDB", "QRIX"},
        {"txtStartIDNum", "106300"},
        {"txtENDIDNum", "106310"},
        {"txtRestoreDir", "d:\\quorix\\db\\bak\\"},
        {"txtSeparator", "_201"},
        {"txtBackupDrive", "p:\\backup\\MIR\\"},
        {"txtAnonymize(1)", "[Patient_Data].[dbo].[tbmaster2]"},
        {"txtAnonymizeField(3)", "Father"},
        {"txtAnonymizeField(5)", ""},
        {"txtAnonymize(8)", ""},
        {"txtTESTConnection", "Provider=SQLOLEDB;Persist Security "
                              "Info=True;Server=MAINSERVER;UID=sa;Database=MASTER;Password=garden@584"},
    };
    for (const auto &[name, text] : boxes)
        EXPECT_EQ(w.find<QLineEdit>(name)->text(), text) << name;
    EXPECT_EQ(w.find<QLineEdit>("txtSeparator")->toolTip(), "separator ex:2015");
    // The window's own icon, drawn at the title bar's and the task bar's sizes.
    const QIcon icon = w.window().windowIcon();
    ASSERT_FALSE(icon.isNull());
    for (const int size : {16, 32, 48})
        EXPECT_EQ(icon.pixmap(size, size).size(), QSize(size, size)) << size;
    EXPECT_EQ(w.find<QGroupBox>("Frame1(1)")->title(), " Restore Drive");
    EXPECT_EQ(w.find<QGroupBox>("fraScr(0)")->title(), "Reset Mirroring");
    EXPECT_EQ(w.find<QCheckBox>("chkALL")->text(), "ALL DBS");
    EXPECT_EQ(w.find<QCheckBox>("chkStop")->text(), "STOP");
    EXPECT_EQ(w.form().File2[1]->pattern(), "*.mdf;*.ldf");
    EXPECT_EQ(w.form().File1->pattern(), "*.bak");
    EXPECT_TRUE(w.form().txtScript1[3]->toPlainText().startsWith("--")); // its default script
    EXPECT_TRUE(w.form().txtTableSizes->toPlainText().contains("TOP 25"));

    auto &f = w.form();
    EXPECT_FALSE(f.Timer1->isActive());
    EXPECT_EQ(f.Timer1->interval(), 10000);
    EXPECT_TRUE(f.tmrDoEv->isActive());
    EXPECT_EQ(f.tmrDoEv->interval(), 1000);
    EXPECT_EQ(f.cmdDropDir[0], nullptr);
}

TEST(AppControls, EveryFormMemberIsACreatedControl) {
    WindowFixture w;
    const quorix::Form &f = w.form();
    // The record is a run of pointers; a member left null would crash the first feature that uses it.
    const auto *members = reinterpret_cast<void *const *>(&f);
    const size_t count = sizeof(quorix::Form) / sizeof(void *);
    const size_t dropDir0 = static_cast<size_t>(reinterpret_cast<const char *>(&f.cmdDropDir[0]) -
                                                reinterpret_cast<const char *>(&f)) /
                            sizeof(void *);
    for (size_t i = 0; i < count; ++i)
        if (i != dropDir0)
            EXPECT_NE(members[i], nullptr) << "member " << i;
}

TEST(AppControls, BuiltInNameListsAndDefaultWorkList) {
    const QStringList last = quorix::builtInLastNames().split("\r\n");
    ASSERT_EQ(last.size(), 1001); // 1,000 lines, each CR LF-terminated
    EXPECT_EQ(last.last(), "");
    EXPECT_EQ(last.mid(0, 5), QStringList({"Drake", "Sullivan", "Galvan", "Dean", "Martinez"}));
    EXPECT_EQ(last[999], "Jacobs");

    const QStringList first = quorix::builtInFirstNames().split("\r\n");
    ASSERT_EQ(first.size(), 1005);
    EXPECT_EQ(first.mid(0, 5), QStringList({"Noah", "Liam", "Mason", "Jacob", "William"}));
    EXPECT_EQ(first.mid(97, 4), QStringList({"Related Post", "BOY NAMES ", "THAT START ", "WITH C"}));
    EXPECT_EQ(first.mid(999, 5), QStringList({"Jayvion", "Leroy", "Briar", "Jaydon", "Antoine"}));

    const QString list = quorix::defaultWorkList();
    const QStringList lines = list.split("\r\n");
    ASSERT_EQ(lines.size(), 41);
    EXPECT_TRUE(list.endsWith("payroll..tbcmaster LastName FirstName MiddleName\r\n"));
    EXPECT_EQ(lines[0], "[Patient_Data].[dbo].[tbmaster] LastName FirstName MiddleName");
    EXPECT_EQ(lines[1], "[Patient_Data].[dbo].[tbmaster2] Mother Father");
    EXPECT_EQ(lines[16], "Patient_data..tbMedRecLog OrigLastName OrigFirstName OrigMiddleName");
    EXPECT_EQ(lines[19], "Medicare..tbMedPatient LastName");
    EXPECT_EQ(lines[34], "BloodDonation..AutologousDonor Name LastName");
    EXPECT_EQ(lines[37], "DICOM..PatientTable Name_Last Name_First");
    EXPECT_FALSE(list.contains("  "));
    EXPECT_FALSE(list.contains(" \r\n"));

    // In the window: the design-time texts, and "Default" replacing whatever the work list held.
    WindowFixture w;
    auto &f = w.start().form();
    EXPECT_EQ(quorix::boxText(f.txtLastNames), quorix::builtInLastNames());
    f.txtATables->setPlainText("x");
    f.cmdDefault->click();
    EXPECT_EQ(quorix::boxText(f.txtATables), list);
}

TEST(AppControls, OneOperationAtATime) {
    WindowFixture w;
    auto &f = w.start().form();
    int inner = 0;
    bool innerRan = false;
    quorix::Operations::onClick(f.cmdTruncate, [&] { innerRan = true; });
    quorix::Operations::onClick(f.cmdCheckTables, [&] {
        ++inner;
        EXPECT_TRUE(quorix::Operations::busy());
        EXPECT_EQ(quorix::Operations::current(), "cmdCheckTables");
        f.cmdTruncate->click(); // pressed while this one runs
    });
    f.cmdCheckTables->click();
    EXPECT_EQ(inner, 1);
    EXPECT_FALSE(innerRan);
    EXPECT_EQ(w.window().statusBar()->currentMessage(), "Busy with cmdCheckTables: press refused");
    EXPECT_FALSE(quorix::Operations::busy());
    // A handler that throws frees the tool for the next press.
    quorix::Operations::onClick(f.cmdCloneTable, [] { throw std::runtime_error("boom"); });
    f.cmdCloneTable->click();
    EXPECT_FALSE(quorix::Operations::busy());
    f.cmdTruncate->click();
    EXPECT_TRUE(innerRan);
}

TEST(AppControls, GridHoldsManyRowsAndGrowsOnDemand) {
    WindowFixture w;
    w.start();
    quorix::Grid *g = w.form().Grid2;
    std::vector<QStringList> rows;
    for (int i = 0; i < 20000; ++i)
        rows.push_back({QString("t%1").arg(i), "dbo", QString::number(i)});
    g->setData({"TableName", "SchemaName", "RowCounts"}, std::move(rows));
    EXPECT_EQ(g->rows(), 20000);
    EXPECT_EQ(g->cols(), 3);
    EXPECT_EQ(g->textMatrix(19999, 0), "t19999");
    EXPECT_EQ(g->textMatrix(20000, 0), "");
    EXPECT_EQ(g->textMatrix(0, 7), "");
    EXPECT_EQ(g->row(), -1);
    g->setRow(5);
    EXPECT_EQ(g->row(), 5);

    quorix::Grid *a = w.form().GridA;
    a->setRows(0);
    a->setCols(5);
    a->setTextMatrix(2, 6, "x"); // grows to fit
    EXPECT_EQ(a->rows(), 3);
    EXPECT_EQ(a->cols(), 7);
    EXPECT_EQ(a->textMatrix(2, 6), "x");
    EXPECT_EQ(a->textMatrix(1, 1), "");
    a->clear();
    EXPECT_EQ(a->rows(), 0);

    // A click reports after the current row has moved.
    quorix::Grid *db = w.form().GridDB[0];
    db->setData({"name"}, {{"Billing"}, {"Payroll"}});
    db->resize(300, 200);
    int rowAtClick = -1;
    QObject::connect(db, &quorix::Grid::clicked1, [&] { rowAtClick = db->row(); });
    const QRect cell = db->visualRect(db->model()->index(1, 0));
    QTest::mouseClick(db->viewport(), Qt::LeftButton, {}, cell.center());
    EXPECT_EQ(rowAtClick, 1);
}

TEST(AppControls, FileListReadsAFolderByPatternsAndKeepsItOnFailure) {
    QTemporaryDir dir;
    for (const char *name : {"b.BAK", "a.bak", "c.mdf", "d.LDF", "e.txt"})
        QFile(dir.filePath(name)).open(QIODevice::WriteOnly);
    quorix::FileList list;
    list.setPattern("*.mdf;*.ldf");
    ASSERT_TRUE(list.setPath(dir.path()));
    EXPECT_EQ(list.listCount(), 2);
    EXPECT_EQ(list.list(0), "c.mdf");
    EXPECT_EQ(list.list(1), "d.LDF");
    list.setPattern("*.bak");
    EXPECT_EQ(list.listCount(), 2);
    EXPECT_EQ(list.list(0), "a.bak");
    list.setListIndex(1);
    QFile(dir.filePath("0.bak")).open(QIODevice::WriteOnly);
    list.refresh();
    EXPECT_EQ(list.listCount(), 3);
    EXPECT_EQ(list.list(list.listIndex()), "b.BAK"); // the selection follows its file
    EXPECT_FALSE(list.setPath(dir.filePath("missing")));
    EXPECT_EQ(list.path(), dir.path());
    EXPECT_EQ(list.listCount(), 3);
    EXPECT_EQ(list.list(7), "");
}

// While the window is photographed, the boxes that would show a password in clear show it masked, as the
// log does; each comes back as it was, and a box with no password is left alone.
TEST(AppControls, SecretsAreHiddenWhileTheWindowIsPhotographed) {
    WindowFixture w;
    quorix::Form &f = w.form();
    const QString script = "CREATE LOGIN mirror_login WITH PASSWORD = 'Secret#1'\n"
                           "CREATE MASTER KEY ENCRYPTION BY PASSWORD = N'Key#2'";
    const QString connection = "Provider=SQLOLEDB;Persist Security Info=True;Server=MAINSERVER;UID=sa;"
                               "Database=MASTER;Password=garden@584";
    f.txtScript1[0]->setPlainText(script);
    f.txtTESTConnection->setText(connection);
    const QString sizes = f.txtTableSizes->toPlainText();
    QSignalSpy scriptChanged(f.txtScript1[0], &QPlainTextEdit::textChanged);
    QSignalSpy connectionChanged(f.txtTESTConnection, &QLineEdit::textChanged);
    {
        const quorix::SecretsHidden hidden(f);
        EXPECT_EQ(f.txtScript1[0]->toPlainText(), "CREATE LOGIN mirror_login WITH PASSWORD = '********'\n"
                                                  "CREATE MASTER KEY ENCRYPTION BY PASSWORD = N'********'");
        EXPECT_EQ(f.txtTESTConnection->text(), "Provider=SQLOLEDB;Persist Security Info=True;"
                                               "Server=MAINSERVER;UID=sa;Database=MASTER;Password=********");
        EXPECT_EQ(f.txtTableSizes->toPlainText(), sizes);
    }
    EXPECT_EQ(f.txtScript1[0]->toPlainText(), script);
    EXPECT_EQ(f.txtTESTConnection->text(), connection);
    // Nothing told the window the boxes changed, so nothing was remembered of the masked texts.
    EXPECT_EQ(scriptChanged.count(), 0);
    EXPECT_EQ(connectionChanged.count(), 0);
}
