// Automation through the real executable, headless.

#include "ToolRun.h"
#include "tds/ScriptedServer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using quorix::testing::ToolRun;

namespace {

ToolRun runTool(const QStringList &args, const QString &configHome) {
    return quorix::testing::runTool(args, configHome, 60000);
}

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
        {{"--headless", "--set", "SSTab1=14"}, "SSTab1 has tabs 0 to 13"},
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
    ASSERT_EQ(files.size(), 14) << files.join(' ').toStdString();
    EXPECT_EQ(files[0], "SSTab1-00-Main_Tools.png");
    EXPECT_EQ(files[5], "SSTab1-05-Restore_Dir.png");
    EXPECT_EQ(files[13], "SSTab1-13.png");
    EXPECT_GT(QFileInfo(shots.filePath(files[0])).size(), 1000);
}

TEST(AppAutomation, AFailedServerCommandMakesAScheduledRunFail) {
    quorix::tds::ScriptedServer server;
    server.setLogin("sa", "pw");
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
