// Where the window keeps the passwords when a real Secret Service answers (the settings file when none does
// is tested on the program run as a process, tests/app/test_automation.cpp).

#include "SecretService.h"
#include "WindowFixture.h"

#include <QCoreApplication>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSettings>

using quorix::testing::SecretService;
using quorix::testing::WindowFixture;

namespace {

QByteArray fileText(const QString &path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString service() {
    return QCoreApplication::applicationName();
}

int linesStartingWith(const QString &log, const QString &start) {
    int n = 0;
    for (const QString &line : log.split('\n'))
        n += line.startsWith(start) ? 1 : 0;
    return n;
}

// The passwords of these tests are the store's business, not the file's.
class Passwords : public ::testing::Test {
protected:
    void SetUp() override { qunsetenv("QUORIX_PASSWORD_STORE"); }
    void TearDown() override { qputenv("QUORIX_PASSWORD_STORE", "file"); }
};

} // namespace

TEST_F(Passwords, TypedOnesGoToTheCredentialStoreAndComeBackFromIt) {
    SecretService &secrets = SecretService::shared();
    WindowFixture w;
    auto &f = w.start().form();
    f.txtPW[0]->setText("Typed#Main1");
    f.txtServerPW[1]->setText("share pw 2");
    f.txtServer[0]->setText("db1"); // not a password: the file, as ever

    EXPECT_EQ(secrets.lookup(service(), "txtPW(0)"), "Typed#Main1");
    EXPECT_EQ(secrets.lookup(service(), "txtServerPW(1)"), "share pw 2");
    const QByteArray file = fileText(w.settingsFile());
    EXPECT_TRUE(file.contains("txtServer0=db1")) << file.toStdString();
    EXPECT_FALSE(file.contains("Typed#Main1")) << file.toStdString();
    EXPECT_FALSE(file.contains("share pw 2")) << file.toStdString();

    auto &again = w.restart().form();
    EXPECT_EQ(again.txtPW[0]->text(), "Typed#Main1");
    EXPECT_EQ(again.txtServerPW[1]->text(), "share pw 2");
    EXPECT_EQ(again.txtPW[1]->text(), "");
    EXPECT_FALSE(again.txtLog->toPlainText().contains("credential store"))
        << again.txtLog->toPlainText().toStdString();
}

TEST_F(Passwords, AnOlderVersionsPlainOnesAreMovedOnceTheDamagedCopysToo) {
    SecretService &secrets = SecretService::shared();
    WindowFixture w;
    w.preset("MIR", "DB0", "old main pw");
    w.preset("MAIN", "txtServerPW1", "old share pw");
    w.preset("MIR", "DB1", ""); // an empty one is no password: it just goes
    const QString bad = w.settingsFile() + ".bad";
    {
        QFile copy(bad);
        ASSERT_TRUE(copy.open(QIODevice::WriteOnly));
        copy.write("[MIR]\ntxtServer0=kept\nDB1=bad copy pw\n[MAIN]\ntxtServerPW0=bad share pw\n@damage\n");
    }

    auto &f = w.start().form();
    EXPECT_EQ(f.txtPW[0]->text(), "old main pw");
    EXPECT_EQ(f.txtServerPW[1]->text(), "old share pw");
    EXPECT_EQ(secrets.lookup(service(), "txtPW(0)"), "old main pw");
    EXPECT_EQ(secrets.lookup(service(), "txtServerPW(1)"), "old share pw");
    const QByteArray file = fileText(w.settingsFile());
    EXPECT_FALSE(file.contains("old main pw") || file.contains("old share pw")) << file.toStdString();
    EXPECT_FALSE(QSettings(w.settingsFile(), QSettings::IniFormat).contains("MIR/DB1"));
    EXPECT_EQ(fileText(bad), "[MIR]\ntxtServer0=kept\n[MAIN]\n@damage\n");
    const QString log = f.txtLog->toPlainText();
    EXPECT_EQ(linesStartingWith(log, "Passwords moved from " + w.settingsFile() +
                                         " into the credential store: txtPW(0), txtServerPW(1)"),
              1)
        << log.toStdString();
    EXPECT_EQ(linesStartingWith(log, "Passwords removed from " + bad), 1) << log.toStdString();

    // Said once: the next start finds nothing left to move.
    const QString next = w.restart().form().txtLog->toPlainText();
    EXPECT_FALSE(next.contains("Passwords moved") || next.contains("Passwords removed"))
        << next.toStdString();
    EXPECT_EQ(w.form().txtPW[0]->text(), "old main pw");
}
