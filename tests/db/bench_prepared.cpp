// Figures for prepared executions; prints them, asserts nothing (not a ctest test).
// 100,000 executions of a 10-column INSERT through PreparedStatement against the same INSERT in a bare
// ODBC loop (SQLPrepare, SQLBindParameter once, then refill the buffers and SQLExecute), both through
// FreeTDS into the scripted server running as a process of its own. Rounds alternate between the two;
// the rates printed are the medians of the rounds. The layer runs each call on the connection's worker
// thread, so it is measured both ways: execute() per row, and executeEach() per block of 100 rows.
// Target: the layer at >= 0.9 of the bare loop.
// Usage: bench_prepared [executions per side] [rounds]

#include "BenchSupport.h"
#include "core/db/PreparedStatement.h"
#include "core/db/ServerConnection.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QUuid>
#include <cstring>
#include <sql.h>
#include <sqlext.h>

using namespace quorix;
using quorix::bench::fail;

namespace {

const char *const kInsert =
    "INSERT INTO bench (a, b, c, d, e, f, g, h, i, j) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)";

constexpr int kBlock = 100; // rows per executeEach call

std::vector<QVariant> values(int k) {
    static const QDateTime when(QDate(2024, 1, 31), QTime(13, 45));
    static const QUuid guid = QUuid::createUuid();
    return {k,
            qlonglong(k) * 1000,
            QStringLiteral("name %1").arg(k),
            QStringLiteral("code"),
            QStringLiteral("%1.2500").arg(k),
            k / 3.0,
            when.addSecs(k),
            k % 2 == 0,
            guid,
            QByteArray(8, static_cast<char>(k))};
}

// One execute() per row, or executeEach() per block of rows.
double layerRound(ServerConnection &conn, int first, int n, bool blocks) {
    PreparedStatement insert(conn, QString::fromLatin1(kInsert),
                             {"int", "bigint", "nvarchar(50)", "varchar(50)", "decimal(18,4)", "float",
                              "datetime2", "bit", "uniqueidentifier", "varbinary(16)"});
    QElapsedTimer t;
    t.start();
    if (!blocks) {
        for (int k = first; k < first + n; ++k)
            insert.execute(values(k));
        return n / (t.nsecsElapsed() / 1e9);
    }
    std::vector<std::vector<QVariant>> block;
    for (int k = first; k < first + n; ++k) {
        block.push_back(values(k));
        if (block.size() == kBlock || k + 1 == first + n) {
            for (const PreparedStatement::RowResult &r : insert.executeEach(block))
                if (const DbError *e = r.outcome.serverError())
                    fail(e->description());
            block.clear();
        }
    }
    return n / (t.nsecsElapsed() / 1e9);
}

void check(SQLSMALLINT type, SQLHANDLE handle, SQLRETURN rc, const char *what) {
    if (SQL_SUCCEEDED(rc) || rc == SQL_NO_DATA)
        return;
    SQLCHAR state[6] = {0}, text[512] = {0};
    SQLINTEGER native = 0;
    SQLSMALLINT len = 0;
    SQLGetDiagRecA(type, handle, 1, state, &native, text, sizeof text, &len);
    fail(QStringLiteral("%1: [%2] %3")
             .arg(what, reinterpret_cast<char *>(state), reinterpret_cast<char *>(text)));
}

// The same statement and values, straight through ODBC: the buffers are bound once and refilled.
struct Bare {
    SQLHENV env = SQL_NULL_HENV;
    SQLHDBC dbc = SQL_NULL_HDBC;
    SQLHSTMT stmt = SQL_NULL_HSTMT;
    SQLINTEGER a = 0;
    SQLBIGINT b = 0;
    SQLWCHAR c[64] = {};
    SQLCHAR d[64] = {};
    SQLCHAR e[48] = {};
    SQLDOUBLE f = 0;
    SQL_TIMESTAMP_STRUCT g{};
    SQLCHAR h = 0;
    SQLGUID i{};
    SQLCHAR j[16] = {};
    SQLLEN lengths[10] = {};

    explicit Bare(const QString &odbcString) {
        SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
        SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
        SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
        const QByteArray cs = odbcString.toUtf8();
        check(SQL_HANDLE_DBC, dbc,
              SQLDriverConnectA(dbc, nullptr, (SQLCHAR *)cs.constData(), SQL_NTS, nullptr, 0, nullptr,
                                SQL_DRIVER_NOPROMPT),
              "SQLDriverConnect");
        SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt);
        check(SQL_HANDLE_STMT, stmt, SQLPrepareA(stmt, (SQLCHAR *)kInsert, SQL_NTS), "SQLPrepare");
        struct P {
            SQLSMALLINT c, sql;
            SQLULEN size;
            SQLSMALLINT digits;
            SQLPOINTER data;
            SQLLEN buffer;
        };
        const P params[] = {
            {SQL_C_SLONG, SQL_INTEGER, 0, 0, &a, 0},
            {SQL_C_SBIGINT, SQL_BIGINT, 0, 0, &b, 0},
            {SQL_C_WCHAR, SQL_WVARCHAR, 50, 0, c, sizeof c},
            {SQL_C_CHAR, SQL_VARCHAR, 50, 0, d, sizeof d},
            {SQL_C_CHAR, SQL_DECIMAL, 18, 4, e, sizeof e},
            {SQL_C_DOUBLE, SQL_DOUBLE, 0, 0, &f, 0},
            {SQL_C_TYPE_TIMESTAMP, SQL_TYPE_TIMESTAMP, 27, 7, &g, 0},
            {SQL_C_BIT, SQL_BIT, 0, 0, &h, 0},
            {SQL_C_GUID, SQL_GUID, 16, 0, &i, 0},
            {SQL_C_BINARY, SQL_VARBINARY, 16, 0, j, sizeof j},
        };
        for (SQLUSMALLINT k = 0; k < 10; ++k)
            check(SQL_HANDLE_STMT, stmt,
                  SQLBindParameter(stmt, k + 1, SQL_PARAM_INPUT, params[k].c, params[k].sql, params[k].size,
                                   params[k].digits, params[k].data, params[k].buffer, &lengths[k]),
                  "SQLBindParameter");
    }
    ~Bare() {
        SQLFreeHandle(SQL_HANDLE_STMT, stmt);
        SQLDisconnect(dbc);
        SQLFreeHandle(SQL_HANDLE_DBC, dbc);
        SQLFreeHandle(SQL_HANDLE_ENV, env);
    }

    double round(int first, int n) {
        QElapsedTimer t;
        t.start();
        for (int k = first; k < first + n; ++k) {
            a = k;
            b = SQLBIGINT(k) * 1000;
            const QString name = QStringLiteral("name %1").arg(k);
            std::memcpy(c, name.utf16(), static_cast<size_t>(name.size()) * 2);
            lengths[2] = name.size() * 2;
            std::memcpy(d, "code", 4);
            lengths[3] = 4;
            lengths[4] = std::snprintf(reinterpret_cast<char *>(e), sizeof e, "%d.2500", k);
            f = k / 3.0;
            g = {2024,
                 1,
                 31,
                 static_cast<SQLUSMALLINT>(13 + k / 3600 % 10),
                 static_cast<SQLUSMALLINT>(k / 60 % 60),
                 static_cast<SQLUSMALLINT>(k % 60),
                 0};
            h = k % 2 == 0;
            i.Data1 = static_cast<SQLUINTEGER>(k);
            std::memset(j, k, 8);
            lengths[9] = 8;
            SQLLEN count = 0;
            check(SQL_HANDLE_STMT, stmt, SQLExecute(stmt), "SQLExecute");
            SQLRowCount(stmt, &count);
            while (SQLMoreResults(stmt) == SQL_SUCCESS) {
            }
        }
        return n / (t.nsecsElapsed() / 1e9);
    }
};

} // namespace

int main(int argc, char **argv) {
    const int total = argc > 1 ? std::atoi(argv[1]) : 100000;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 10;
    const int perRound = total / rounds;
    QTemporaryDir dir;
    const QString rules = dir.filePath(QStringLiteral("rules.txt"));
    QFile file(rules);
    if (!file.open(QIODevice::WriteOnly))
        fail("cannot write " + rules);
    file.write("login sa pw\npattern INSERT INTO bench .*\n  count 1\n");
    file.close();
    QProcess server;
    const QString session = bench::startServerProcess(server, rules);
    std::vector<double> layer, each, bare;
    try {
        ServerConnection conn;
        conn.open(bench::clearTarget(session));
        Bare direct(toOdbcConnectionString(parseOleDbConnectionString(session),
                                           {QStringLiteral("FreeTDS"), DriverKind::FreeTds}));
        layerRound(conn, 0, 200, false); // warm the paths up
        layerRound(conn, 0, 200, true);
        direct.round(0, 200);
        for (int r = 0; r < rounds; ++r) {
            const int first = r * perRound;
            if (r % 2 == 0) {
                layer.push_back(layerRound(conn, first, perRound, false));
                each.push_back(layerRound(conn, first, perRound, true));
                bare.push_back(direct.round(first, perRound));
            } else {
                bare.push_back(direct.round(first, perRound));
                each.push_back(layerRound(conn, first, perRound, true));
                layer.push_back(layerRound(conn, first, perRound, false));
            }
        }
    } catch (const DbError &e) {
        fail(e.description());
    }
    server.terminate();
    server.waitForFinished(5000);
    const double l = bench::median(layer), e = bench::median(each), b = bench::median(bare);
    std::printf("prepared INSERT of 10 columns, %d executions per way in %d alternating rounds (medians):\n",
                perRound * rounds, rounds);
    std::printf("  PreparedStatement::execute per row:         %.0f executions/s, ratio %.3f\n", l, l / b);
    std::printf("  PreparedStatement::executeEach, %d per call: %.0f executions/s, ratio %.3f\n", kBlock, e,
                e / b);
    std::printf("  bare ODBC loop:                             %.0f executions/s\n", b);
    std::printf("  target: ratio >= 0.9\n");
    return 0;
}
