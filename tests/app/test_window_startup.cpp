// Start-up and the remembered boxes, on the real window.

#include "WindowFixture.h"
#include "core/masking/AnonymizerLists.h"
#include "gui/ui/BoxText.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QTest>

using quorix::testing::WindowFixture;

TEST(AppStartUp, FirstRunOnAnEmptyStore) {
    WindowFixture w;
    std::vector<int> listed;
    w.window().refreshDatabases = [&](int slot) { listed.push_back(slot); };
    auto &f = w.start().form();

    for (int s = 0; s < 2; ++s) {
        EXPECT_EQ(f.txtServer[s]->text(), "") << s; // the stored (absent) value wins over the form's address
        EXPECT_EQ(f.txtPW[s]->text(), "");
        EXPECT_EQ(f.txtServerUser[s]->text(), "administrator");
        EXPECT_EQ(f.txtServerPW[s]->text(), "");
        EXPECT_EQ(f.txtLogDrive[s]->text(), "");
    }
    for (auto *box : f.txtRestoreTO)
        EXPECT_EQ(box->text(), "D");
    EXPECT_EQ(f.txtBackupDrive->text(), "p:\\backup\\MIR\\");
    EXPECT_TRUE(listed.empty()); // no password, no server contacted
    EXPECT_EQ(quorix::boxText(f.txtATables), quorix::defaultWorkList());
    EXPECT_EQ(f.txtDB->text(), "QRIX");
    EXPECT_EQ(f.SSTab1->currentIndex(), 0);
    EXPECT_EQ(f.SSTab2->currentIndex(), 0);
    EXPECT_TRUE(f.txtLog->toPlainText().isEmpty());

    // Start-up wrote back what it loaded.
    EXPECT_EQ(w.stored("txtRestoreTO", "DB5"), "D");
    EXPECT_EQ(w.stored("MAIN", "txtServerUser1"), "administrator");
    EXPECT_EQ(w.stored("MAIN", "txtATables"), quorix::defaultWorkList());
}

// A server box or a Login box left empty names no server or login to use: nothing is tried, nothing said.
TEST(AppStartUp, APasswordWithNoServerOrNoLoginContactsNothing) {
    const struct {
        const char *server;
        const char *login;
    } cases[] = {{" ", "sa"}, {"db1", " "}, {"db1", ""}};
    for (const auto &c : cases) {
        WindowFixture w;
        w.preset("MIR", "DB0", "pw");
        w.preset("MIR", "txtServer0", c.server);
        w.preset("MIR", "txtLogin0", c.login);
        std::vector<int> listed;
        w.window().refreshDatabases = [&](int slot) { listed.push_back(slot); };
        auto &f = w.start().form();
        EXPECT_TRUE(listed.empty()) << c.server << "|" << c.login;
        EXPECT_TRUE(f.txtLog->toPlainText().isEmpty()) << f.txtLog->toPlainText().toStdString();
    }
}

TEST(AppStartUp, TheCaptionEndsInTheRevision) {
    WindowFixture w;
    EXPECT_EQ(w.window().windowTitle(), "QUORIX DB Tools");
    EXPECT_EQ(w.start().windowTitle(), "QUORIX DB Tools  v.22");
    w.window().Form_Load(); // start-up runs once
    EXPECT_EQ(w.window().windowTitle(), "QUORIX DB Tools  v.22");
}

TEST(AppStartUp, ASecondRunRestoresWhatWasStored) {
    WindowFixture w;
    w.preset("MIR", "txtServer0", "127.0.0.2");
    w.preset("MIR", "txtServer1", "mirror.local");
    w.preset("MIR", "DB0", "secret0");
    w.preset("MAIN", "txtServerUser1", "backupuser");
    w.preset("MAIN", "txtServerPW0", "sharepw");
    w.preset("txtRestoreTO", "DB0", "F");
    w.preset("txtRestoreTO", "DB4", "");
    w.preset("MAIN", "txtBackupDrive", "e:\\bak\\");
    w.preset("MAIN", "txtATables", "a..t LastName\r\n");
    w.preset("MAIN", "txtLastNames", "Smith\r\nJones\r\n");
    w.preset("MAIN", "txtFirstnames", ""); // empty: the built-in list stays
    std::vector<int> listed;
    w.window().refreshDatabases = [&](int slot) { listed.push_back(slot); };
    auto &f = w.start().form();

    EXPECT_EQ(f.txtServer[0]->text(), "127.0.0.2");
    EXPECT_EQ(f.txtServer[1]->text(), "mirror.local");
    EXPECT_EQ(f.txtPW[0]->text(), "secret0");
    EXPECT_EQ(f.txtServerUser[0]->text(), "administrator");
    EXPECT_EQ(f.txtServerUser[1]->text(), "backupuser");
    EXPECT_EQ(f.txtServerPW[0]->text(), "sharepw");
    EXPECT_EQ(f.txtRestoreTO[0]->text(), "F");
    EXPECT_EQ(f.txtRestoreTO[4]->text(), "D");
    EXPECT_EQ(f.txtBackupDrive->text(), "e:\\bak\\");
    EXPECT_EQ(quorix::boxText(f.txtATables), "a..t LastName\r\n");
    EXPECT_EQ(quorix::boxText(f.txtLastNames), "Smith\r\nJones\r\n");
    EXPECT_EQ(quorix::boxText(f.txtFirstnames), quorix::builtInFirstNames());
    // Only Main has a password: only Main's databases are listed.
    EXPECT_EQ(listed, std::vector<int>({0}));
}

TEST(AppStartUp, AFailingDatabaseListingDoesNotStopStartUp) {
    WindowFixture w;
    w.preset("MIR", "DB0", "pw");
    w.preset("MIR", "DB1", "pw");
    w.preset("MIR", "txtServer0", "db1");
    w.preset("MIR", "txtServer1", "db2");
    std::vector<int> listed;
    w.window().refreshDatabases = [&](int slot) {
        listed.push_back(slot);
        throw std::runtime_error("unreachable");
    };
    auto &f = w.start().form();
    EXPECT_EQ(listed, std::vector<int>({0, 1}));
    EXPECT_EQ(f.txtRestoreTO[0]->text(), "D");
    EXPECT_EQ(w.window().windowTitle(), "QUORIX DB Tools  v.22");
}

TEST(AppStartUp, TheLastKeystrokeWinsAtTheNextStart) {
    WindowFixture w;
    auto &f = w.start().form();
    f.txtServer[0]->setFocus();
    QTest::keyClicks(f.txtServer[0], "10.1.2.3");
    EXPECT_EQ(w.stored("MIR", "txtServer0"), "10.1.2.3"); // written at once, keystroke by keystroke
    QTest::keyClick(f.txtServer[0], Qt::Key_Backspace);
    EXPECT_EQ(w.stored("MIR", "txtServer0"), "10.1.2.");
    for (const char *text : {"a", "ab", "main-sql"})
        f.txtPW[1]->setText(text);
    f.txtLastNames->setPlainText("Brown\nGreen");

    auto &next = w.restart().form();
    EXPECT_EQ(next.txtServer[0]->text(), "10.1.2.");
    EXPECT_EQ(next.txtPW[1]->text(), "main-sql");
    EXPECT_EQ(quorix::boxText(next.txtLastNames), "Brown\r\nGreen");
}

TEST(AppStartUp, BothLogDrivesShareOneKey) {
    WindowFixture w;
    auto &f = w.start().form();
    f.txtLogDrive[0]->setText("L");
    f.txtLogDrive[1]->setText("M");
    EXPECT_EQ(f.txtLogDrive[0]->text(), "L"); // not until the next start
    auto &next = w.restart().form();
    EXPECT_EQ(next.txtLogDrive[0]->text(), "M");
    EXPECT_EQ(next.txtLogDrive[1]->text(), "M");
}

TEST(AppStartUp, UnreadableSettingsAreReportedOnceInTheLogAndTheDefaultsUsed) {
    WindowFixture w;
    QFile bad(w.settingsFile());
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
    bad.write("[MIR\ntxtServer0=x\n");
    bad.close();
    auto &f = w.start().form();
    EXPECT_EQ(f.txtServer[0]->text(), "");
    const QStringList lines = f.txtLog->toPlainText().split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 1) << f.txtLog->toPlainText().toStdString();
    EXPECT_TRUE(lines[0].startsWith("Settings file ")) << lines[0].toStdString();
    // Typing goes on being remembered in a fresh file.
    f.txtServer[0]->setText("srv");
    EXPECT_EQ(w.restart().form().txtServer[0]->text(), "srv");
}

TEST(AppStartUp, AnUnwritableStoreIsReportedOnceAndTheToolKeepsWorking) {
    WindowFixture w;
    // A file where the settings folder should be: nothing can be written.
    const QString blocker = w.configHome() + "/blocked";
    QFile file(blocker);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    qputenv("XDG_CONFIG_HOME", blocker.toUtf8());
    auto &f = w.start().form();
    f.txtServer[0]->setText("a");
    f.txtServer[0]->setText("ab");
    const QStringList lines = f.txtLog->toPlainText().split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 1) << f.txtLog->toPlainText().toStdString();
    EXPECT_TRUE(lines[0].startsWith("Settings cannot be written")) << lines[0].toStdString();
    EXPECT_EQ(f.txtServer[0]->text(), "ab");
    EXPECT_EQ(f.txtRestoreTO[0]->text(), "D");
}

// The settings folder goes away in the middle of a run (a file takes its place): one report, the boxes keep
// what is typed, the file written before stays as it was, and nothing typed is lost once it is back.
TEST(AppStartUp, AStoreThatBecomesUnwritableMidRunIsReportedOnceAndLosesNothingWrittenBefore) {
    WindowFixture w;
    auto &f = w.start().form();
    f.txtServer[0]->setText("before");
    const QString home = w.configHome();
    ASSERT_TRUE(QDir().rename(home, home + ".moved"));
    QFile blocker(home);
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    f.txtLog->clear();
    f.txtServer[0]->setText("during");
    f.txtServer[1]->setText("during too");
    const QStringList lines = f.txtLog->toPlainText().split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 1) << f.txtLog->toPlainText().toStdString();
    EXPECT_TRUE(lines[0].startsWith("Settings cannot be written")) << lines[0].toStdString();
    EXPECT_EQ(f.txtServer[0]->text(), "during");

    // The file written before is as it was; once the folder is back, closing the window remembers the rest.
    const QStringList files = QDir(home + ".moved").entryList({"*.ini"}, QDir::Files);
    ASSERT_EQ(files.size(), 1);
    QFile ini(home + ".moved/" + files[0]);
    ASSERT_TRUE(ini.open(QIODevice::ReadOnly));
    const QByteArray kept = ini.readAll();
    EXPECT_TRUE(kept.contains("txtServer0=before")) << kept.toStdString();
    ASSERT_TRUE(QFile::remove(home));
    ASSERT_TRUE(QDir().rename(home + ".moved", home));
    EXPECT_EQ(w.restart().form().txtServer[1]->text(), "during too");
}

TEST(AppStartUp, AnyTextInAnyBoxIsHarmlessAndRemembered) {
    const QStringList texts = {
        QString(),
        "\\\\",
        "\\\\\\backup",
        "x:\\",
        "' OR 1=1; DROP DATABASE x--",
        QString::fromLatin1("a\0b", 3),
        "\t\r\n\r",
        QString(5000, QChar(0x00e9)),
        "[MIR]\nkey=value",
        "@Variant(QPoint(1 2))",
        "%1 %2 %s %n",
        QString::fromUtf8("\xf0\x9f\x98\x80 \xe4\xb8\xad"),
    };
    WindowFixture w;
    auto &f = w.start().form();
    const auto lines = w.window().findChildren<QLineEdit *>();
    const auto memos = w.window().findChildren<QPlainTextEdit *>();
    ASSERT_GT(lines.size(), 40);
    for (const QString &text : texts) {
        for (QLineEdit *box : lines)
            box->setText(text);
        for (QPlainTextEdit *box : memos)
            box->setPlainText(text);
        f.SSTab1->setCurrentIndex(5);
        f.SSTab1->setCurrentIndex(0);
        QCoreApplication::processEvents();
    }
    // The last text typed comes back in every remembered box.
    const QString last = texts.last();
    auto &next = w.restart().form();
    EXPECT_EQ(next.txtServer[1]->text(), last);
    EXPECT_EQ(next.txtPW[0]->text(), last);
    EXPECT_EQ(next.txtRestoreTO[3]->text(), last);
    EXPECT_EQ(next.txtLogDrive[0]->text(), last);
    EXPECT_EQ(next.txtATables->toPlainText(), last);
    EXPECT_EQ(w.stored("MAIN", "txtAnonymizeField17"), last);
}
