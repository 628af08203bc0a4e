// Script only on the real window through the real driver to two scripted servers: each flow runs for real,
// then again as a dry run on the same answers; the dry run sends only reads and collects exactly what the
// real run changed. Also the check box itself, the log pane, a statement the rule does not know, and the
// headless options.

#include "DryRun.h"
#include "MirroringWindow.h"
#include "gui/app/Automation.h"
#include "gui/ui/BoxText.h"
#include "gui/ui/widgets/FileList.h"

#include <QFile>
#include <QLabel>
#include <QTemporaryDir>

using namespace quorix;
using namespace quorix::testing;
using tds::Reply;
using tds::Rule;

namespace {

class DryRuns : public MirroringWindow {
protected:
    void SetUp() override {
        MirroringWindow::SetUp();
        // A dropped database leaves the Mirror's list; a restored log brings one onto it.
        mirror->addRule(Rule::callback(
            [this](const std::string &text, const tds::ConnectionState &) -> std::optional<Reply> {
                mirrorDbs.remove(text.substr(14, text.size() - 15));
                return Reply::done();
            },
            "DROP DATABASE .* "));
        mirror->addRule(Rule::callback(
            [this](const std::string &text, const tds::ConnectionState &) -> std::optional<Reply> {
                const std::string db = text.substr(13, text.find(" FROM DISK") - 13);
                auto names = mirrorDbs.names();
                names.push_back(db);
                mirrorDbs.set(names);
                return Reply::done();
            },
            "RESTORE LOG .*"));
        for (tds::ScriptedServer *s : {main.get(), mirror.get()})
            s->addRule(Rule::pattern(
                " RESTORE FILELISTONLY .*",
                Reply::rows(
                    {{tds::makeColumn("LogicalName", "nvarchar(128)"),
                      tds::makeColumn("PhysicalName", "nvarchar(260)"), tds::makeColumn("Type", "char(1)")},
                     {{"Data", "E:\\SQLData\\x.mdf", "D"}, {"Log", "E:\\SQLLog\\x_log.ldf", "L"}}})));
        start();
    }

    // Runs flow for real, then as a dry run after the same preparation, and compares what each server got.
    void compare(const std::function<void()> &prepare, const std::function<void()> &flow) {
        prepare();
        resetRecord();
        flow();
        real = {main->batches(), mirror->batches()};
        prepare();
        resetRecord();
        f().chkScriptOnly->setChecked(true);
        flow();
        dryRun = {main->batches(), mirror->batches()};
        f().chkScriptOnly->setChecked(false);
        expectDryRunMatches(real[0], dryRun[0], collectedFor("Main"), "Main");
        expectDryRunMatches(real[1], dryRun[1], collectedFor("Mirror"), "Mirror");
    }
    void listed(int slot, DatabaseSet &dbs, std::vector<std::string> names) {
        dbs.set(std::move(names));
        click(QStringLiteral("cmdRefreshDB(%1)").arg(slot));
    }

    std::array<std::vector<std::string>, 2> real, dryRun;
};

} // namespace

TEST_F(DryRuns, TheCheckBoxStartsUntickedShowsTheStatusAndIsNeverRemembered) {
    EXPECT_FALSE(f().chkScriptOnly->isChecked());
    EXPECT_EQ(f().chkScriptOnly->text(), "Script only");
    EXPECT_EQ(f().cmdSaveScript->text(), "Save script");
    EXPECT_EQ(f().chkScriptOnly->parentWidget(), f().cmdSaveScript->parentWidget());
    EXPECT_TRUE(f().chkScriptOnly->parentWidget()->parentWidget()->isAncestorOf(f().chkALL));
    EXPECT_FALSE(f().lblScriptOnly->isVisible());
    f().chkScriptOnly->setChecked(true);
    EXPECT_TRUE(f().lblScriptOnly->isVisible());
    EXPECT_EQ(f().lblScriptOnly->text(), "Script only: nothing is changed");
    EXPECT_TRUE(f().lblScriptOnly->styleSheet().contains("background: #d00000"));
    w.restart();
    EXPECT_FALSE(f().chkScriptOnly->isChecked());
    EXPECT_FALSE(scriptOnly().active()) << "a new window starts a real run";
}

TEST_F(DryRuns, BackupWithAllDatabases) {
    compare(
        [this] {
            listed(0, mainDbs, {"Billing", "Payroll", "Radiology"});
            f().chkALL->setChecked(true);
            f().txtLog->clear();
        },
        [this] { click("cmdBackup(0)"); });
    EXPECT_EQ(collectedFor("Main").size(), 6u);
    EXPECT_EQ(collectedFor("Main").front(),
              "BACKUP DATABASE Billing TO DISK = 'p:\\backup\\MIR\\Billing.BAK'   WITH FORMAT");
    EXPECT_TRUE(dryRun[0].empty());
    // The dry run's log says what did not happen: each statement once after "Running SQL..", as not sent,
    // and no "Done".
    const QStringList lines = log();
    ASSERT_GE(lines.size(), 2);
    EXPECT_EQ(lines.mid(0, 2), (QStringList{"Not sent (Script only): BACKUP Log  Radiology TO DISK = "
                                            "'p:\\backup\\MIR\\Radiology_log.BAK'   WITH FORMAT",
                                            "Running SQL.."}));
    EXPECT_EQ(lines.count("Not sent (Script only): " + QString::fromStdString(collectedFor("Main").front())),
              1);
    EXPECT_EQ(lines.filter(QRegularExpression("^Not sent \\(Script only\\): ")).size(), 6);
    EXPECT_FALSE(lines.contains("Done")) << lines.join('\n').toStdString();
}

TEST_F(DryRuns, MirrorRestoreWithAllDatabases) {
    QTemporaryDir folder;
    for (const char *n : {"Billing.BAK", "Billing_log.BAK", "Radiology.BAK", "Radiology_log.BAK"})
        QFile(folder.filePath(n)).open(QIODevice::WriteOnly);
    compare(
        [&] {
            listed(1, mirrorDbs, {"Zeta"});
            ASSERT_TRUE(f().FileB->setPath(folder.path()));
            f().chkALL->setChecked(true);
        },
        [this] { click("cmdRestore(1)"); });
    EXPECT_EQ(collectedFor("Mirror").size(), 4u);
    EXPECT_EQ(dryRun[1].front(),
              " RESTORE FILELISTONLY  FROM DISK = 'p:\\backup\\MIR\\Billing.bak' WITH FILE = 1");
    EXPECT_TRUE(collectedFor("Main").empty());
}

TEST_F(DryRuns, DropAllTakesEveryDatabaseInTurn) {
    compare(
        [this] {
            listed(1, mirrorDbs, {"Billing", "Payroll", "Radiology"});
        },
        [this] { click("cmdDropAll(1)"); });
    std::vector<std::string> drops;
    for (const std::string &sql : collectedFor("Mirror"))
        if (sql.starts_with("DROP"))
            drops.push_back(sql);
    EXPECT_EQ(drops, (std::vector<std::string>{"DROP DATABASE Billing ", "DROP DATABASE Payroll ",
                                               "DROP DATABASE Radiology "}));
    EXPECT_EQ(column0(1), (QStringList{"Billing", "Payroll", "Radiology"})) << "nothing was dropped";
}

TEST_F(DryRuns, MirroringScripts) {
    for (int script : {0, 1, 3, 2}) {
        SCOPED_TRACE(script);
        compare([] {}, [&] { click(QStringLiteral("cmdRunScript(%1)").arg(script)); });
    }
    // The Mirror's create script (the last run) opens with USE master: it is sent, and also heads the script.
    const auto mirrorScript = collectedFor("Mirror");
    ASSERT_FALSE(mirrorScript.empty());
    EXPECT_NE(mirrorScript.front().find("USE master"), std::string::npos) << mirrorScript.front();
    EXPECT_TRUE(std::find(dryRun[1].begin(), dryRun[1].end(), mirrorScript.front()) != dryRun[1].end());
}

TEST_F(DryRuns, AStatementTheRuleDoesNotKnowIsCollectedNotSent) {
    f().chkScriptOnly->setChecked(true);
    setBoxText(f().txtScript1[1], "WAITFOR DELAY '00:00:01'\nGO\nSELECT 1 -- INSERT\nGO\n");
    click("cmdRunScript(1)");
    ASSERT_EQ(main->batches().size(), 1u);
    EXPECT_TRUE(main->batches()[0].starts_with("SELECT 1 -- INSERT"));
    ASSERT_EQ(collectedFor("Main").size(), 1u);
    EXPECT_TRUE(collectedFor("Main")[0].starts_with("WAITFOR DELAY '00:00:01'"));
}

TEST_F(DryRuns, HeadlessPrintsAndSavesTheScript) {
    listed(0, mainDbs, {"Billing"});
    resetRecord();
    QTemporaryDir dir;
    const QString path = dir.filePath("dry.sql");
    const AutomationPlan plan = Automation::parse({"--set", "chkScriptOnly=1", "--set", "txtDB=Billing",
                                                   "--click", "cmdBackup(0)", "--save-script", path});
    ASSERT_EQ(Automation::validate(plan, w.window()), QString());
    ::testing::internal::CaptureStdout();
    const int status = Automation::run(plan, w.window());
    const QString printed = QString::fromStdString(::testing::internal::GetCapturedStdout());
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(main->batches().empty());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString saved = QString::fromUtf8(file.readAll());
    EXPECT_TRUE(printed.endsWith(saved)) << printed.toStdString();
    const QStringList lines = saved.split('\n');
    ASSERT_EQ(lines.size(), 7) << saved.toStdString();
    EXPECT_TRUE(
        QRegularExpression("^-- Main, \\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d$").match(lines[0]).hasMatch())
        << lines[0].toStdString();
    EXPECT_EQ(lines.mid(1),
              (QStringList{"BACKUP DATABASE Billing TO DISK = 'p:\\backup\\MIR\\Billing.BAK'   WITH FORMAT",
                           "GO", lines[3],
                           "BACKUP Log  Billing TO DISK = 'p:\\backup\\MIR\\Billing_log.BAK'   WITH FORMAT",
                           "GO", ""}));
}

TEST_F(DryRuns, HeadlessPrintsTheScriptsPasswordsMaskedAndSavesThemAsTheyAre) {
    setBoxText(f().txtScript1[1], "CREATE LOGIN mirroring WITH PASSWORD = 'S3cret''s'\nGO\n");
    QTemporaryDir dir;
    const QString path = dir.filePath("dry.sql");
    const AutomationPlan plan =
        Automation::parse({"--set", "chkScriptOnly=1", "--click", "cmdRunScript(1)", "--save-script", path});
    ASSERT_EQ(Automation::validate(plan, w.window()), QString());
    ::testing::internal::CaptureStdout();
    const int status = Automation::run(plan, w.window());
    const QString printed = QString::fromStdString(::testing::internal::GetCapturedStdout());
    EXPECT_EQ(status, 0);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString saved = QString::fromUtf8(file.readAll());
    // The file is what would run; what is printed shows no password.
    EXPECT_TRUE(saved.contains("CREATE LOGIN mirroring WITH PASSWORD = 'S3cret''s'")) << saved.toStdString();
    EXPECT_FALSE(printed.contains("S3cret")) << printed.toStdString();
    QString masked = saved;
    masked.replace("'S3cret''s'", "'********'");
    EXPECT_TRUE(printed.endsWith(masked)) << printed.toStdString();
}
