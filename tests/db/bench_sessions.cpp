// Figures for the session layer; prints them, asserts nothing (not a ctest test).
//   1. 5,000 single-row INSERTs through the session layer and through a bare ODBC loop, and their ratio.
//   2. 10,000 and 100,000 LogLine calls into the real log pane.
//   3. The longest stall of the window's event loop while a 5-second statement runs.

#include "DbTestSupport.h"
#include "db/LogPanes.h"
#include "db/ServerSessions.h"
#include "db/odbc/OdbcConnection.h"
#include "ui/Form.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMainWindow>
#include <QPlainTextEdit>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <functional>

using namespace quorix;
using namespace quorix::testing;

namespace {

constexpr int kInserts = 5000;

QString insertText(int i) {
    return QStringLiteral("INSERT INTO bench (id, name) VALUES (%1, N'row %1')").arg(i);
}

// Each side runs kRounds rounds of kInserts statements, alternating, on connections opened once; the
// fastest round of each is compared, which keeps other load on the machine out of the ratio as far as it can.
constexpr int kRounds = 5;

double timed(const std::function<void(int)> &run) {
    QElapsedTimer t;
    t.start();
    for (int i = 0; i < kInserts; ++i)
        run(i);
    return t.nsecsElapsed() / 1e6;
}

struct BareOdbc {
    SQLHDBC dbc = SQL_NULL_HDBC;
    SQLHSTMT stmt = SQL_NULL_HSTMT;

    explicit BareOdbc(const tds::ScriptedServer &server) {
        SQLAllocHandle(SQL_HANDLE_DBC, odbc::environment(), &dbc);
        const QString cs = odbcString(server, "pw");
        SQLDriverConnectW(dbc, nullptr, odbc::wide(cs), static_cast<SQLSMALLINT>(cs.size()), nullptr, 0,
                          nullptr, SQL_DRIVER_NOPROMPT);
        SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt);
        SQLSetStmtAttrW(stmt, SQL_ATTR_NOSCAN, reinterpret_cast<SQLPOINTER>(SQL_NOSCAN_ON), 0);
    }
    ~BareOdbc() {
        SQLFreeHandle(SQL_HANDLE_STMT, stmt);
        SQLDisconnect(dbc);
        SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    }
    void run(const QString &sql) {
        SQLExecDirectW(stmt, odbc::wide(sql), static_cast<SQLINTEGER>(sql.size()));
        while (SQLMoreResults(stmt) != SQL_NO_DATA) {
        }
        SQLFreeStmt(stmt, SQL_CLOSE);
    }
};

double logLines(const LogPanes &sessions, QPlainTextEdit *pane, int count) {
    pane->clear();
    QElapsedTimer t;
    t.start();
    for (int i = 0; i < count; ++i)
        sessions.LogLine(
            QStringLiteral("BACKUP LOG Billing TO DISK = 'p:\\backup\\MIR\\Billing_log.BAK' step %1").arg(i));
    return t.nsecsElapsed() / 1e6;
}

} // namespace

int main(int argc, char **argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    auto server = startServer("127.0.0.2", "pw");
    server->addRule(tds::Rule::pattern("INSERT INTO bench .*", tds::Reply::count(1)));
    server->addRule(
        tds::Rule::exact("WAITFOR DELAY '00:00:05'", tds::Reply::done().after(std::chrono::seconds(5))));

    {
        ServerConnection conn;
        conn.open(sessionString(*server, "pw"));
        conn.setCommandTimeout(ServerSessions::kExecuteTimeout);
        BareOdbc bare(*server);
        double bestSession = 1e18, bestBare = 1e18;
        for (int round = 0; round < kRounds; ++round) {
            bestBare = std::min(bestBare, timed([&](int i) { bare.run(insertText(i)); }));
            bestSession = std::min(bestSession, timed([&](int i) { conn.execute(insertText(i)); }));
        }
        std::printf(
            "inserts: %d through the session layer %.0f ms, bare ODBC %.0f ms, ratio %.2f (target <= 1.25; "
            "fastest of %d rounds each)\n",
            kInserts, bestSession, bestBare, bestSession / bestBare, kRounds);
    }

    QMainWindow window;
    auto *log = new QPlainTextEdit;
    window.setCentralWidget(log);
    window.resize(900, 600);
    window.show();
    Form form;
    form.frmMain = &window;
    form.txtLog = log;
    const LogPanes panes(log, nullptr);
    ServerSessions sessions(form, panes);
    const double small = logLines(panes, log, 10000);
    const double large = logLines(panes, log, 100000);
    std::printf(
        "LogLine: 10,000 lines %.0f ms, 100,000 lines %.0f ms (%.1f x; targets < 2000 ms and < 12 x)\n",
        small, large, large / small);

    // A 1 ms timer measures the gaps between event-loop turns while the statement runs.
    log->clear();
    QElapsedTimer clock;
    qint64 last = 0, worst = 0;
    QTimer tick;
    tick.setInterval(1);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const qint64 now = clock.elapsed();
        worst = std::max(worst, now - last);
        last = now;
    });
    QLineEdit serverEdit(serverBox(*server)), password(QStringLiteral("pw"));
    form.txtServer[0] = &serverEdit;
    form.txtPW[0] = &password;
    sessions.OpenServerSession(0);
    clock.start();
    tick.start();
    QElapsedTimer run;
    run.start();
    sessions.ExecuteOnServer(0, QStringLiteral("WAITFOR DELAY '00:00:05'"));
    tick.stop();
    std::printf("event loop during a %.1f s statement: longest stall %lld ms (target < 100 ms)\n",
                run.elapsed() / 1000.0, static_cast<long long>(worst));
    return 0;
}
