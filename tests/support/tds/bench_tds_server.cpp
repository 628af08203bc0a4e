// How fast the scripted server answers one ODBC client: single-row INSERT batches per second, and the
// time to fetch a 100,000-row result.

#include "tds/OdbcClient.h"
#include "tds/ScriptedServer.h"

#include <chrono>
#include <cstdio>

using namespace quorix::tds;
using namespace quorix::tds::testing;
using Clock = std::chrono::steady_clock;

namespace {

double seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

} // namespace

int main() {
    ScriptedServer server;
    server.addRule(Rule::exact("SELECT 1", Reply::rows({{makeColumn("x", "int")}, {{"1"}}})));
    server.addRule(Rule::pattern("INSERT INTO bench VALUES \\(\\d+, N'[^']*'\\)", Reply::count(1)));
    ResultSet big{{makeColumn("id", "int"), makeColumn("name", "nvarchar(50)")}, {}};
    for (int i = 0; i < 100000; ++i)
        big.rows.push_back({std::to_string(i), "name of row " + std::to_string(i)});
    server.addRule(Rule::exact("SELECT id, name FROM big", Reply::rows(std::move(big))));
    server.start("127.0.0.1", 0);

    OdbcClient c;
    if (!SQL_SUCCEEDED(c.connect(connectionString("127.0.0.1", server.port())))) {
        std::fprintf(stderr, "connect failed: %s", toString(c.connectionDiags()).c_str());
        return 1;
    }

    // Batches: prepared wide strings, so the figure is the round trip, not the client's formatting.
    int batches = 0;
    const auto start = Clock::now();
    while (Clock::now() - start < std::chrono::seconds(3)) {
        for (int k = 0; k < 100; ++k, ++batches) {
            const std::vector<SQLWCHAR> sql = wide("INSERT INTO bench VALUES (" + std::to_string(batches) +
                                                   ", N'row " + std::to_string(batches) + "')");
            if (SQLExecDirectW(c.stmt(), const_cast<SQLWCHAR *>(sql.data()), SQL_NTS) != SQL_SUCCESS) {
                std::fprintf(stderr, "insert failed: %s", toString(c.diags()).c_str());
                return 1;
            }
        }
    }
    const double insertSeconds = seconds(Clock::now() - start);
    std::printf("single-row INSERT batches: %d in %.2f s = %.0f batches/s (target >= 10000)\n", batches,
                insertSeconds, batches / insertSeconds);

    for (int round = 0; round < 3; ++round) {
        const auto t0 = Clock::now();
        if (c.exec("SELECT id, name FROM big") != SQL_SUCCESS)
            return 1;
        SQLINTEGER id = 0;
        SQLWCHAR name[64];
        SQLLEN idLen = 0, nameLen = 0;
        SQLBindCol(c.stmt(), 1, SQL_C_SLONG, &id, 0, &idLen);
        SQLBindCol(c.stmt(), 2, SQL_C_WCHAR, name, sizeof name, &nameLen);
        long rows = 0;
        long long sum = 0;
        while (SQL_SUCCEEDED(SQLFetch(c.stmt()))) {
            ++rows;
            sum += id;
        }
        SQLFreeStmt(c.stmt(), SQL_UNBIND);
        const double fetchSeconds = seconds(Clock::now() - t0);
        if (rows != 100000 || sum != 4999950000LL) {
            std::fprintf(stderr, "fetched %ld rows, id sum %lld\n", rows, sum);
            return 1;
        }
        std::printf("100,000-row result (int, nvarchar(50)), bound columns, run %d: %.3f s (target < 1 s)\n",
                    round + 1, fetchSeconds);
    }
    return 0;
}
