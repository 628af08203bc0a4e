// Automation through the real executable, headless.

#include "DatabaseList.h"
#include "TestTls.h"
#include "ToolRun.h"
#include "tds/ScriptedServer.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <grp.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

using quorix::testing::ToolRun;

namespace {

ToolRun runTool(const QStringList &args, const QString &configHome) {
    return quorix::testing::runTool(args, configHome, 60000);
}

// A system account of the test's own whose home (in the account database) is the given folder, as a
// monitoring agent's account has one; removed again at the end.
class MonitoringAccount {
public:
    explicit MonitoringAccount(const QString &home)
        : m_name(QStringLiteral("quorix-chk-%1").arg(QCoreApplication::applicationPid())) {
        QProcess::execute("useradd", {"--system", "--no-create-home", "--user-group", "--home-dir", home,
                                      "--shell", "/usr/sbin/nologin", m_name});
        if (const passwd *pw = getpwnam(m_name.toLocal8Bit().constData());
            pw && QFile::decodeName(pw->pw_dir) == home) {
            m_uid = pw->pw_uid;
            m_gid = pw->pw_gid;
        }
    }
    ~MonitoringAccount() { QProcess::execute("userdel", {m_name}); }
    MonitoringAccount(const MonitoringAccount &) = delete;
    MonitoringAccount &operator=(const MonitoringAccount &) = delete;

    bool made() const { return m_uid != 0; }
    uid_t uid() const { return m_uid; }
    gid_t gid() const { return m_gid; }

    // The program run as this account, with the given environment.
    ToolRun run(const QStringList &args, const QProcessEnvironment &env) const {
        QProcess p;
        p.setProcessEnvironment(env);
        p.setWorkingDirectory("/");
        const uid_t uid = m_uid;
        const gid_t gid = m_gid;
        p.setChildProcessModifier([uid, gid] {
            if (setgroups(0, nullptr) != 0 || setgid(gid) != 0 || setuid(uid) != 0)
                _exit(126);
        });
        p.start(QUORIX_EXE, args);
        p.closeWriteChannel();
        EXPECT_TRUE(p.waitForFinished(60000)) << args.join(' ').toStdString();
        return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
                QString::fromUtf8(p.readAllStandardOutput()), QString::fromUtf8(p.readAllStandardError())};
    }

private:
    QString m_name;
    uid_t m_uid = 0;
    gid_t m_gid = 0;
};

} // namespace

TEST(AppAutomation, PrintsTheCaptionAndValuesSetByName) {
    QTemporaryDir home;
    ToolRun r =
        runTool({"--headless", "--print", "frmMain", "--set", "txtDB=Billing", "--print", "txtDB", "--set",
                 "chkALL=1", "--print", "chkALL", "--print", "txtRestoreTO(5)", "--print", "cmdCopy(1)"},
                home.path());
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, "QUORIX DB Tools  v.22\nBilling\n1\nD\n<- Copy\n");

    // A remembered box set from the command line is there at the next run.
    r = runTool({"--headless", "--set", "txtServer(1)=10.0.0.9=x", "--set", "txtLastNames=A\nB"},
                home.path());
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    r = runTool({"--headless", "--print", "txtServer(1)", "--print", "txtLastNames"}, home.path());
    EXPECT_EQ(r.out, "10.0.0.9=x\nA\nB\n");
}

TEST(AppAutomation, ClicksButtonsAndSelectsRows) {
    QTemporaryDir home;
    ToolRun r = runTool({"--headless", "--set", "txtSRC=SELECT *\nFROM t", "--click", "cmdMakeVB", "--print",
                         "txtDest", "--set", "SSTab1=8", "--print", "SSTab1", "--select", "lstLast=0"},
                        home.path());
    EXPECT_EQ(r.out, "SQLStr = \" SELECT *\" & _ \n\"FROM t\"\n8\n");
    // lstLast is empty until an anonymizer run fills it: a row that does not exist is an error of the run.
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains("lstLast has 0 entries")) << r.err.toStdString();
}

TEST(AppAutomation, BadOptionsRunNothingAndExitWith2) {
    QTemporaryDir home;
    const QList<std::pair<QStringList, QString>> cases = {
        {{"--headless", "--set", "txtDB=x", "--click", "cmdNoSuch(0)"}, "unknown control 'cmdNoSuch(0)'"},
        {{"--headless", "--click", "txtDB"}, "txtDB is not a button"},
        {{"--headless", "--set", "chkALL=yes"}, "a check box takes 0 or 1"},
        {{"--headless", "--set", "txtDB"}, "--set takes NAME=VALUE"},
        {{"--headless", "--select", "GridDB(0)=-1"}, "ROW must be a number"},
        {{"--headless", "--double-click", "cmdBackup(0)"}, "is not a grid or file list"},
        {{"--headless", "--answer", "maybe"}, "--answer takes yes or no"},
        {{"--headless", "--print"}, "--print needs a value"},
        {{"--headless", "--frobnicate"}, "unknown option '--frobnicate'"},
        {{"--headless", "--set", "SSTab1=15"}, "SSTab1 has tabs 0 to 14"},
        {{"--headless", "--format", "xml"}, "--format takes tsv or json, not 'xml'"},
        {{"--headless", "--warn-queue-kb", "100"}, "--warn-queue-kb is for --check-mirroring"},
        {{"--headless", "--timeout", "5"}, "--timeout is for --check-mirroring"},
    };
    for (const auto &[args, message] : cases) {
        const ToolRun r = runTool(args, home.path());
        EXPECT_EQ(r.status, 2) << args.join(' ').toStdString();
        EXPECT_TRUE(r.err.contains(message)) << r.err.toStdString();
        EXPECT_TRUE(r.out.isEmpty()) << r.out.toStdString();
    }
    // Nothing ran: the valid --set before the bad name was not applied, so nothing was stored.
    EXPECT_FALSE(QFile::exists(home.filePath(QString("quorix-dbtools.ini"))));
}

TEST(AppAutomation, ScreenshotsEveryTab) {
    QTemporaryDir home, shots;
    const ToolRun r = runTool({"--headless", "--screenshot", shots.path()}, home.path());
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    const QStringList files = QDir(shots.path()).entryList({"*.png"}, QDir::Files, QDir::Name);
    ASSERT_EQ(files.size(), 15) << files.join(' ').toStdString();
    EXPECT_EQ(files[0], "SSTab1-00-Main_Tools.png");
    EXPECT_EQ(files[5], "SSTab1-05-Restore_Dir.png");
    EXPECT_EQ(files[13], "SSTab1-13.png");
    EXPECT_EQ(files[14], "SSTab1-14-Status.png");
    EXPECT_GT(QFileInfo(shots.filePath(files[0])).size(), 1000);
}

// A script's passwords are printed masked, as the log shows them.
TEST(AppAutomation, AScriptBoxIsPrintedWithItsPasswordsMasked) {
    QTemporaryDir home;
    const ToolRun r =
        runTool({"--headless", "--set", "txtScript1(0)=CREATE LOGIN mirror_login WITH PASSWORD = 'Secret#1'",
                 "--print", "txtScript1(0)"},
                home.path());
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.endsWith("CREATE LOGIN mirror_login WITH PASSWORD = '********'\n"))
        << r.out.toStdString();
    EXPECT_FALSE(r.out.contains("Secret#1") || r.err.contains("Secret#1"));
}

TEST(AppAutomation, AFailedServerCommandMakesAScheduledRunFail) {
    quorix::tds::ScriptedServer server;
    server.setLogin("sa", "pw");
    quorix::testing::offerTls(server);
    server.start("127.0.0.2", 0);
    server.addRule(
        quorix::tds::Rule::exact("BACKUP nothing", quorix::tds::Reply::error(3201, "Cannot open.")));
    const QString box = "txtServer(0)=127.0.0.2," + QString::number(server.port());
    QTemporaryDir home;

    ToolRun r = runTool({"--headless", "--set", box, "--set", "txtPW(0)=pw", "--set",
                         "txtTableSizes=SELECT 1", "--click", "cmdTableSizes(0)"},
                        home.path());
    EXPECT_EQ(r.status, 0) << r.err.toStdString();

    r = runTool({"--headless", "--set", box, "--set", "txtPW(0)=pw", "--set", "txtTableSizes=BACKUP nothing",
                 "--click", "cmdTableSizes(0)", "--set", "txtTableSizes=SELECT 1", "--click",
                 "cmdTableSizes(0)"},
                home.path());
    EXPECT_EQ(r.status, 3);
    EXPECT_TRUE(r.out.contains("[FreeTDS][SQL Server]Cannot open.")) << r.out.toStdString();
    EXPECT_TRUE(r.err.contains("1 server command(s) failed: see the log")) << r.err.toStdString();
}

TEST(AppAutomation, ClickRunsTheSingleClickOfAGridsCurrentRow) {
    quorix::tds::ScriptedServer server;
    server.setLogin("sa", "pw");
    quorix::testing::offerTls(server);
    server.start("127.0.0.2", 0);
    server.addRule(quorix::tds::Rule::exact(quorix::testing::kList,
                                            quorix::testing::databaseRows({"Billing", "Payroll"})));
    const QString box = "txtServer(0)=127.0.0.2," + QString::number(server.port());
    QTemporaryDir home;

    ToolRun r = runTool({"--headless", "--set", box, "--set", "txtPW(0)=pw", "--click", "cmdRefreshDB(0)",
                         "--select", "GridDB(0)=1", "--click", "GridDB(0)", "--print", "txtDB"},
                        home.path());
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.endsWith("\nPayroll\n")) << r.out.toStdString();

    // The Mirror's list was never filled: there is no row to click, and the run says which list.
    r = runTool({"--headless", "--click", "GridDB(1)", "--click", "File2(0)"}, home.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains("GridDB(1) has no current row (--click GridDB(1))")) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains("File2(0) has no current entry (--click File2(0))")) << r.err.toStdString();
}

TEST(AppAutomation, TheMirroringChecksOwnMistakesAreUnknownToAMonitor) {
    QTemporaryDir home;
    const QStringList clean = {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY", "QUORIX_MAIN_SERVER",
                               "QUORIX_MIRROR_SERVER"};
    const QList<std::pair<QStringList, QString>> cases = {
        {{"--check-mirroring", "--click", "cmdBackup(0)"},
         "--check-mirroring runs alone, not with --click cmdBackup(0)"},
        {{"--check-mirroring", "--warn-queue-kb", "many"},
         "--warn-queue-kb takes a number of KB, not 'many'"},
        {{"--crit-queue-kb", "100", "--check-mirroring"},
         "--crit-queue-kb 100 is below --warn-queue-kb 10240"},
        {{"--check-mirroring", "--format", "json"},
         "--check-mirroring prints the monitoring plugins' format, not --format"},
        {{"--check-mirroring", "--main-server", " "}, "--main-server needs a server"},
        {{"--check-mirroring", "--frobnicate"}, "unknown option '--frobnicate'"},
        {{"--check-mirroring", "--timeout", "0"},
         "--timeout takes a number of seconds from 1 to 86400, not '0'"},
        {{"--check-mirroring", "--timeout", "8s"},
         "--timeout takes a number of seconds from 1 to 86400, not '8s'"},
        // Nothing remembered and nothing given: the settings file looked in is named.
        {{"--check-mirroring"},
         "no server for Main: give --main-server, set QUORIX_MAIN_SERVER or fill its server box in the "
         "window (settings: " +
             home.filePath("quorix-dbtools.ini") + ")"},
    };
    for (const auto &[args, message] : cases) {
        const ToolRun r = quorix::testing::runTool(args, home.path(), 60000, clean);
        EXPECT_EQ(r.status, 3) << args.join(' ').toStdString();
        EXPECT_EQ(r.out, "MIRRORING UNKNOWN - " + message + "\n") << args.join(' ').toStdString();
    }
    EXPECT_FALSE(QFile::exists(home.filePath(QString("quorix-dbtools.ini"))));
}

// A monitoring agent started by systemd runs its commands with no HOME: the check's settings are still
// those of the user's home, as the account database gives it.
TEST(AppAutomation, TheMirroringCheckFindsItsUsersSettingsWithoutHome) {
    const passwd *account = getpwuid(getuid());
    ASSERT_NE(account, nullptr);
    const QString expected = QFile::decodeName(account->pw_dir) + "/.config/quorix-dbtools.ini";
    QTemporaryDir home;
    // An empty QUORIX_MAIN_SERVER stops the check before it reads any remembered box of the user.
    const ToolRun r = quorix::testing::runTool({"--check-mirroring"}, home.path(), 60000,
                                               {"HOME", "XDG_CONFIG_HOME", "QT_QPA_PLATFORM", "DISPLAY"},
                                               {"QUORIX_MAIN_SERVER="});
    EXPECT_EQ(r.status, 3);
    EXPECT_EQ(r.out, "MIRRORING UNKNOWN - no server for Main: give --main-server, set QUORIX_MAIN_SERVER or "
                     "fill its server box in the window (settings: " +
                         expected + ")\n");
    EXPECT_FALSE(r.out.contains("(settings: /.config")) << r.out.toStdString();
}

// The check as a daemon started by systemd runs it, under a monitoring account with no HOME: the driver's
// configuration an encrypted login needs is written in the account's home (and the trusted certificates
// are looked for there), not under "/", which such an account cannot write, so both servers are logged in.
TEST(AppAutomation, WithoutHomeTheCheckLogsInWithTheDriversConfigurationInTheAccountsHome) {
    QTemporaryDir home(QDir::tempPath() + "/quorix-monitor-home-XXXXXX");
    ASSERT_TRUE(home.isValid());
    const MonitoringAccount account(home.path());
    ASSERT_TRUE(account.made()) << "useradd did not make the monitoring account";
    // The authority the servers' certificates come from, where the account can read it.
    const QString ca = home.filePath("ca.pem");
    ASSERT_TRUE(
        QFile::copy(QString::fromStdString(quorix::testing::testCertificates().ca.certificateFile), ca));
    ASSERT_EQ(chown(QFile::encodeName(home.path()).constData(), account.uid(), account.gid()), 0);
    ASSERT_EQ(chown(QFile::encodeName(ca).constData(), account.uid(), account.gid()), 0);
    const bool rootConfigBefore = QFileInfo::exists("/.config/quorix-dbtools");

    quorix::tds::ScriptedServer mainServer, mirrorServer;
    mainServer.setLogin("sa", "pwMain");
    mirrorServer.setLogin("sa", "pwMirror");
    quorix::testing::offerTls(mainServer);
    quorix::testing::offerTls(mirrorServer);
    mainServer.start("127.0.0.2", 0);
    mirrorServer.start("127.0.0.3", 0);

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_RUNTIME_DIR",
                             "DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "FREETDSCONF"})
        env.remove(name);
    env.insert("QUORIX_CA_FILE", ca);
    env.insert("QUORIX_MAIN_PW", "pwMain");
    env.insert("QUORIX_MIRROR_PW", "pwMirror");
    const ToolRun r = account.run({"--check-mirroring", "--main-server",
                                   "127.0.0.2," + QString::number(mainServer.port()), "--mirror-server",
                                   "127.0.0.3," + QString::number(mirrorServer.port()), "--timeout", "10"},
                                  env);
    const std::string output = (r.out + r.err).toStdString();
    EXPECT_TRUE(r.status >= 0 && r.status <= 3) << output;
    EXPECT_FALSE(r.out.contains("could not be written")) << output;
    EXPECT_GE(mainServer.logins().size(), 1u) << output;
    EXPECT_GE(mirrorServer.logins().size(), 1u) << output;
    QFile conf(home.filePath(".config/quorix-dbtools/freetds.conf"));
    ASSERT_TRUE(conf.open(QIODevice::ReadOnly)) << conf.fileName().toStdString() << "\n" << output;
    EXPECT_TRUE(conf.readAll().contains("[quorix-")) << conf.fileName().toStdString();
    EXPECT_EQ(QFileInfo::exists("/.config/quorix-dbtools"), rootConfigBefore);
}

TEST(AppAutomation, HelpAndVersionNeedNoDisplayAndAWindowWithoutOneSaysSo) {
    QTemporaryDir home;
    const QStringList noDisplay = {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"};
    ToolRun r = quorix::testing::runTool({"--help"}, home.path(), 60000, noDisplay);
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.startsWith("usage: quorix-dbtools ")) << r.out.toStdString();
    r = quorix::testing::runTool({"--version"}, home.path(), 60000, noDisplay);
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, "quorix-dbtools 6.0.0.22\n");
    r = quorix::testing::runTool({"--set", "txtDB=x"}, home.path(), 60000, noDisplay);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "no display: run it under xvfb-run, or with --headless\n");
    EXPECT_FALSE(QFile::exists(home.filePath("quorix-dbtools.ini")));
}

TEST(AppAutomation, TheReadmeListsTheOptionsThatHelpDescribes) {
    QTemporaryDir home;
    const ToolRun r = runTool({"--help"}, home.path());
    const QRegularExpression option("(--[a-z-]+)");
    QSet<QString> fromHelp, fromReadme;
    for (const QString &line : r.out.split('\n'))
        if (line.startsWith("  --"))
            fromHelp << option.match(line).captured(1);

    QFile readme(QUORIX_README);
    ASSERT_TRUE(readme.open(QIODevice::ReadOnly));
    bool inAutomation = false;
    for (const QString &line : QString::fromUtf8(readme.readAll()).split('\n')) {
        if (line.startsWith("## "))
            inAutomation = line == "## Automation";
        if (!inAutomation || !line.startsWith("| `--"))
            continue;
        const QString firstCell = line.section('|', 1, 1);
        for (auto it = option.globalMatch(firstCell); it.hasNext();)
            fromReadme << it.next().captured(1);
    }
    EXPECT_FALSE(fromHelp.isEmpty());
    EXPECT_EQ(fromReadme, fromHelp) << r.out.toStdString();
}

TEST(AppAutomation, JournalDirSetsWhereTheRunsJournalGoes) {
    quorix::tds::ScriptedServer server;
    server.setLogin("sa", "pw");
    quorix::testing::offerTls(server);
    server.start("127.0.0.2", 0);
    const QString box = "txtServer(0)=127.0.0.2," + QString::number(server.port());
    QTemporaryDir home;
    QTemporaryDir collected;

    ToolRun r = runTool({"--headless", "--journal-dir", collected.path(), "--set", box, "--set",
                         "txtPW(0)=pw", "--set", "txtDB=Billing", "--click", "cmdBackup(0)"},
                        home.path());
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    const QStringList files = QDir(collected.path()).entryList(QDir::Files);
    ASSERT_EQ(files.size(), 1) << files.join(' ').toStdString();
    EXPECT_TRUE(QRegularExpression("^journal-\\d{4}-\\d{2}-\\d{2}\\.jsonl$").match(files[0]).hasMatch());
    QFile file(QDir(collected.path()).filePath(files[0]));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().trimmed().split('\n');
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(lines[0].contains("\"control\":\"cmdBackup(0)\",\"statement\":\"BACKUP DATABASE Billing "))
        << lines[0].toStdString();
    EXPECT_FALSE(lines[0].contains("\"pw\"")) << lines[0].toStdString();
    // Nothing went to the user's data folder.
    EXPECT_FALSE(QFileInfo::exists(home.filePath("data/quorix-dbtools/journal")));

    r = runTool({"--headless", "--journal-dir"}, home.path());
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(r.err.contains("--journal-dir needs a value")) << r.err.toStdString();
    r = runTool({"--help"}, home.path());
    EXPECT_TRUE(r.out.contains("--journal-dir DIR")) << r.out.toStdString();
}

TEST(AppAutomation, ARunsPasswordComesFromStandardInputOrTheEnvironmentAndIsNeitherPrintedNorKept) {
    quorix::tds::ScriptedServer server;
    server.setLogin("sa", "run#pw");
    quorix::testing::offerTls(server);
    server.start("127.0.0.2", 0);
    server.addRule(
        quorix::tds::Rule::exact(quorix::testing::kList, quorix::testing::databaseRows({"Billing"})));
    const QString box = "txtServer(0)=127.0.0.2," + QString::number(server.port());
    QTemporaryDir home;
    const QString ini = home.filePath("quorix-dbtools.ini");
    const auto kept = [&] {
        QFile file(ini);
        return file.open(QIODevice::ReadOnly) && file.readAll().contains("run#pw");
    };

    // Standard input: the session logs in with it; --print shows only that there is one.
    ToolRun r = quorix::testing::runTool({"--headless", "--set", box, "--password-stdin", "0", "--click",
                                          "cmdRefreshDB(0)", "--print", "txtPW(0)", "--print", "GridDB(0)"},
                                         home.path(), 60000, {}, {}, "run#pw\r\n");
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains("\n********\nBilling\n")) << r.out.toStdString() << r.err.toStdString();
    EXPECT_FALSE(r.out.contains("run#pw") || r.err.contains("run#pw")) << r.out.toStdString();
    EXPECT_FALSE(kept());
    // The environment, when standard input gives none (start-up lists the remembered server's databases with
    // it); a password set by name is remembered as a typed one.
    r = quorix::testing::runTool({"--headless", "--print", "GridDB(0)", "--set", "txtServerPW(1)=typed"},
                                 home.path(), 60000, {}, {"QUORIX_MAIN_PW=run#pw"});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.endsWith("Billing\n")) << r.out.toStdString();
    EXPECT_FALSE(kept());
    r = runTool({"--headless", "--print", "txtServerPW(1)", "--print", "txtPW(0)"}, home.path());
    EXPECT_TRUE(r.out.endsWith("********\n\n")) << r.out.toStdString();
    // Standard input that ends first runs nothing.
    r = quorix::testing::runTool({"--headless", "--password-stdin", "1", "--password-stdin", "0"},
                                 home.path(), 60000, {}, {}, "only one\n");
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(r.err.contains("--password-stdin 0: standard input ended before its password"))
        << r.err.toStdString();
    r = runTool({"--headless", "--password-stdin", "2"}, home.path());
    EXPECT_TRUE(r.err.contains("--password-stdin takes the slot, 0 (Main) or 1 (Mirror), not '2'"))
        << r.err.toStdString();
}

TEST(AppAutomation, WithNoCredentialStoreAPasswordStaysInTheOwnerOnlyFileAndTheLogSaysSoOnce) {
    QTemporaryDir home;
    const ToolRun r = quorix::testing::runTool(
        {"--headless", "--set", "txtPW(0)=in the file", "--set", "txtServerPW(1)=share pw"}, home.path(),
        60000, {"QUORIX_PASSWORD_STORE"}, {"DBUS_SESSION_BUS_ADDRESS=unix:path=" + home.filePath("no-bus")});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    const QString ini = home.filePath("quorix-dbtools.ini");
    QFile file(ini);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    EXPECT_TRUE(text.contains("DB0=in the file") && text.contains("txtServerPW1=share pw"))
        << text.toStdString();
    EXPECT_EQ(file.permissions() & (QFileDevice::ReadGroup | QFileDevice::ReadOther),
              QFileDevice::Permissions());
    EXPECT_EQ(r.out.count("Passwords are not kept in a credential store ("), 1) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains("): they stay in " + ini + ", readable by this user only"))
        << r.out.toStdString();
}
