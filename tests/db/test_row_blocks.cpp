// Rows in blocks through the real FreeTDS driver into the scripted server's table model: the block sizes
// and texts, a block of every type (NULLs included) in one execution, a refused row among many, a lost
// connection that is not tried row by row, the server's parameter limit, keyed reads and the unique keys
// of a table.

#include "DbTestSupport.h"
#include "core/db/RowBlocks.h"
#include "core/db/ServerConnection.h"
#include "core/db/TableKeys.h"
#include "tds/TableModel.h"

#include <QDate>
#include <gtest/gtest.h>

using namespace quorix;
using namespace quorix::testing;
using tds::makeColumn;
using tds::Reply;
using tds::Row;
using tds::Rule;

namespace {

class RowBlocksTest : public ::testing::Test {
protected:
    void SetUp() override {
        server = startServer("127.0.0.2", "pw");
        conn.open(clearTarget(*server, "pw"));
    }
    // Executions of statements (their releases left out).
    std::vector<tds::Event> executions() const {
        std::vector<tds::Event> out;
        for (const tds::Event &e : server->rpcs())
            if (e.procedure != "sp_unprepare")
                out.push_back(e);
        return out;
    }
    BlockStatement inserts(const QString &table, const QStringList &columns, const QStringList &types) {
        return BlockStatement(
            conn, [table, columns](int n) { return blockInsertStatement(table, columns, n); }, types);
    }

    std::unique_ptr<tds::ScriptedServer> server;
    ServerConnection conn;
};

std::vector<std::vector<QVariant>> numbered(int from, int to) {
    std::vector<std::vector<QVariant>> rows;
    for (int i = from; i <= to; ++i)
        rows.push_back({i, QStringLiteral("row %1").arg(i)});
    return rows;
}

} // namespace

TEST(RowBlockText, SizesAndStatements) {
    // The server's 2,100 parameters, three of which sp_prepexec takes for itself; at most 1,000 rows.
    const std::pair<int, int> sizes[] = {{1, 1000}, {2, 1000}, {3, 699},  {4, 524},
                                         {10, 209}, {13, 161}, {2097, 1}, {3000, 1}};
    for (const auto &[width, rows] : sizes)
        EXPECT_EQ(rowsPerBlock(width), rows) << width;
    EXPECT_EQ(valuesMarkers(2, 3), "(?, ?, ?), (?, ?, ?)");
    EXPECT_EQ(blockInsertStatement("QRIX2..[Order Lines]", {"id", "unit price"}, 1),
              "INSERT INTO QRIX2..[Order Lines] (id, [unit price]) VALUES (?, ?)");
    EXPECT_EQ(blockInsertStatement("QRIX2..T", {"a"}, 3), "INSERT INTO QRIX2..T (a) VALUES (?), (?), (?)");
}

TEST_F(RowBlocksTest, ABlockOfEveryTypeGoesAsOneExecution) {
    const std::vector<tds::Column> columns{makeColumn("i", "int"),
                                           makeColumn("b", "bigint"),
                                           makeColumn("n", "nvarchar(20)"),
                                           makeColumn("v", "varchar(10)"),
                                           makeColumn("d", "decimal(18,4)"),
                                           makeColumn("f", "float"),
                                           makeColumn("bit", "bit"),
                                           makeColumn("dt", "datetime2(7)"),
                                           makeColumn("day", "date"),
                                           makeColumn("t", "time(7)"),
                                           makeColumn("bin", "varbinary(max)"),
                                           makeColumn("g", "uniqueidentifier")};
    server->tables().set("db..typed", columns);
    const QStringList types{
        "int", "bigint",       "nvarchar(20)", "varchar(10)", "decimal(18,4)",  "float",
        "bit", "datetime2(7)", "date",         "time(7)",     "varbinary(max)", "uniqueidentifier"};
    BlockStatement insert =
        inserts("db..typed", {"i", "b", "n", "v", "d", "f", "bit", "dt", "day", "t", "bin", "g"}, types);
    const std::vector<std::vector<QVariant>> rows{
        {-2147483647 - 1, qlonglong(9223372036854775807LL), QString::fromUtf8("Zo\xC3\xAB \xF0\x9F\x98\x80"),
         "caf\xC3\xA9", "-12345678901234.5678", 0.1, true, "2024-02-29 23:59:58.1234567", QDate(1999, 12, 31),
         "13:14:15.1234567", QByteArray("\x00\xAB", 2), "6F9619FF-8B86-D011-B42D-00C04FC964FF"},
        std::vector<QVariant>(12), // every value NULL
        {0, 0, "", "", "0.0001", 1e300, false, "1600-03-01 00:00:00", QDate(9999, 12, 31), "00:00:00",
         QByteArray(), "00000000-0000-0000-0000-000000000000"},
    };
    const std::vector<PreparedStatement::RowResult> outcomes = insert.execute(rows);
    ASSERT_EQ(outcomes.size(), 3u);
    for (const PreparedStatement::RowResult &o : outcomes)
        EXPECT_TRUE(o.outcome.ok()) << o.outcome.error();
    const std::vector<Row> expected{
        {"-2147483648", "9223372036854775807", "Zo\xC3\xAB \xF0\x9F\x98\x80", "caf\xC3\xA9",
         "-12345678901234.5678", "0.1", "1", "2024-02-29 23:59:58.1234567", "1999-12-31", "13:14:15.1234567",
         "0x00AB", "6F9619FF-8B86-D011-B42D-00C04FC964FF"},
        Row(12),
        {"0", "0", "", "", "0.0001", "1e+300", "0", "1600-03-01 00:00:00.0000000", "9999-12-31",
         "00:00:00.0000000", "0x", "00000000-0000-0000-0000-000000000000"}};
    EXPECT_EQ(server->tables().rows("db..typed"), expected);
    const std::vector<tds::Event> calls = executions();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].params.size(), 36u);
    EXPECT_EQ(
        calls[0].declarations.rfind("@P1 INT,@P2 BIGINT,@P3 NVARCHAR(20),@P4 VARCHAR(10),@P5 DECIMAL", 0),
        0u);
    EXPECT_EQ(calls[0].params[12].type, tds::SqlType::Int); // the second row declared as the first
    EXPECT_EQ(calls[0].params[35].type, tds::SqlType::UniqueIdentifier);
}

TEST_F(RowBlocksTest, ARefusedRowFailsAloneAndTheRestGoIn) {
    server->tables().set("db..t", {makeColumn("id", "int"), makeColumn("name", "nvarchar(20)", false)});
    BlockStatement insert = inserts("db..t", {"id", "name"}, {"int", "nvarchar(20)"});
    std::vector<std::vector<QVariant>> rows = numbered(1, 5);
    rows[2][1] = QVariant(); // NOT NULL: the server refuses it, and with it the block
    const std::vector<PreparedStatement::RowResult> outcomes = insert.execute(rows);
    for (size_t i = 0; i < outcomes.size(); ++i) {
        ASSERT_EQ(!outcomes[i].outcome.ok(), i == 2) << i;
        if (i == 2)
            EXPECT_EQ(outcomes[i].outcome.serverError()->records().at(0).native, 515);
    }
    EXPECT_EQ(server->tables().rows("db..t"),
              (std::vector<Row>{{"1", "row 1"}, {"2", "row 2"}, {"4", "row 4"}, {"5", "row 5"}}));
    // The block, then each row by the statement of one row.
    const std::vector<tds::Event> calls = executions();
    ASSERT_EQ(calls.size(), 6u);
    EXPECT_EQ(calls[0].text,
              "INSERT INTO db..t (id, name) VALUES (@P1, @P2), (@P3, @P4), (@P5, @P6), (@P7, @P8), "
              "(@P9, @P10)");
    for (size_t i = 1; i < calls.size(); ++i)
        EXPECT_EQ(calls[i].text, "INSERT INTO db..t (id, name) VALUES (@P1, @P2)");

    // A value the driver refuses before sending (longer than declared) is found the same way.
    server->clearRecord();
    rows = numbered(6, 8);
    rows[1][1] = QString(21, QLatin1Char('x'));
    const std::vector<PreparedStatement::RowResult> again = insert.execute(rows);
    EXPECT_TRUE(again[0].outcome.ok());
    ASSERT_TRUE(again[1].outcome.serverError());
    EXPECT_EQ(again[1].outcome.serverError()->records().at(0).state, "22001");
    EXPECT_TRUE(again[2].outcome.ok());
    EXPECT_EQ(server->tables().rows("db..t").size(), 6u);
}

TEST_F(RowBlocksTest, ALostConnectionIsSharedByTheBlockWithoutRetries) {
    server->addRule(Rule::pattern("INSERT INTO db\\.\\.gone .*", Reply::drop()));
    BlockStatement insert = inserts("db..gone", {"id", "name"}, {"int", "nvarchar(20)"});
    const std::vector<PreparedStatement::RowResult> outcomes = insert.execute(numbered(1, 4));
    for (const PreparedStatement::RowResult &o : outcomes)
        EXPECT_FALSE(o.outcome.ok());
    EXPECT_EQ(executions().size(), 1u);
}

TEST_F(RowBlocksTest, TheServerCountsEveryParameterOfTheCall) {
    // sp_prepexec carries its handle, declarations and text besides the values: 2,097 values fill the
    // server's 2,100 parameters, one more is refused.
    server->addRule(Rule::callback(
        [](const std::string &text, const tds::ConnectionState &state) -> std::optional<Reply> {
            if (text.rfind("SELECT 1 WHERE 7 IN (", 0) != 0)
                return std::nullopt;
            return Reply::count(state.params.size());
        }));
    for (const int n : {2097, 2098}) {
        SCOPED_TRACE(n);
        PreparedStatement st(conn, "SELECT 1 WHERE 7 IN (" + QStringList(n, "?").join(", ") + ")",
                             QStringList(n, "int"));
        const std::vector<QVariant> values(static_cast<size_t>(n), 7);
        if (n == 2097) {
            EXPECT_EQ(st.execute(values), 2097);
            continue;
        }
        try {
            st.execute(values);
            FAIL() << "refused by the server";
        } catch (const DbError &e) {
            EXPECT_EQ(e.records().at(0).native, 8003);
        }
    }
}

TEST_F(RowBlocksTest, KeyedReadsGoOnAfterTheLastKeyAndTheKeysAreRead) {
    tds::Column id = makeColumn("id", "int", false), part = makeColumn("part", "nvarchar(10)", false);
    id.key = part.key = true;
    server->tables().set(
        "db..k", {id, part, makeColumn("name", "nvarchar(20)")},
        {{"2", "b", "two b"}, {"1", "z", "one z"}, {"2", "A", "two a"}, {"1", "a", "one a"}});
    EXPECT_EQ(uniqueKeys(conn, "db..k"), (std::vector<QStringList>{{"id", "part"}}));
    EXPECT_EQ(
        server->batches().back(),
        "SELECT i.index_id, c.name FROM db.sys.indexes AS i JOIN db.sys.index_columns AS ic ON "
        "ic.object_id = i.object_id AND ic.index_id = i.index_id JOIN db.sys.columns AS c ON c.object_id = "
        "ic.object_id AND c.column_id = ic.column_id WHERE i.object_id = OBJECT_ID(N'db..k') AND "
        "i.is_unique = 1 AND i.has_filter = 0 AND i.is_disabled = 0 AND i.is_hypothetical = 0 AND "
        "ic.key_ordinal > 0 ORDER BY i.is_primary_key DESC, i.index_id, ic.key_ordinal");
    server->tables().set("db..heap", {makeColumn("id", "int")});
    EXPECT_TRUE(uniqueKeys(conn, "db..heap").empty());

    PreparedStatement next(
        conn, "SELECT TOP (?) name FROM db..k WHERE id > ? OR (id = ? AND part > ?) ORDER BY id, part",
        {"bigint", "int", "int", "nvarchar(10)"});
    const auto names = [](const std::vector<std::vector<QVariant>> &rows) {
        QStringList out;
        for (const auto &r : rows)
            out << r.at(0).toString();
        return out;
    };
    // Text keys in the order the server's case-insensitive collation gives.
    EXPECT_EQ(names(next.query({10, 0, 0, ""})), (QStringList{"one a", "one z", "two a", "two b"}));
    EXPECT_EQ(names(next.query({2, 1, 1, "a"})), (QStringList{"one z", "two a"}));
    EXPECT_EQ(names(next.query({10, 2, 2, "a"})), QStringList{"two b"});
    EXPECT_TRUE(next.query({10, 2, 2, "b"}).empty());
}
