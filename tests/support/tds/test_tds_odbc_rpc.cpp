// Parameters, prepared statements, procedures, transactions and cancels through the real ODBC driver.

#include "tds/OdbcClient.h"
#include "tds/ScriptedServer.h"
#include "tds/TableModel.h"

#include <gtest/gtest.h>

#include <cstring>
#include <thread>

using namespace quorix::tds;
using namespace quorix::tds::testing;

namespace {

class TdsRpc : public ::testing::Test {
protected:
    void SetUp() override {
        server.start("127.0.0.1", 0);
        ASSERT_TRUE(SQL_SUCCEEDED(c.connect(connectionString("127.0.0.1", server.port()))))
            << toString(c.connectionDiags());
    }
    ScriptedServer server;
    OdbcClient c;
};

// Storage for bound parameters that outlives the SQLExecute call.
struct Bound {
    SQLINTEGER i = 2147483647;
    SQLBIGINT big = -9000000000LL;
    SQLSMALLINT small = -32768;
    SQLCHAR tiny = 255;
    SQLCHAR bit = 1;
    SQLDOUBLE dbl = 0.1;
    SQLREAL real = 1.5f;
    SQL_TIMESTAMP_STRUCT ts{2024, 2, 29, 23, 59, 58, 123456700};
    SQL_DATE_STRUCT date{1999, 12, 31};
    SQL_TIME_STRUCT time{13, 14, 15};
    char dec[16] = "-12345.67";
    char num[16] = "0.5";
    char text[16] = "caf\xC3\xA9";
    std::vector<SQLWCHAR> wtext = wide("\xF0\x9F\x98\x80 \xE6\xBC\xA2");
    unsigned char bin[3] = {0x00, 0xAB, 0xFF};
    std::string longText = std::string(9000, 'x');
    std::vector<SQLWCHAR> longWide = wide(std::string(5000, 'y') + "\xC3\xA9");
    std::string longBin = std::string(10000, '\x5A');
    SQLINTEGER nullInt = 0;
    SQLLEN nts = SQL_NTS, nullData = SQL_NULL_DATA, binLen = 3, longBinLen = 10000;
    SQLLEN zero = 0;
};

void bindAll(SQLHSTMT s, Bound &b) {
    SQLUSMALLINT n = 0;
    const auto bind = [&](SQLSMALLINT cType, SQLSMALLINT sqlType, SQLULEN size, SQLSMALLINT digits,
                          void *value, SQLLEN length, SQLLEN *indicator) {
        ASSERT_TRUE(SQL_SUCCEEDED(SQLBindParameter(s, ++n, SQL_PARAM_INPUT, cType, sqlType, size, digits,
                                                   value, length, indicator)));
    };
    bind(SQL_C_SLONG, SQL_INTEGER, 0, 0, &b.i, 0, &b.zero);
    bind(SQL_C_SBIGINT, SQL_BIGINT, 0, 0, &b.big, 0, &b.zero);
    bind(SQL_C_SSHORT, SQL_SMALLINT, 0, 0, &b.small, 0, &b.zero);
    bind(SQL_C_UTINYINT, SQL_TINYINT, 0, 0, &b.tiny, 0, &b.zero);
    bind(SQL_C_BIT, SQL_BIT, 0, 0, &b.bit, 0, &b.zero);
    bind(SQL_C_DOUBLE, SQL_DOUBLE, 0, 0, &b.dbl, 0, &b.zero);
    bind(SQL_C_FLOAT, SQL_REAL, 0, 0, &b.real, 0, &b.zero);
    bind(SQL_C_CHAR, SQL_DECIMAL, 10, 2, b.dec, 16, &b.nts);
    bind(SQL_C_CHAR, SQL_NUMERIC, 5, 3, b.num, 16, &b.nts);
    bind(SQL_C_TYPE_TIMESTAMP, SQL_TYPE_TIMESTAMP, 27, 7, &b.ts, 0, &b.zero);
    bind(SQL_C_TYPE_DATE, SQL_TYPE_DATE, 10, 0, &b.date, 0, &b.zero);
    bind(SQL_C_TYPE_TIME, SQL_TYPE_TIME, 8, 0, &b.time, 0, &b.zero);
    bind(SQL_C_CHAR, SQL_VARCHAR, 10, 0, b.text, 16, &b.nts);
    bind(SQL_C_WCHAR, SQL_WVARCHAR, 10, 0, b.wtext.data(), 0, &b.nts);
    bind(SQL_C_BINARY, SQL_VARBINARY, 10, 0, b.bin, 3, &b.binLen);
    bind(SQL_C_CHAR, SQL_LONGVARCHAR, b.longText.size(), 0, b.longText.data(), 0, &b.nts);
    bind(SQL_C_WCHAR, SQL_WLONGVARCHAR, 5001, 0, b.longWide.data(), 0, &b.nts);
    bind(SQL_C_BINARY, SQL_LONGVARBINARY, 10000, 0, b.longBin.data(), 10000, &b.longBinLen);
    bind(SQL_C_SLONG, SQL_INTEGER, 0, 0, &b.nullInt, 0, &b.nullData);
    bind(SQL_C_WCHAR, SQL_WVARCHAR, 10, 0, b.wtext.data(), 0, &b.nullData);
}

void expectAllValues(const std::vector<Param> &p, const Bound &b) {
    ASSERT_EQ(p.size(), 20u);
    const auto expect = [&](std::size_t i, SqlType type, const Value &value) {
        EXPECT_EQ(p[i].type, type) << "parameter " << i + 1 << " is " << typeName(p[i].type);
        EXPECT_EQ(p[i].value, value) << "parameter " << i + 1;
    };
    expect(0, SqlType::Int, "2147483647");
    expect(1, SqlType::BigInt, "-9000000000");
    expect(2, SqlType::SmallInt, "-32768");
    expect(3, SqlType::TinyInt, "255");
    expect(4, SqlType::Bit, "1");
    expect(5, SqlType::Float, "0.1");
    expect(6, SqlType::Real, "1.5");
    expect(7, SqlType::Decimal, "-12345.67");
    EXPECT_EQ(p[7].scale, 2);
    expect(8, SqlType::Numeric, "0.500");
    expect(9, SqlType::DateTime2, "2024-02-29 23:59:58.1234567");
    expect(10, SqlType::Date, "1999-12-31");
    EXPECT_EQ(p[11].type, SqlType::Time);
    EXPECT_EQ(p[11].value->substr(0, 8), "13:14:15");
    expect(12, SqlType::VarChar, "caf\xC3\xA9");
    expect(13, SqlType::NVarChar, "\xF0\x9F\x98\x80 \xE6\xBC\xA2");
    expect(14, SqlType::VarBinary, "0x00ABFF");
    expect(15, SqlType::VarCharMax, b.longText);
    expect(16, SqlType::NVarCharMax, std::string(5000, 'y') + "\xC3\xA9");
    std::string hex = "0x";
    for (int i = 0; i < 10000; ++i)
        hex += "5A";
    expect(17, SqlType::VarBinaryMax, hex);
    expect(18, SqlType::Int, std::nullopt);
    expect(19, SqlType::NVarChar, std::nullopt);
}

std::string placeholders(int n) {
    std::string s = "INSERT INTO t VALUES (";
    for (int i = 0; i < n; ++i)
        s += i ? ",?" : "?";
    return s + ")";
}

TEST_F(TdsRpc, EveryParameterTypeArrivesInTheRecord) {
    server.addRule(Rule::pattern("INSERT INTO t VALUES .*", Reply::count(1)));
    Bound b;
    bindAll(c.stmt(), b);
    ASSERT_EQ(c.exec(placeholders(20)), SQL_SUCCESS) << toString(c.diags());
    EXPECT_EQ(c.rowCount(), 1);
    const std::vector<Event> rpcs = server.rpcs();
    ASSERT_EQ(rpcs.size(), 1u);
    EXPECT_EQ(rpcs[0].procedure, "sp_executesql");
    EXPECT_EQ(rpcs[0].text.substr(0, 35), "INSERT INTO t VALUES (@P1,@P2,@P3,@");
    EXPECT_EQ(rpcs[0].declarations.substr(0, 24), "@P1 INT,@P2 BIGINT,@P3 S");
    expectAllValues(rpcs[0].params, b);
    EXPECT_TRUE(server.batches().empty());
    EXPECT_EQ(server.statements(), std::vector<std::string>{rpcs[0].text});
}

TEST_F(TdsRpc, PreparedStatementsExecuteByHandle) {
    server.addRule(Rule::pattern("SELECT name FROM t WHERE id = .*",
                                 Reply::rows({{makeColumn("name", "nvarchar(30)")}, {{"first"}}})));
    ASSERT_TRUE(SQL_SUCCEEDED(c.prepare("SELECT name FROM t WHERE id = ?")));
    SQLINTEGER id = 1;
    SQLLEN zero = 0;
    SQLBindParameter(c.stmt(), 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &id, 0, &zero);
    EXPECT_EQ(c.columns(), 1); // sp_prepare answers with the rule's metadata
    EXPECT_EQ(c.columnName(1), "name");
    for (id = 1; id <= 3; ++id) {
        ASSERT_EQ(c.execute(), SQL_SUCCESS) << toString(c.diags());
        EXPECT_EQ(c.fetchAll(), std::vector<TextRow>{{"first"}});
        SQLFreeStmt(c.stmt(), SQL_CLOSE);
    }
    SQLFreeStmt(c.stmt(), SQL_RESET_PARAMS);
    ASSERT_TRUE(SQL_SUCCEEDED(c.prepare("SELECT 2")));
    const std::vector<Event> rpcs = server.rpcs();
    std::vector<std::string> procedures;
    for (const Event &e : rpcs) {
        procedures.push_back(e.procedure);
        EXPECT_EQ(e.text, "SELECT name FROM t WHERE id = @P1");
    }
    EXPECT_EQ(procedures, (std::vector<std::string>{"sp_prepare", "sp_execute", "sp_execute", "sp_execute",
                                                    "sp_unprepare"}));
    ASSERT_FALSE(rpcs.empty());
    const int handle = rpcs[0].handle;
    std::vector<std::string> values;
    for (const Event &e : rpcs)
        if (e.procedure == "sp_execute" || e.procedure == "sp_prepexec") {
            EXPECT_EQ(e.handle, handle);
            ASSERT_EQ(e.params.size(), 1u);
            values.push_back(*e.params[0].value);
        }
    EXPECT_EQ(values, (std::vector<std::string>{"1", "2", "3"}));
}

TEST_F(TdsRpc, ParameterArraysArriveAsSeveralCalls) {
    server.addRule(Rule::pattern("INSERT INTO t VALUES \\(@P1\\)", Reply::count(1)));
    SQLINTEGER values[3] = {10, 20, 30};
    SQLLEN lengths[3] = {0, 0, 0};
    SQLULEN processed = 0;
    SQLSetStmtAttr(c.stmt(), SQL_ATTR_PARAMSET_SIZE, reinterpret_cast<SQLPOINTER>(3), 0);
    SQLSetStmtAttr(c.stmt(), SQL_ATTR_PARAMS_PROCESSED_PTR, &processed, 0);
    SQLBindParameter(c.stmt(), 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, values, 0, lengths);
    ASSERT_TRUE(SQL_SUCCEEDED(c.prepare("INSERT INTO t VALUES (?)")));
    ASSERT_TRUE(SQL_SUCCEEDED(c.execute())) << toString(c.diags());
    EXPECT_EQ(processed, 3u);
    std::vector<std::string> seen;
    for (const Event &e : server.rpcs())
        for (const Param &p : e.params)
            seen.push_back(e.procedure + " " + p.value.value_or("NULL"));
    EXPECT_EQ(seen, (std::vector<std::string>{"sp_execute 10", "sp_execute 20", "sp_execute 30"}));
    EXPECT_EQ(server.rpcs().at(0).procedure, "sp_prepare");
}

TEST_F(TdsRpc, ProceduresReturnOutputParameters) {
    Reply reply = Reply::rows({{makeColumn("x", "int")}, {{"5"}}});
    reply.outputs = {"1234"};
    reply.returnStatus = 7;
    server.addRule(Rule::exact("my_proc", reply));
    SQLINTEGER in = 42, out = 0, status = 0;
    SQLLEN inLen = 0, outLen = 0, statusLen = 0;
    SQLBindParameter(c.stmt(), 1, SQL_PARAM_OUTPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &status, 0, &statusLen);
    SQLBindParameter(c.stmt(), 2, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &in, 0, &inLen);
    SQLBindParameter(c.stmt(), 3, SQL_PARAM_INPUT_OUTPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &out, 0, &outLen);
    ASSERT_TRUE(SQL_SUCCEEDED(c.exec("{? = call my_proc(?, ?)}"))) << toString(c.diags());
    EXPECT_EQ(c.fetchAll(), std::vector<TextRow>{{"5"}});
    while (SQL_SUCCEEDED(c.moreResults())) {
    }
    EXPECT_EQ(out, 1234);
    EXPECT_EQ(status, 7);
    const std::vector<Event> rpcs = server.rpcs();
    ASSERT_EQ(rpcs.size(), 1u);
    EXPECT_EQ(rpcs[0].procedure, "my_proc");
    ASSERT_EQ(rpcs[0].params.size(), 2u);
    EXPECT_EQ(rpcs[0].params[0].value, "42");
    EXPECT_TRUE(rpcs[0].params[1].output);
}

TEST_F(TdsRpc, TransactionRequestsAreAnswered) {
    ASSERT_TRUE(SQL_SUCCEEDED(SQLSetConnectAttr(c.dbc(), SQL_ATTR_AUTOCOMMIT,
                                                reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0)));
    EXPECT_EQ(c.exec("UPDATE t SET x = 1"), SQL_NO_DATA);
    EXPECT_TRUE(SQL_SUCCEEDED(SQLEndTran(SQL_HANDLE_DBC, c.dbc(), SQL_COMMIT)));
    EXPECT_TRUE(SQL_SUCCEEDED(SQLEndTran(SQL_HANDLE_DBC, c.dbc(), SQL_ROLLBACK)));
    ASSERT_TRUE(SQL_SUCCEEDED(
        SQLSetConnectAttr(c.dbc(), SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON), 0)));
    EXPECT_EQ(c.exec("SELECT 1"), SQL_NO_DATA);
    std::vector<std::string> seen;
    for (const Event &e : server.events())
        if (e.kind == Event::Kind::Transaction || e.kind == Event::Kind::Batch)
            seen.push_back(e.text);
    EXPECT_EQ(seen, (std::vector<std::string>{"BEGIN", "UPDATE t SET x = 1", "COMMIT, BEGIN",
                                              "ROLLBACK, BEGIN", "ROLLBACK", "SELECT 1"}));
}

TEST_F(TdsRpc, QueryTimeoutCancelsADelayedReply) {
    server.addRule(Rule::exact("WAITFOR DELAY '00:01'", Reply::count(1).after(std::chrono::seconds(60))));
    server.addRule(Rule::exact("SELECT 1", Reply::rows({{makeColumn("x", "int")}, {{"1"}}})));
    SQLSetStmtAttr(c.stmt(), SQL_ATTR_QUERY_TIMEOUT, reinterpret_cast<SQLPOINTER>(1), 0);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(c.exec("WAITFOR DELAY '00:01'"), SQL_ERROR);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    const std::vector<Diag> d = c.diags();
    ASSERT_FALSE(d.empty());
    EXPECT_EQ(d[0].state, "HYT00") << toString(d);
    EXPECT_EQ(server.cancels(), 1);
    ASSERT_EQ(c.exec("SELECT 1"), SQL_SUCCESS) << toString(c.diags());
    EXPECT_EQ(c.fetchAll(), std::vector<TextRow>{{"1"}});
}

TEST_F(TdsRpc, CancelFromAnotherThreadAndAfterAFinishedReply) {
    server.addRule(
        Rule::exact("BACKUP slow", Reply::info("10 percent processed.").after(std::chrono::seconds(60))));
    ResultSet many{{makeColumn("n", "int")}, {}};
    for (int i = 0; i < 50000; ++i)
        many.rows.push_back({std::to_string(i)});
    server.addRule(Rule::exact("SELECT many", Reply::rows(many)));
    server.addRule(Rule::exact("SELECT 1", Reply::rows({{makeColumn("x", "int")}, {{"1"}}})));

    std::thread stopper([&] {
        // Give the driver time to start waiting for the reply: a cancel from another thread in the instant
        // between sending and reading can leave FreeTDS 1.3 waiting forever (a client-side race).
        if (server.waitForBatches(1, std::chrono::seconds(10))) {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            SQLCancel(c.stmt());
        }
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(c.exec("BACKUP slow"), SQL_ERROR);
    stopper.join();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    EXPECT_EQ(server.cancels(), 1);

    // Closing a result set that is still arriving sends an ATTENTION too.
    ASSERT_EQ(c.exec("SELECT many"), SQL_SUCCESS);
    ASSERT_TRUE(SQL_SUCCEEDED(SQLFetch(c.stmt())));
    SQLFreeStmt(c.stmt(), SQL_CLOSE);
    ASSERT_EQ(c.exec("SELECT 1"), SQL_SUCCESS) << toString(c.diags());
    EXPECT_EQ(c.fetchAll(), std::vector<TextRow>{{"1"}});
    EXPECT_EQ(server.cancels(), 2);
    EXPECT_EQ(server.batches(), (std::vector<std::string>{"BACKUP slow", "SELECT many", "SELECT 1"}));
}

} // namespace

// A datetimeoffset column takes a text parameter only through a CAST written in the statement, as a T-SQL
// engine that checks types the standard way does: a statement that leans on SQL Server's implicit
// conversion fails here too. date and datetime2 columns still convert the text by themselves.
TEST_F(TdsRpc, ADatetimeoffsetColumnRefusesAnUncastTextParameter) {
    server.tables().set("QRIX..t", {makeColumn("at", "datetimeoffset(7)"), makeColumn("day", "date"),
                                    makeColumn("n", "int")});
    std::vector<SQLWCHAR> at = wide("2021-03-04T05:06:07.1234567+05:45");
    std::vector<SQLWCHAR> day = wide("0001-01-01");
    SQLLEN nts = SQL_NTS;
    const auto insert = [&](const std::string &sql) {
        EXPECT_TRUE(SQL_SUCCEEDED(c.prepare(sql)));
        SQLBindParameter(c.stmt(), 1, SQL_PARAM_INPUT, SQL_C_WCHAR, SQL_WVARCHAR, 33, 0, at.data(), 0, &nts);
        SQLBindParameter(c.stmt(), 2, SQL_PARAM_INPUT, SQL_C_WCHAR, SQL_WVARCHAR, 10, 0, day.data(), 0, &nts);
        return c.execute();
    };
    EXPECT_EQ(insert("INSERT INTO QRIX..t (at, day) VALUES (?, ?)"), SQL_ERROR);
    EXPECT_EQ(toString(c.diags()),
              "[22018] 257 [FreeTDS][SQL Server]Implicit conversion from data type nvarchar "
              "to datetimeoffset is not allowed. Use the CONVERT function to run this query.\n");
    EXPECT_TRUE(server.tables().rows("QRIX..t").empty());

    EXPECT_TRUE(
        SQL_SUCCEEDED(insert("INSERT INTO QRIX..t (at, day) VALUES (CAST(? AS datetimeoffset(7)), ?)")))
        << toString(c.diags());
    EXPECT_EQ(server.tables().rows("QRIX..t"),
              (std::vector<Row>{{"2021-03-04 05:06:07.1234567 +05:45", "0001-01-01", std::nullopt}}));
}
