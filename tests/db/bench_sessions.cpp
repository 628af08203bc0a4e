// Figures for the session layer; prints them, asserts nothing (not a ctest test).
//   1. 5,000 single-row INSERTs through the session layer and through a bare ODBC loop, and their ratio:
//      median and spread of ten rounds.
//   2. 10,000, 100,000 and 1,000,000 LogLine calls into the real log pane, and the memory they take.
//   3. The longest stall of the window's event loop while a 5-second statement runs.
// Usage: bench_sessions [--inserts] [--log] [--free]
//   --inserts  figure 1 only
//   --log      figure 2 only
//   --free     figure 1 with the threads and the server wherever the scheduler puts them
//
// For figure 1 the scripted server runs as a process of its own (tds-scripted-server), and both loops use
// the connection string and statement settings of the session layer. By default the benchmark's threads and
// the server share one processor. Left to the scheduler, whether the client and the server of a loop land on
// one processor or on two is luck, and a wake-up that has to reach another processor (from its idle state,
// on a virtual machine) can cost several times a whole statement here, so unpinned figures do not repeat.
// On one processor the hop to the worker thread is never hidden by parallel work: the ratio is its full
// price.

#include "BenchSupport.h"
#include "core/db/ConnectionString.h"
#include "core/db/ServerSessions.h"
#include "core/db/odbc/OdbcConnection.h"
#include "gui/ui/Form.h"
#include "gui/ui/LogPanes.h"
#include "gui/ui/WindowHost.h"
#include "gui/ui/widgets/LogPane.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMainWindow>
#include <QPlainTextEdit>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <pthread.h>
#include <sched.h>

using namespace quorix;

namespace {

constexpr int kInserts = 5000;
// Rounds of kInserts statements on each side. Within a round the two loops take turns every kChunk
// statements, and which one goes first alternates, so a change of load on the machine falls on both alike.
constexpr int kRounds = 10;
constexpr int kChunk = 250;

QString insertText(int i) {
    return QStringLiteral("INSERT INTO bench (id, name) VALUES (%1, N'row %1')").arg(i);
}

// tds-scripted-server with the benchmark's rules, on 127.0.0.2 and a free port; stopped at destruction.
class ServerProcess {
public:
    ServerProcess() {
        const QString rules = m_dir.filePath(QStringLiteral("rules.txt"));
        QFile file(rules);
        if (!file.open(QIODevice::WriteOnly))
            fail("cannot write " + rules);
        file.write("login sa pw\n"
                   "pattern INSERT INTO bench .*\n"
                   "  count 1\n"
                   "exact WAITFOR DELAY '00:00:05'\n"
                   "  delay 5000\n");
        file.close();
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(QStringLiteral(TDS_SERVER_EXE),
                        {"--address", "127.0.0.2", "--port", "0", "--rules", rules});
        while (!m_process.canReadLine())
            if (!m_process.waitForReadyRead(10000))
                fail("tds-scripted-server did not start");
        const QByteArray line = m_process.readLine().trimmed();
        if (!line.startsWith("port "))
            fail("tds-scripted-server said: " + QString::fromUtf8(line));
        m_port = line.mid(5).toInt();
    }
    ~ServerProcess() {
        m_process.terminate();
        m_process.waitForFinished(5000);
    }
    // What the window's server box would hold.
    QString box() const { return QStringLiteral("127.0.0.2,%1").arg(m_port); }

private:
    [[noreturn]] static void fail(const QString &why) {
        std::fprintf(stderr, "%s\n", qPrintable(why));
        std::exit(1);
    }
    QTemporaryDir m_dir;
    QProcess m_process;
    int m_port = 0;
};

// The ODBC connection string ServerConnection::open builds for the same session string.
QString sessionOdbcString(const QString &session) {
    const OdbcDriver driver =
        chooseDriver(odbc::installedDrivers(), qEnvironmentVariable("QUORIX_ODBC_DRIVER"));
    return toOdbcConnectionString(parseOleDbConnectionString(session), driver);
}

// The same driver calls as odbc::Connection::execute, with its settings, without the worker thread.
struct BareOdbc {
    SQLHDBC dbc = SQL_NULL_HDBC;
    SQLHSTMT stmt = SQL_NULL_HSTMT;

    explicit BareOdbc(const QString &odbcString) {
        SQLAllocHandle(SQL_HANDLE_DBC, odbc::environment(), &dbc);
        SQLSetConnectAttrW(
            dbc, SQL_ATTR_LOGIN_TIMEOUT,
            reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(ServerConnection::kLoginTimeoutSeconds)), 0);
        if (!SQL_SUCCEEDED(SQLDriverConnectW(dbc, nullptr, odbc::wide(odbcString),
                                             static_cast<SQLSMALLINT>(odbcString.size()), nullptr, 0, nullptr,
                                             SQL_DRIVER_NOPROMPT))) {
            std::fprintf(stderr, "bare ODBC connection failed\n");
            std::exit(1);
        }
        SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt);
        SQLSetStmtAttrW(stmt, SQL_ATTR_NOSCAN, reinterpret_cast<SQLPOINTER>(SQL_NOSCAN_ON), 0);
        SQLSetStmtAttrW(stmt, SQL_ATTR_QUERY_TIMEOUT,
                        reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(ServerSessions::kExecuteTimeout)),
                        0);
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

double timed(int from, int count, const std::function<void(int)> &run) {
    QElapsedTimer t;
    t.start();
    for (int i = from; i < from + count; ++i)
        run(i);
    return t.nsecsElapsed() / 1e6;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// "median M (min A .. max B, spread S %)", the spread being (max - min) / median.
void printFigure(const char *what, const std::vector<double> &v, const char *unit) {
    const double m = median(v);
    const auto [lo, hi] = std::minmax_element(v.begin(), v.end());
    std::printf("  %-22s median %8.3f %s (min %.3f .. max %.3f, spread %.0f %%)\n", what, m, unit, *lo, *hi,
                100 * (*hi - *lo) / m);
}

// Pins the calling thread, and the threads and processes it starts from now on, to one processor.
void pinToOneProcessor() {
    cpu_set_t set;
    CPU_ZERO(&set);
    pthread_getaffinity_np(pthread_self(), sizeof set, &set);
    int first = 0;
    while (first < CPU_SETSIZE - 1 && !CPU_ISSET(first, &set))
        ++first;
    CPU_ZERO(&set);
    CPU_SET(first, &set);
    pthread_setaffinity_np(pthread_self(), sizeof set, &set);
}

void insertFigures(const QString &serverBox) {
    const QString session = sessionConnectionString(serverBox, QStringLiteral("pw"));
    ServerConnection conn;
    conn.open(bench::clearTarget(session));
    conn.setCommandTimeout(ServerSessions::kExecuteTimeout);
    BareOdbc bare(sessionOdbcString(session));
    const auto runBare = [&](int from, int count) {
        return timed(from, count, [&](int i) { bare.run(insertText(i)); });
    };
    const auto runSessions = [&](int from, int count) {
        return timed(from, count, [&](int i) { conn.execute(insertText(i)); });
    };
    // Warm-up: the driver's buffers, the server's threads, the processor's caches.
    runBare(0, 500);
    runSessions(0, 500);
    std::vector<double> bareMs, sessionMs, ratios;
    for (int round = 0; round < kRounds; ++round) {
        double b = 0, s = 0;
        for (int from = 0; from < kInserts; from += kChunk) {
            if ((from / kChunk + round) % 2 == 0) {
                b += runBare(from, kChunk);
                s += runSessions(from, kChunk);
            } else {
                s += runSessions(from, kChunk);
                b += runBare(from, kChunk);
            }
        }
        bareMs.push_back(b);
        sessionMs.push_back(s);
        ratios.push_back(s / b);
    }
    std::printf("inserts: %d per round and side, %d rounds taking turns every %d\n", kInserts, kRounds,
                kChunk);
    printFigure("bare ODBC", bareMs, "ms");
    printFigure("through the sessions", sessionMs, "ms");
    printFigure("ratio sessions/bare", ratios, "  ");
    std::printf("  ratio of medians %.3f (target <= 1.25)\n", median(sessionMs) / median(bareMs));
}

double logLines(const LogPanes &sessions, LogPane *pane, int count) {
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
    const QStringList args = app.arguments();
    cpu_set_t allowed;
    pthread_getaffinity_np(pthread_self(), sizeof allowed, &allowed);
    if (!args.contains(QStringLiteral("--free")))
        pinToOneProcessor();
    const bool logOnly = args.contains(QStringLiteral("--log"));
    const ServerProcess server;
    if (!logOnly)
        insertFigures(server.box());
    pthread_setaffinity_np(pthread_self(), sizeof allowed, &allowed);
    if (args.contains(QStringLiteral("--inserts")))
        return 0;

    QMainWindow window;
    auto *log = new LogPane;
    window.setCentralWidget(log);
    window.resize(900, 600);
    window.show();
    Form form;
    form.frmMain = &window;
    form.txtLog = log;
    const LogPanes panes(log, nullptr);
    WindowHost host(form);
    ServerSessions sessions(host, panes);
    // Each figure in a pane started anew; the memory is what the pane holds at the end of the largest.
    const double mbBefore = bench::resident().now;
    bench::resetPeak();
    const double small = logLines(panes, log, 10000);
    const double medium = logLines(panes, log, 100000);
    const double large = logLines(panes, log, 1000000);
    const bench::Resident after = bench::resident();
    std::printf(
        "LogLine: 10,000 lines %.0f ms, 100,000 lines %.0f ms (%.1f x), 1,000,000 lines %.0f ms (%.1f x); "
        "targets 1,000,000 < 10000 ms, < 11 x per tenfold\n",
        small, medium, medium / small, large, large / medium);
    std::printf("LogLine: the pane with 1,000,000 lines: resident %.0f MB more than before, peak %.0f MB "
                "(%d lines in the document, %lld archived)\n",
                after.now - mbBefore, after.peak, log->document()->blockCount() - 1,
                static_cast<long long>(log->archivedLines()));
    if (logOnly)
        return 0;

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
    QLineEdit serverEdit(server.box()), password(QStringLiteral("pw"));
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
