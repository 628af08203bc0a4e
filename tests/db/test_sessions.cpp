// Server sessions on the real window (offscreen), through the real FreeTDS driver to two scripted servers:
// Main on 127.0.0.2, Mirror on 127.0.0.3.

#include "DbTestSupport.h"
#include "WindowFixture.h"
#include "core/db/ServerSessions.h"
#include "gui/ui/GridBinding.h"
#include "gui/ui/LogPanes.h"
#include "gui/ui/Operations.h"
#include "gui/ui/Prompt.h"
#include "gui/ui/StatementProgress.h"
#include "gui/ui/widgets/Grid.h"
#include "tds/OdbcClient.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMainWindow>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QStatusBar>
#include <QTest>
#include <QTextBlock>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <mutex>
#include <thread>

using namespace quorix;
using namespace quorix::testing;
using tds::Message;
using tds::Reply;
using tds::ResultSet;
using tds::Rule;
using tds::SqlType;
using namespace std::chrono_literals;

namespace {

// A free loopback port that nothing listens on.
std::uint16_t deadPort() {
    tds::ScriptedServer probe;
    probe.start("127.0.0.2", 0);
    const auto port = probe.port();
    probe.stop();
    return port;
}

class Sessions : public ::testing::Test {
protected:
    void SetUp() override {
        main = startServer("127.0.0.2", "pwMain");
        mirror = startServer("127.0.0.3", "pwMirror");
        w.start();
        Form &f = w.form();
        f.txtServer[0]->setText(serverBox(*main));
        f.txtPW[0]->setText("pwMain");
        f.txtServer[1]->setText(serverBox(*mirror));
        f.txtPW[1]->setText("pwMirror");
        s = &w.window().sessions();
    }
    void TearDown() override {
        EXPECT_EQ(QApplication::overrideCursor(), nullptr) << "the hourglass was left on";
    }
    QStringList log() { return textLines(w.form().txtLog->toPlainText()); }
    void clearLog() { w.form().txtLog->clear(); }

    std::unique_ptr<tds::ScriptedServer> main, mirror;
    WindowFixture w;
    ServerSessions *s = nullptr; // the window's own
};

} // namespace

TEST_F(Sessions, ExecuteOnServerLogsEachStepAndSendsTheTextExactly) {
    const QString backup = "BACKUP DATABASE Billing TO DISK = 'p:\\backup\\MIR\\Billing.BAK' WITH INIT";
    s->ExecuteOnServer(0, backup);
    EXPECT_EQ(log(), (QStringList{"Done", backup, "Connected.", "Running SQL.."}));
    EXPECT_EQ(s->connectionString(0), "Provider=SQLOLEDB;Persist Security Info=True;Server=" +
                                          serverBox(*main) + ";UID=sa;Database=MASTER ;Password=pwMain");
    EXPECT_EQ(s->connection(0).commandTimeout(), ServerSessions::kExecuteTimeout);
    ASSERT_EQ(main->logins().size(), 1u);
    EXPECT_EQ(main->logins()[0].user, "sa");
    EXPECT_EQ(main->logins()[0].database, "MASTER");
    EXPECT_TRUE(mirror->logins().empty());

    // Tricky texts arrive byte for byte; a multi-line statement is logged as its lines.
    clearLog();
    const std::vector<QString> tricky = {"SELECT '?' , {fn NOW()} ; SELECT [a]]b] -- ? {",
                                         QString::fromUtf8("UPDATE t SET n = N'Żółć 😀' WHERE id = ?"),
                                         "PRINT 'one'\r\nPRINT 'two'"};
    for (const QString &t : tricky)
        s->ExecuteOnServer(0, t);
    EXPECT_EQ(log(), (QStringList{"Done", "PRINT 'one'", "PRINT 'two'", "Running SQL..", "Done", tricky[1],
                                  "Running SQL..", "Done", tricky[0], "Running SQL.."}));
    std::vector<std::string> expected{utf8(backup)};
    for (const QString &t : tricky)
        expected.push_back(utf8(t));
    EXPECT_EQ(main->statements(), expected);
    EXPECT_EQ(main->logins().size(), 1u); // one session for all
}

TEST_F(Sessions, AFailingStatementLogsTheServersDescriptionAndNoDone) {
    main->addRule(Rule::exact("SELECT * FROM nope", Reply::error(208, "Invalid object name 'nope'.")));
    s->ExecuteOnServer(0, "SELECT * FROM nope");
    EXPECT_EQ(log(), (QStringList{"[FreeTDS][SQL Server]Invalid object name 'nope'.", "SELECT * FROM nope",
                                  "Connected.", "Running SQL.."}));
    EXPECT_TRUE(s->connected(0)); // the session stays
    EXPECT_EQ(s->failures(), 1);  // what a scheduled run reports in its exit status
}

TEST_F(Sessions, EveryResultAndMessageIsReadBeforeDone) {
    Reply restore;
    for (int p = 10; p <= 100; p += 10)
        restore.then(Message{3211, 0, 1, std::to_string(p) + " percent processed."});
    restore.then(ResultSet{{{"x", SqlType::Int}}, {{"1"}, {"2"}}}).then(tds::RowCount{7});
    restore.then(Message{3014, 0, 1, "RESTORE DATABASE successfully processed 100 pages."});
    main->addRule(Rule::exact("RESTORE DATABASE Billing", restore));
    Reply failing = restore;
    failing.then(Message{3013, 16, 1, "RESTORE LOG is terminating abnormally."});
    main->addRule(Rule::exact("RESTORE LOG Billing", failing));
    main->addRule(Rule::exact("SELECT 42", Reply::rows(ResultSet{{{"n", SqlType::Int}}, {{"42"}}})));

    s->ExecuteOnServer(0, "RESTORE DATABASE Billing");
    EXPECT_EQ(log().front(), "Done");
    clearLog();
    s->ExecuteOnServer(0, "RESTORE LOG Billing");
    EXPECT_EQ(log(), (QStringList{"[FreeTDS][SQL Server]RESTORE LOG is terminating abnormally.",
                                  "RESTORE LOG Billing", "Running SQL.."}));
    // Nothing of those replies is left over for the next statement.
    EXPECT_EQ(s->OpenQuery(0, "SELECT 42", false), "");
    EXPECT_EQ(s->rs().value("n").toInt(), 42);
}

TEST_F(Sessions, AnUnreachableServerShowsTheDriversDescriptionEachTime) {
    w.form().txtServer[1]->setText("127.0.0.3," + QString::number(deadPort()));
    Prompt::clearShown();
    w.find<QPushButton>("cmdConnect(1)")->click();
    const QString unreachable =
        "[FreeTDS][SQL Server]Unable to connect: Adaptive Server is unavailable or does not exist";
    EXPECT_EQ(Prompt::shown(), QStringList{unreachable});
    EXPECT_FALSE(s->connected(1));
    EXPECT_TRUE(log().isEmpty());

    s->ExecuteOnServer(1, "SELECT 1");
    EXPECT_EQ(Prompt::shown(), (QStringList{unreachable, unreachable}));
    EXPECT_EQ(log(), (QStringList{"Operation is not allowed when the object is closed.", "SELECT 1",
                                  "Running SQL.."}));

    // The same server reached later: the next call connects.
    w.form().txtServer[1]->setText(serverBox(*mirror));
    clearLog();
    s->ExecuteOnServer(1, "SELECT 1");
    EXPECT_EQ(log(), (QStringList{"Done", "SELECT 1", "Connected.", "Running SQL.."}));
    EXPECT_EQ(Prompt::shown().size(), 2);
}

TEST_F(Sessions, ConnectOnAnOpenSessionClosesAndReopensIt) {
    s->ExecuteOnServer(0, "SELECT 1");
    clearLog();
    w.find<QPushButton>("cmdConnect(0)")->click();
    EXPECT_EQ(log(), QStringList{"Connected."});
    EXPECT_EQ(s->connection(0).commandTimeout(), ServerSessions::kOpenTimeout);
    EXPECT_EQ(main->logins().size(), 2u);
    EXPECT_TRUE(main->waitForStatements(1, 1s));
    // The first connection was closed by the client.
    bool firstClosed = false;
    for (int i = 0; i < 100 && !firstClosed; ++i) {
        for (const tds::Event &e : main->events(1))
            firstClosed = firstClosed || e.kind == tds::Event::Kind::Disconnect;
        std::this_thread::sleep_for(10ms);
    }
    EXPECT_TRUE(firstClosed);
    EXPECT_EQ(main->openConnections(), 1);
}

TEST_F(Sessions, OpenQueryReturnsTheFailureAndLogsItOnlyWhenNotQuiet) {
    main->addRule(Rule::pattern("SELECT \\* FROM nope.*", Reply::error(208, "Invalid object name 'nope'.")));
    main->addRule(
        Rule::exact("SELECT name FROM sys.databases",
                    Reply::rows(ResultSet{{{"name", SqlType::NVarChar, 128}}, {{"Billing"}, {"Payroll"}}})));
    EXPECT_EQ(s->OpenQuery(0, "SELECT * FROM nope", true),
              "[FreeTDS][SQL Server]Invalid object name 'nope'. SELECT * FROM nope");
    EXPECT_EQ(log(), QStringList{"Connected."}); // the session opened; the failure was not logged
    EXPECT_FALSE(s->rs().isOpen());

    EXPECT_EQ(s->OpenQuery(0, "SELECT name FROM sys.databases", false), "");
    QStringList names;
    for (; !s->rs().eof(); s->rs().moveNext())
        names << s->rs().value("NAME").toString();
    EXPECT_EQ(names, (QStringList{"Billing", "Payroll"}));
    EXPECT_EQ(log(), QStringList{"Connected."}); // success logs nothing

    EXPECT_EQ(s->OpenQuery(0, "SELECT * FROM nope2", false),
              "[FreeTDS][SQL Server]Invalid object name 'nope'. SELECT * FROM nope2");
    EXPECT_EQ(log().front(), "[FreeTDS][SQL Server]Invalid object name 'nope'. SELECT * FROM nope2");
    EXPECT_THROW(s->rs().eof(), DbError);
}

TEST_F(Sessions, ADroppedConnectionFailsUntilConnectAndTheOtherSlotGoesOn) {
    s->ExecuteOnServer(0, "SELECT 1");
    s->ExecuteOnServer(1, "SELECT 1");
    main->dropConnections();
    clearLog();
    s->ExecuteOnServer(0, "SELECT 2");
    const QStringList failed = log();
    ASSERT_EQ(failed.size(), 3);
    EXPECT_NE(failed[0], "Done");
    EXPECT_TRUE(failed[0].startsWith("[FreeTDS]")) << failed[0].toStdString();
    EXPECT_EQ(s->OpenQuery(0, "SELECT 3", true).endsWith(" SELECT 3"), true);

    clearLog();
    s->ExecuteOnServer(1, "SELECT 2");
    EXPECT_EQ(log().front(), "Done");

    w.find<QPushButton>("cmdConnect(0)")->click();
    clearLog();
    s->ExecuteOnServer(0, "SELECT 4");
    EXPECT_EQ(log(), (QStringList{"Done", "SELECT 4", "Running SQL.."}));
}

TEST_F(Sessions, TheWindowStaysLiveDuringALongStatementAndOtherOperationsAreRefused) {
    main->addRule(Rule::exact("WAITFOR DELAY '00:00:05'", Reply::done().after(5s)));
    s->ExecuteOnServer(0, "SELECT 1"); // connected beforehand
    bool closedMidway = true;
    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
    ticker.start(50);
    QTimer::singleShot(1000, [&] {
        w.find<QCheckBox>("chkStop")->click();
        w.form().txtDB->setText("Payroll");
        w.find<QPushButton>("cmdConnect(1)")->click(); // another operation: refused
        closedMidway = w.window().close();             // closing waits for the operation, too
    });
    QElapsedTimer clock;
    clock.start();
    const bool ran =
        Operations::run("cmdBackup(0)", [&] { s->ExecuteOnServer(0, "WAITFOR DELAY '00:00:05'"); });
    ticker.stop();
    EXPECT_TRUE(ran);
    EXPECT_GE(clock.elapsed(), 4900);
    EXPECT_GE(ticks, 60); // about 100 at 50 ms
    EXPECT_TRUE(w.form().chkStop->isChecked());
    EXPECT_EQ(w.form().txtDB->text(), "Payroll");
    EXPECT_TRUE(mirror->logins().empty());
    EXPECT_EQ(log().front(), "Done");
    EXPECT_FALSE(closedMidway);
    EXPECT_TRUE(w.window().isVisible());
    EXPECT_EQ(s->failures(), 0);
}

TEST_F(Sessions, CancelEndsTheRunningStatementAsAFailure) {
    main->addRule(Rule::exact("WAITFOR DELAY '00:10:00'", Reply::done().after(600s)));
    s->ExecuteOnServer(0, "SELECT 1");
    clearLog();
    QTimer::singleShot(300, [&] { w.find<QPushButton>("cmdCancel")->click(); });
    QElapsedTimer clock;
    clock.start();
    Operations::run("cmdBackup(0)", [&] { s->ExecuteOnServer(0, "WAITFOR DELAY '00:10:00'"); });
    EXPECT_LT(clock.elapsed(), 5000);
    const QStringList l = log();
    ASSERT_EQ(l.size(), 3);
    EXPECT_EQ(l[0], "[FreeTDS][SQL Server]Operation was cancelled");
    EXPECT_EQ(l[1], "WAITFOR DELAY '00:10:00'");
    EXPECT_EQ(main->cancels(), 1);
    EXPECT_FALSE(s->cancelRunning()); // nothing runs now
    clearLog();
    s->ExecuteOnServer(0, "SELECT 5");
    EXPECT_EQ(log().front(), "Done");
}

TEST_F(Sessions, LogPanesPutTheNewestLineOnTop) {
    w.window().log().LogLine("first");
    w.window().log().LogLine("second\r\nline");
    w.window().log().LogError("oops");
    w.window().log().LogError("again");
    EXPECT_EQ(w.form().txtLog->toPlainText(), "second\nline\nfirst\n");
    EXPECT_EQ(w.form().txtErrs->toPlainText(), "again\noops\n");
    EXPECT_FALSE(w.form().txtLog->document()->isUndoRedoEnabled());
    // Each line yields to the event loop once.
    bool ran = false;
    QTimer::singleShot(0, [&] { ran = true; });
    w.window().log().LogLine("third");
    EXPECT_TRUE(ran);

    // Repaints are held back during a burst of lines; afterwards the pane's scroll range and painting are
    // those of a pane that was given the same text at once.
    QPlainTextEdit *pane = w.form().txtLog;
    for (int i = 0; i < 3000; ++i)
        w.window().log().LogLine(QStringLiteral("line %1").arg(i));
    QTest::qWait(150);
    EXPECT_TRUE(pane->updatesEnabled());
    EXPECT_TRUE(pane->document()->documentLayout()->signalsBlocked() == false);
    EXPECT_TRUE(pane->toPlainText().startsWith("line 2999\nline 2998\n"));
    QPlainTextEdit same;
    same.setFont(pane->font());
    same.setLineWrapMode(pane->lineWrapMode());
    same.resize(pane->size());
    same.setPlainText(pane->toPlainText());
    same.show();
    QTest::qWait(50);
    EXPECT_EQ(pane->verticalScrollBar()->maximum(), same.verticalScrollBar()->maximum());
    EXPECT_EQ(pane->cursorForPosition(QPoint(5, 5)).block().text(), "line 2999"); // the top is in view
}

TEST_F(Sessions, AGridBindsToTheSharedRecordset) {
    main->addRule(
        Rule::exact("SIZES", Reply::rows(ResultSet{{{"TableName", SqlType::NVarChar, 128},
                                                    {"RowCounts", SqlType::BigInt},
                                                    {"Stamp", SqlType::DateTime},
                                                    {"Flag", SqlType::Bit}},
                                                   {{"Patients", "1200", "2024-01-31 13:45:00.000", "1"},
                                                    {"Visits", std::nullopt, std::nullopt, "0"}}})));
    Grid &grid = *w.form().Grid2;
    ASSERT_EQ(s->OpenQuery(0, "SIZES", false), "");
    bindGrid(grid, s->rs());
    EXPECT_EQ(grid.rows(), 2);
    EXPECT_EQ(grid.cols(), 4);
    EXPECT_EQ(grid.textMatrix(0, 0), "Patients");
    EXPECT_EQ(grid.textMatrix(0, 1), "1200");
    EXPECT_EQ(grid.textMatrix(0, 2), "2024-01-31 13:45:00");
    EXPECT_EQ(grid.textMatrix(0, 3), "True");
    EXPECT_EQ(grid.textMatrix(1, 1), "");
    EXPECT_EQ(grid.textMatrix(1, 3), "False");
    EXPECT_TRUE(s->rs().eof());

    // A failed query leaves the recordset closed; binding fails and the grid keeps its rows.
    s->OpenQuery(0, "SELECT * FROM nope", true);
    EXPECT_THROW(bindGrid(grid, s->rs()), DbError);
    EXPECT_EQ(grid.rows(), 2);
}

TEST_F(Sessions, AFailureAfterTheFirstResultFailsOpenQueryAndTheGridKeepsItsRows) {
    Grid &grid = *w.form().Grid2;
    const ResultSet before{{{"name", SqlType::NVarChar, 128}}, {{"Billing"}, {"Patients"}}};
    main->addRule(Rule::exact("TABLES", Reply::rows(before)));
    ASSERT_EQ(s->OpenQuery(0, "TABLES", false), "");
    bindGrid(grid, s->rs());
    ASSERT_EQ(grid.rows(), 2);
    // One block of rows, and many streamed blocks, ahead of the failing statement.
    for (int rows : {1, 2000}) {
        const QString sql = QStringLiteral("SELECT name FROM t%1; SELECT * FROM nope").arg(rows);
        ResultSet first{{{"name", SqlType::NVarChar, 128}}, {}};
        for (int i = 0; i < rows; ++i)
            first.rows.push_back({"t" + std::to_string(i)});
        Reply reply = Reply::rows(first);
        reply.then(Message{208, 16, 1, "Invalid object name 'nope'."});
        main->addRule(Rule::exact(sql.toStdString(), reply));
        clearLog();
        const QString text = "[FreeTDS][SQL Server]Invalid object name 'nope'. " + sql;
        EXPECT_EQ(s->OpenQuery(0, sql, false), text);
        EXPECT_EQ(log(), QStringList{text});
        EXPECT_FALSE(s->rs().isOpen());
        EXPECT_THROW(bindGrid(grid, s->rs()), DbError);
        EXPECT_EQ(grid.rows(), 2);
        EXPECT_EQ(grid.textMatrix(1, 0), "Patients");
    }
}

TEST(StatementProgressText, LabelsAndFigures) {
    const struct {
        const char *sql;
        bool followed;
        const char *label;
    } statements[] = {
        {"BACKUP DATABASE Billing TO DISK = 'p:\\x.BAK'   WITH FORMAT", true, "BACKUP DATABASE Billing"},
        {"BACKUP Log  Billing TO DISK = 'p:\\x_log.BAK'", true, "BACKUP Log Billing"},
        {" RESTORE DATABASE [My ]]Db] FROM DISK = N'x'", true, "RESTORE DATABASE [My ]]Db]"},
        {"restore log D with norecovery", true, "restore log D"},
        {"ALTER DATABASE D SET PARTNER OFF", false, "ALTER DATABASE D"},
        {"SELECT 'BACKUP'", false, "SELECT 'BACKUP'"},
    };
    for (const auto &st : statements) {
        SCOPED_TRACE(st.sql);
        EXPECT_EQ(isLongStatement(st.sql), st.followed);
        EXPECT_EQ(longStatementLabel(st.sql), st.label);
    }
    const struct {
        double percent;
        qint64 msLeft, msElapsed;
        const char *text;
    } figures[] = {
        {37.6, 125'000, 0, "L: 37 % \u2014 about 2 min left"},
        {99.9, 400, 0, "L: 99 % \u2014 about 1 s left"},
        {50, 59'000, 0, "L: 50 % \u2014 about 59 s left"},
        {0, 0, 192'000, "L: 3:12 elapsed"},
        {-1, 0, 3'723'000, "L: 1:02:03 elapsed"},
    };
    for (const auto &f : figures)
        EXPECT_EQ(progressText("L", f.percent, f.msLeft, f.msElapsed), QString::fromUtf8(f.text));
}

// A long backup: the status bar and the title follow the server's figures, read on a monitor connection
// that is gone when the backup ends; a server that refuses the read shows the elapsed time, and nothing
// of it counts as a failure. The statement is sent as it stands.
TEST_F(Sessions, ALongBackupShowsTheServersFiguresOrTheElapsedTime) {
    const std::string backup = "BACKUP DATABASE Big TO DISK = 'p:\\Big.BAK'   WITH FORMAT";
    main->addRule(Rule::exact(backup, Reply::done().after(4500ms)));
    auto reads = std::make_shared<std::atomic<int>>(0);
    auto refuse = std::make_shared<std::atomic<bool>>(false);
    main->addRule(Rule::callback(
        [reads, refuse](const std::string &, const tds::ConnectionState &) -> std::optional<Reply> {
            if (*refuse)
                return Reply::error(300, "VIEW SERVER STATE permission was denied on object 'server', "
                                         "database 'master'.");
            const int n = ++*reads;
            return Reply::rows(ResultSet{{tds::makeColumn("percent_complete", "real"),
                                          tds::makeColumn("estimated_completion_time", "bigint")},
                                         {{std::to_string(20 * n), std::to_string(120'000 / n)}}});
        },
        "SELECT r\\.percent_complete, .*"));
    QMainWindow &window = w.window();
    const QString title = window.windowTitle();
    QStringList shown, titles;
    QObject::connect(window.statusBar(), &QStatusBar::messageChanged, &window,
                     [&](const QString &m) { shown << m; });
    QObject::connect(&window, &QWidget::windowTitleChanged, &window, [&](const QString &t) { titles << t; });
    const int failures = s->failures();

    s->ExecuteOnServer(0, QString::fromStdString(backup));
    EXPECT_EQ(log().first(), "Done");
    ASSERT_GE(shown.size(), 3) << shown.join('\n').toStdString();
    EXPECT_EQ(shown.first(), "BACKUP DATABASE Big: 0:00 elapsed");
    EXPECT_EQ(shown.last(), "");
    const QStringList figures = shown.filter(" % ");
    ASSERT_FALSE(figures.isEmpty()) << shown.join('\n').toStdString();
    EXPECT_EQ(figures.first(), QString::fromUtf8("BACKUP DATABASE Big: 20 % \u2014 about 2 min left"));
    if (figures.size() > 1)
        EXPECT_EQ(figures[1], QString::fromUtf8("BACKUP DATABASE Big: 40 % \u2014 about 1 min left"));
    EXPECT_TRUE(titles.contains("20 % " + title)) << titles.join('\n').toStdString();
    EXPECT_EQ(window.windowTitle(), title);
    EXPECT_EQ(main->openConnectionsSettled(1), 1); // the session's own; the monitor's is closed

    shown.clear();
    *refuse = true;
    s->ExecuteOnServer(0, QString::fromStdString(backup));
    EXPECT_EQ(log().first(), "Done");
    EXPECT_TRUE(shown.filter(" % ").isEmpty()) << shown.join('\n').toStdString();
    // A busy machine may skip a tick: some count past the first seconds is enough.
    EXPECT_FALSE(shown.filter(QRegularExpression("^BACKUP DATABASE Big: 0:0[2-4] elapsed$")).isEmpty())
        << shown.join('\n').toStdString();
    EXPECT_EQ(s->failures(), failures);
    EXPECT_EQ(main->openConnectionsSettled(1), 1);
    const auto batches = main->batches();
    EXPECT_EQ(std::count(batches.begin(), batches.end(), backup), 2);
}

// Another client with this process's id, on another workstation, runs a BACKUP at the same time (the test
// is that client: its own process id, and WSID naming another machine). The status bar shows this
// session's figures only. The scripted server answers the monitor's read as the server would: the requests
// of the sessions whose workstation name, process id and program name, as their drivers sent them at login,
// are those of the reading session, the reading session left out.
TEST_F(Sessions, TheProgressShownIsThisSessionsNotThatOfAnotherClientWithItsProcessId) {
    struct Request {
        tds::ConnectionState session;
        int percent;
    };
    auto mutex = std::make_shared<std::mutex>();
    auto running = std::make_shared<std::vector<Request>>();
    main->addRule(Rule::callback(
        [mutex, running](const std::string &sql, const tds::ConnectionState &state) -> std::optional<Reply> {
            const bool other = sql.find("Other") != std::string::npos;
            std::lock_guard lock(*mutex);
            running->push_back({state, other ? 70 : 20});
            return Reply::done().after(other ? 7000ms : 4500ms);
        },
        "BACKUP DATABASE .*"));
    Rule monitor = Rule::exact(
        "SELECT r.percent_complete, r.estimated_completion_time FROM sys.dm_exec_requests r JOIN "
        "sys.dm_exec_sessions s ON s.session_id = r.session_id JOIN sys.dm_exec_sessions me ON me.session_id "
        "= "
        "@@SPID WHERE s.host_name = me.host_name AND s.host_process_id = me.host_process_id AND "
        "s.program_name "
        "= me.program_name AND r.session_id <> @@SPID AND (r.command LIKE 'BACKUP%' OR r.command LIKE "
        "'RESTORE%')",
        Reply::done());
    monitor.compute = [mutex, running](const std::string &, const tds::ConnectionState &me) {
        ResultSet found{{tds::makeColumn("percent_complete", "real"),
                         tds::makeColumn("estimated_completion_time", "bigint")},
                        {}};
        std::lock_guard lock(*mutex);
        for (const Request &r : *running)
            if (r.session.hostName == me.hostName && r.session.clientPid == me.clientPid &&
                r.session.appName == me.appName && r.session.connection != me.connection)
                found.rows.push_back({std::to_string(r.percent), "120000"});
        return std::optional<Reply>(Reply::rows(found));
    };
    main->addRule(monitor);

    std::thread otherClient([port = main->port()] {
        tds::testing::OdbcClient client;
        if (SQL_SUCCEEDED(client.connect(tds::testing::connectionString("127.0.0.2", port, "sa", "pwMain") +
                                         ";WSID=WARD-7")))
            client.exec("BACKUP DATABASE Other TO DISK = 'p:\\Other.BAK'");
    });
    const auto otherRuns = [&] {
        std::lock_guard lock(*mutex);
        return !running->empty();
    };
    QTRY_VERIFY_WITH_TIMEOUT(otherRuns(), 10000);

    QStringList shown;
    QObject::connect(w.window().statusBar(), &QStatusBar::messageChanged, &w.window(),
                     [&](const QString &m) { shown << m; });
    s->ExecuteOnServer(0, "BACKUP DATABASE Big TO DISK = 'p:\\Big.BAK'");
    otherClient.join();

    // The premise, as the driver sent it: one process id, two workstation names.
    const auto logins = main->logins();
    const auto other = std::find_if(logins.begin(), logins.end(),
                                    [](const tds::Event &e) { return e.hostName == "WARD-7"; });
    ASSERT_NE(other, logins.end());
    const auto session = std::find_if(logins.begin(), logins.end(),
                                      [](const tds::Event &e) { return e.hostName != "WARD-7"; });
    ASSERT_NE(session, logins.end());
    EXPECT_FALSE(session->hostName.empty());
    EXPECT_EQ(session->clientPid, other->clientPid);
    EXPECT_EQ(session->clientPid, static_cast<std::uint32_t>(QCoreApplication::applicationPid()));

    const QStringList figures = shown.filter(" % ");
    ASSERT_FALSE(figures.isEmpty()) << shown.join('\n').toStdString();
    for (const QString &f : figures)
        EXPECT_EQ(f, QString::fromUtf8("BACKUP DATABASE Big: 20 % \u2014 about 2 min left"));
}
