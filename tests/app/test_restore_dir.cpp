// The "Restore Dir" tab: its file lists follow txtRestoreDir, and are re-read when the tab is shown.

#include "WindowFixture.h"
#include "app/widgets/FileList.h"
#include "shares/Platform.h"

#include <QFile>
#include <QLineEdit>
#include <QTabWidget>
#include <QTemporaryDir>

using quorix::testing::WindowFixture;

namespace {
void touch(const QTemporaryDir &dir, const char *name) {
    QFile(dir.filePath(name)).open(QIODevice::WriteOnly);
}
QStringList entries(const quorix::FileList *list) {
    QStringList out;
    for (int i = 0; i < list->listCount(); ++i)
        out << list->list(i);
    return out;
}
} // namespace

TEST(AppRestoreDir, ListsFollowTheFolderBoxAndTheTab) {
    QTemporaryDir dir;
    touch(dir, "Billing_20150101.bak");
    touch(dir, "Billing.mdf");
    touch(dir, "Billing_log.ldf");
    touch(dir, "notes.txt");

    WindowFixture w;
    auto &f = w.start().form();
    f.txtRestoreDir->setText(dir.path() + "/");
    EXPECT_EQ(entries(f.File2[0]), QStringList({"Billing_20150101.bak"}));
    EXPECT_EQ(entries(f.File2[1]), QStringList({"Billing.mdf", "Billing_log.ldf"}));

    touch(dir, "Accounting.bak");
    touch(dir, "Payroll.MDF");
    f.SSTab1->setCurrentIndex(6); // another tab: nothing re-read
    EXPECT_EQ(f.File2[0]->listCount(), 1);
    f.SSTab1->setCurrentIndex(5);
    EXPECT_EQ(entries(f.File2[0]), QStringList({"Accounting.bak", "Billing_20150101.bak"}));
    EXPECT_EQ(entries(f.File2[1]), QStringList({"Billing.mdf", "Billing_log.ldf", "Payroll.MDF"}));

    // A folder that does not exist leaves the lists as they were.
    f.txtRestoreDir->setText(dir.path() + "/missing/");
    EXPECT_EQ(f.File2[0]->listCount(), 2);
    EXPECT_EQ(f.File2[0]->path(), dir.path() + "/");
    f.SSTab1->setCurrentIndex(0);
    f.SSTab1->setCurrentIndex(5);
    EXPECT_EQ(f.File2[1]->listCount(), 3);
    // The folder box is not remembered.
    EXPECT_EQ(w.stored("MAIN", "txtRestoreDir"), "");
}

TEST(AppRestoreDir, BackupFileListsRefreshThroughTimer1sHandler) {
    QTemporaryDir a, b;
    WindowFixture w;
    auto &f = w.start().form();
    ASSERT_TRUE(f.FileA->setPath(a.path()));
    ASSERT_TRUE(f.FileB->setPath(b.path()));
    touch(a, "QRIX.BAK");
    touch(b, "QRIX_log.BAK");
    EXPECT_EQ(f.FileA->listCount(), 0);
    w.window().RefreshBackupFileLists();
    EXPECT_EQ(entries(f.FileA), QStringList({"QRIX.BAK"}));
    EXPECT_EQ(entries(f.FileB), QStringList({"QRIX_log.BAK"}));
}

TEST(AppRestoreDir, TheSharesDriveTableLivesInTheSettingsStore) {
    WindowFixture w;
    w.start();
    quorix::shares::driveStore()->save({{"X", "smb://127.0.0.2/backup"}, {"XUser", "administrator"}});
    EXPECT_EQ(w.stored("Drives", "X"), "smb://127.0.0.2/backup");
    w.restart();
    const auto table = quorix::shares::driveStore()->load();
    EXPECT_EQ(table.size(), 2u);
    EXPECT_EQ(table.at("XUser"), "administrator");
    quorix::shares::driveStore()->save({});
    EXPECT_EQ(w.stored("Drives", "X"), "");
}
