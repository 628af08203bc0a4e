// The "Restore Dir" tab: its file lists follow txtRestoreDir, and are re-read when the tab is shown.

#include "WindowFixture.h"
#include "core/shares/Platform.h"
#include "gui/ui/BackupFileLists.h"
#include "gui/ui/Operations.h"
#include "gui/ui/widgets/FileList.h"

#include <QFile>
#include <QLineEdit>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <arpa/inet.h>
#include <mutex>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

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
    w.window().readRestoreDirNow();
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
    w.window().readRestoreDirNow();
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
    RefreshBackupFileLists(w.window().form());
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

namespace {
// A share server that takes connections and never answers, as a server that hangs does.
class SilentServer {
public:
    SilentServer() {
        m_listener = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(0x7F000009); // 127.0.0.9
        ::bind(m_listener, reinterpret_cast<sockaddr *>(&a), sizeof a);
        ::listen(m_listener, 8);
        socklen_t len = sizeof a;
        ::getsockname(m_listener, reinterpret_cast<sockaddr *>(&a), &len);
        m_port = ntohs(a.sin_port);
        m_thread = std::thread([this] {
            for (;;) {
                const int c = ::accept(m_listener, nullptr, nullptr);
                if (c < 0)
                    return;
                std::lock_guard lock(m_mutex);
                m_held.push_back(c);
            }
        });
    }
    ~SilentServer() { hangUp(); }
    int port() const { return m_port; }
    // Closes everything: a waiting client then fails at once.
    void hangUp() {
        if (m_listener >= 0) {
            ::shutdown(m_listener, SHUT_RDWR);
            ::close(m_listener);
            m_listener = -1;
        }
        if (m_thread.joinable())
            m_thread.join();
        std::lock_guard lock(m_mutex);
        for (int c : m_held) {
            ::shutdown(c, SHUT_RDWR);
            ::close(c);
        }
        m_held.clear();
    }

private:
    int m_listener = -1;
    int m_port = 0;
    std::thread m_thread;
    std::mutex m_mutex;
    std::vector<int> m_held;
};
} // namespace

TEST(AppRestoreDir, AShareThatDoesNotAnswerNeitherFreezesTheWindowNorWinsOverANewerFolder) {
    SilentServer silent;
    qputenv("QUORIX_SMB_PORT", QByteArray::number(silent.port()));
    QTemporaryDir dir;
    touch(dir, "Payroll.bak");

    WindowFixture w;
    auto &f = w.start().form();
    int ticks = 0;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] { ++ticks; });
    tick.start(10);
    // While the share keeps the list waiting, the DBA types a local folder; then the share hangs up.
    QTimer::singleShot(150, [&] {
        f.txtRestoreDir->setText(dir.path() + "/");
        w.window().readRestoreDirNow();
    });
    QTimer::singleShot(400, [&] { silent.hangUp(); });
    f.txtRestoreDir->setText("\\\\127.0.0.9\\backup\\");
    w.window().readRestoreDirNow();
    qunsetenv("QUORIX_SMB_PORT");

    EXPECT_GT(ticks, 10) << "the window stopped processing events while the share did not answer";
    EXPECT_EQ(f.File2[0]->path(), dir.path() + "/");
    EXPECT_EQ(entries(f.File2[0]), QStringList({"Payroll.bak"}));
}

TEST(AppRestoreDir, TypingAFolderReadsItOnceTypingPausesOrWhenAnOperationStarts) {
    QTemporaryDir dir;
    touch(dir, "Payroll.bak");
    WindowFixture w;
    auto &f = w.start().form();
    const QString before = f.File2[0]->path();

    // Every keystroke changes the box; none reads a folder while the keys keep coming.
    f.txtRestoreDir->clear();
    QTest::keyClicks(f.txtRestoreDir, dir.path() + "/");
    EXPECT_EQ(f.File2[0]->path(), before);
    QTRY_COMPARE_WITH_TIMEOUT(f.File2[0]->path(), dir.path() + "/", 2000);
    EXPECT_EQ(entries(f.File2[0]), QStringList({"Payroll.bak"}));

    // A button pressed before the pause is over works on the folder as typed.
    QTemporaryDir other;
    touch(other, "Billing.bak");
    f.txtRestoreDir->setText(other.path() + "/");
    QString seen;
    quorix::Operations::run("test", [&] { seen = f.File2[0]->path(); });
    EXPECT_EQ(seen, other.path() + "/");
}
