// Tabs "Copy", "txt", "Restore", "TEST", "Restore Dir" and "Options".

#include "gui/app/FormBuilder.h"
#include "gui/ui/Form.h"
#include "gui/ui/widgets/FileList.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace quorix {

using namespace ui;

QWidget *buildCopyTab(Form &form) {
    form.cmdCopyInto = button(QStringLiteral("cmdCopyInto"), QStringLiteral("Copy Into"));
    form.cmdDropTableDB2 = button(QStringLiteral("cmdDropTableDB2"), QStringLiteral("Drop table DBname_2"));
    form.cmdCopyTablesDB2 =
        button(QStringLiteral("cmdCopyTablesDB2"), QStringLiteral("Copy Structure to DBname_2"));
    form.cmdTruncate = button(QStringLiteral("cmdTruncate"), QStringLiteral("Truncate"));
    form.cmdCopyTables = button(QStringLiteral("cmdCopyTables"), QStringLiteral("Copy table by record"));
    form.Command1 = button(QStringLiteral("Command1"), QStringLiteral("single user"));
    form.Command2 = button(QStringLiteral("Command2"), QStringLiteral("multi user"));
    form.chkAllTables = check(QStringLiteral("chkAllTables"), QStringLiteral("All Tables"));
    form.cmdCheckTables = button(QStringLiteral("cmdCheckTables"), QStringLiteral("Check"));
    form.cmdCopytoNEW = button(QStringLiteral("cmdCopytoNEW"), QStringLiteral("Copy to _NEW2"));
    form.cmdCloneTable = button(QStringLiteral("cmdCloneTable"), QStringLiteral("Clone Table Records"));
    form.lblcount = label(QStringLiteral("lblcount"), QStringLiteral("0"));
    form.cmdCopybyRecID =
        button(QStringLiteral("cmdCopybyRecID"), QStringLiteral("Copy records to database 1"));
    form.Label10 = label(QStringLiteral("Label10"), QStringLiteral("startID #:"));
    form.txtStartIDNum = edit(QStringLiteral("txtStartIDNum"), QStringLiteral("106300"));
    form.Label11 = label(QStringLiteral("Label11"), QStringLiteral("EndID #:"));
    form.txtENDIDNum = edit(QStringLiteral("txtENDIDNum"), QStringLiteral("106310"));

    auto *page = new QWidget;
    auto *g = new QGridLayout(page);
    // Left: whole-table tools on the second database; right: table maintenance; below: record range.
    g->addWidget(form.chkAllTables, 0, 0);
    g->addWidget(form.lblcount, 0, 1);
    g->addWidget(form.cmdCopyTablesDB2, 1, 0);
    g->addWidget(form.cmdCopyInto, 2, 0);
    g->addWidget(form.cmdCopyTables, 3, 0);
    g->addWidget(form.cmdCopytoNEW, 4, 0);
    g->addWidget(form.cmdCloneTable, 5, 0);
    g->addWidget(form.cmdDropTableDB2, 6, 0);
    g->addWidget(form.cmdTruncate, 1, 1);
    g->addWidget(form.cmdCheckTables, 2, 1);
    g->addWidget(form.Command1, 3, 1);
    g->addWidget(form.Command2, 4, 1);
    auto *range = new QHBoxLayout;
    range->addWidget(form.Label10);
    range->addWidget(form.txtStartIDNum);
    range->addWidget(form.Label11);
    range->addWidget(form.txtENDIDNum);
    range->addWidget(form.cmdCopybyRecID);
    range->addStretch(1);
    g->addLayout(range, 8, 0, 1, 3);
    g->setRowMinimumHeight(7, 16);
    g->setColumnStretch(2, 1);
    g->setRowStretch(9, 1);
    return page;
}

QWidget *buildTxtTab(Form &form) {
    form.Text1 = memo(QStringLiteral("Text1"), true);
    auto *page = new QWidget;
    auto *v = new QVBoxLayout(page);
    v->addWidget(form.Text1);
    return page;
}

QWidget *buildRestoreTab(Form &form) {
    form.File1 = fileList(QStringLiteral("File1"), QStringLiteral("*.bak"));
    form.cmdRename = button(QStringLiteral("cmdRename"), QStringLiteral("Rename bak files (remove date)"));
    form.cmdRestoreMain = button(QStringLiteral("cmdRestoreMain"), QStringLiteral("Restore ALL to Main"));
    form.cmdRefresh = button(QStringLiteral("cmdRefresh"), QStringLiteral("Refresh"));

    auto *page = new QWidget;
    auto *h = new QHBoxLayout(page);
    h->addWidget(form.File1, 1);
    auto *buttons = new QVBoxLayout;
    buttons->addWidget(form.cmdRefresh);
    buttons->addWidget(form.cmdRename);
    buttons->addWidget(form.cmdRestoreMain);
    buttons->addStretch(1);
    h->addLayout(buttons);
    return page;
}

QWidget *buildTestTab(Form &form) {
    static const char *const captions[] = {"Create Table", "Test ADD   <3s", "Test Delete", "Test Read  <2s"};
    auto *page = new QWidget;
    auto *g = new QGridLayout(page);
    form.txtTESTConnection = edit(QStringLiteral("txtTESTConnection"),
                                  QStringLiteral("Provider=SQLOLEDB;Persist Security Info=True;Server=") +
                                      QLatin1String(kDefaultMainServer) +
                                      QStringLiteral(";UID=sa;Database=MASTER;Password=garden@584"));
    g->addWidget(form.txtTESTConnection, 0, 0, 1, 3);
    for (int i = 0; i < 4; ++i) {
        form.cmdTest[static_cast<size_t>(i)] = button(indexed("cmdTest", i), QLatin1String(captions[i]));
        g->addWidget(form.cmdTest[static_cast<size_t>(i)], i + 1, 0);
    }
    form.lblTime = label(QStringLiteral("lblTime"), QStringLiteral("Time"));
    g->addWidget(form.lblTime, 1, 1);
    g->setColumnStretch(2, 1);
    g->setRowStretch(6, 1);
    return page;
}

QWidget *buildRestoreDirTab(Form &form) {
    form.Label14 = label(QStringLiteral("Label14"), QStringLiteral("check restore drive under options"));
    form.Frame3 = frame(QStringLiteral("Frame3"), QStringLiteral("1. Specify source folder with .bak"));
    form.File2[0] = fileList(indexed("File2", 0), QStringLiteral("*.bak"));
    form.txtRestoreDir = edit(QStringLiteral("txtRestoreDir"), QStringLiteral("d:\\quorix\\db\\bak\\"));
    form.Label8 = label(QStringLiteral("Label8"), QStringLiteral("end the folder with a backslash \\"));
    form.Frame2 = frame(QStringLiteral("Frame2"), QStringLiteral("2. Rename"));
    form.cmdRenameDir[0] = button(indexed("cmdRenameDir", 0), QStringLiteral("Rename files "));
    form.cmdRenameDir[1] = button(indexed("cmdRenameDir", 1), QStringLiteral("Rename files "));
    form.txtSeparator = edit(QStringLiteral("txtSeparator"), QStringLiteral("_201"));
    form.txtSeparator->setToolTip(QStringLiteral("separator ex:2015"));
    form.Label7 =
        label(QStringLiteral("Label7"),
              QStringLiteral("remove trailing text of the filename, starting with the text below:"));
    form.Label7->setWordWrap(true);
    form.cmdRestoretoMain =
        button(QStringLiteral("cmdRestoretoMain"), QStringLiteral(" Restore ALL to Main"));
    form.File2[1] = fileList(indexed("File2", 1), QStringLiteral("*.mdf;*.ldf"));
    form.cmdAttachAll = button(QStringLiteral("cmdAttachAll"), QStringLiteral("Attach All (right)"));
    form.cmdDetachAll = button(QStringLiteral("cmdDetachAll"), QStringLiteral("Detach All (right)"));

    auto *f3 = new QVBoxLayout(form.Frame3);
    auto *dir = new QHBoxLayout;
    dir->addWidget(form.txtRestoreDir, 1);
    dir->addWidget(form.Label8);
    f3->addLayout(dir);
    f3->addWidget(form.File2[0], 1);

    auto *f2 = new QVBoxLayout(form.Frame2);
    f2->addWidget(form.Label7);
    f2->addWidget(form.txtSeparator);
    // Each rename button stands on the side of the list it renames.
    form.cmdRenameDir[0]->setToolTip(QStringLiteral("Rename the .bak files of the folder list (left)"));
    form.cmdRenameDir[1]->setToolTip(
        QStringLiteral("Rename the .mdf and .ldf files of the attach list (right)"));
    auto *renames = new QHBoxLayout;
    renames->addWidget(form.cmdRenameDir[0]);
    renames->addWidget(form.cmdRenameDir[1]);
    f2->addLayout(renames);
    f2->addStretch(1);

    auto *attach = new QVBoxLayout;
    attach->addWidget(form.File2[1], 1);
    attach->addWidget(form.cmdAttachAll);
    attach->addWidget(form.cmdDetachAll);

    // The steps left to right: folder, rename, restore; the attach list on the right, as its captions say.
    auto *page = new QWidget;
    auto *g = new QGridLayout(page);
    g->addWidget(form.Label14, 0, 0, 1, 3);
    g->addWidget(form.Frame3, 1, 0, 2, 1);
    g->addWidget(form.Frame2, 1, 1);
    g->addWidget(form.cmdRestoretoMain, 2, 1, Qt::AlignTop);
    g->addLayout(attach, 1, 2, 2, 1);
    g->setColumnStretch(0, 3);
    g->setColumnStretch(1, 2);
    g->setColumnStretch(2, 2);
    g->setRowStretch(2, 1);
    return page;
}

QWidget *buildOptionsTab(Form &form) {
    static const char *const driveLabels[] = {"Financial DB drive:", "Clinical DB drive:", "Other DB drive:"};
    static const char *const letterNames[] = {"Label16", "Label17", "Label18", "Label19"};
    static const char *const letters[] = {"c", "i", "j", "p"};

    auto *page = new QWidget;
    auto *g = new QGridLayout(page);
    for (int s = 0; s < 2; ++s) {
        QGroupBox *f = frame(indexed("Frame1", s), QStringLiteral(" Restore Drive"));
        form.Frame1[static_cast<size_t>(s)] = f;
        f->setToolTip(QLatin1String(s == 0 ? "Main" : "Mirror"));
        auto *fg = new QGridLayout(f);
        fg->addWidget(label(indexed("Label9", s), QStringLiteral("files are restored in \\db\\ subfolder")),
                      0, 0, 1, 3);
        for (int k = 0; k < 4; ++k) {
            QLineEdit *box = nullptr;
            QLabel *caption = nullptr;
            if (k < 3) {
                const int index = 3 * s + k;
                box = edit(indexed("txtRestoreTO", index));
                form.txtRestoreTO[static_cast<size_t>(index)] = box;
                caption = label(indexed("lbl", index), QLatin1String(driveLabels[k]));
            } else {
                box = edit(indexed("txtLogDrive", s));
                form.txtLogDrive[static_cast<size_t>(s)] = box;
                caption = label(indexed("Label15", s), QStringLiteral("Log Drive"));
            }
            box->setMaximumWidth(60);
            fg->addWidget(caption, 1 + 2 * k, 0, 1, 2);
            fg->addWidget(box, 2 + 2 * k, 0);
            fg->addWidget(label(indexed(letterNames[k], s), QLatin1String(letters[k])), 2 + 2 * k, 1);
        }
        fg->setColumnStretch(2, 1);
        g->addWidget(label(QString(), QLatin1String(s == 0 ? "Main" : "Mirror")), 0, s);
        g->addWidget(f, 1, s);
    }
    form.Frame5 = frame(QStringLiteral("Frame5"), QString());
    form.Label5 = label(QStringLiteral("Label5"), QStringLiteral("backup drive / path:"));
    form.txtBackupDrive = edit(QStringLiteral("txtBackupDrive"), QStringLiteral("p:\\backup\\MIR\\"));
    auto *f5 = new QHBoxLayout(form.Frame5);
    f5->addWidget(form.Label5);
    f5->addWidget(form.txtBackupDrive, 1);
    g->addWidget(form.Frame5, 2, 0, 1, 2);
    g->setColumnStretch(2, 1);
    g->setRowStretch(3, 1);
    return page;
}

} // namespace quorix
