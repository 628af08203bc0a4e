// Prepared statements through the real FreeTDS driver into the scripted server: every parameter type
// arrives with its declared type and exact value, NULLs of each, row counts, a refused execution among
// many, and the release of the server's handle.

#include "DbTestSupport.h"
#include "core/db/PreparedStatement.h"
#include "core/db/Recordset.h"
#include "core/db/ServerConnection.h"
#include "tds/TableModel.h"

#include <QDate>
#include <QDateTime>
#include <QScopeGuard>
#include <QTimeZone>
#include <QUuid>
#include <ctime>
#include <gtest/gtest.h>

using namespace quorix;
using namespace quorix::testing;
using tds::Message;
using tds::Reply;
using tds::Rule;
using tds::SqlType;

namespace {

class PreparedTest : public ::testing::Test {
protected:
    void SetUp() override {
        server = startServer("127.0.0.2", "pw");
        conn.open(clearTarget(*server, "pw"));
    }
    // The executions recorded, without the release of handles of earlier statements.
    std::vector<tds::Event> executions() const {
        std::vector<tds::Event> out;
        for (const tds::Event &e : server->rpcs())
            if (e.procedure != "sp_unprepare")
                out.push_back(e);
        return out;
    }

    std::unique_ptr<tds::ScriptedServer> server;
    ServerConnection conn;
};

struct TypeCase {
    const char *declared;    // as the caller declares it
    QVariant value;          // as the caller hands it over
    SqlType type;            // as the server receives it
    std::string received;    // the server's text of the value
    std::string declaration; // the @params text the driver sends
};

} // namespace

TEST(ParamTypeText, ParsesTheTsqlForms) {
    using K = ParamType::Kind;
    struct Case {
        const char *text;
        K kind;
        int length, precision, scale;
    };
    const Case cases[] = {
        {"int", K::Int, 0, 0, 0},
        {" BigInt ", K::BigInt, 0, 0, 0},
        {"decimal(10,2)", K::Decimal, 0, 10, 2},
        {"numeric(38)", K::Numeric, 0, 38, 0},
        {"decimal", K::Decimal, 0, 18, 0},
        {"datetime2", K::DateTime2, 0, 0, 7},
        {"datetime2(3)", K::DateTime2, 0, 0, 3},
        {"nvarchar(max)", K::NVarChar, ParamType::kMax, 0, 0},
        {"varchar(8000)", K::VarChar, 8000, 0, 0},
        {"nchar", K::NChar, 1, 0, 0},
        {"varbinary(MAX)", K::VarBinary, ParamType::kMax, 0, 0},
        {"uniqueidentifier", K::UniqueIdentifier, 0, 0, 0},
        {"time(0)", K::Time, 0, 0, 0},
        {"money", K::Decimal, 0, 19, 4},
        {"smalldatetime", K::DateTime, 0, 0, 0},
        {"datetime", K::DateTime, 0, 0, 3},
        {"date", K::Date, 0, 0, 0},
        {"datetimeoffset", K::DateTimeOffset, 0, 0, 7},
        {"datetimeoffset(0)", K::DateTimeOffset, 0, 0, 0},
    };
    for (const Case &c : cases) {
        const ParamType t = ParamType::parse(QLatin1String(c.text));
        EXPECT_EQ(t.kind, c.kind) << c.text;
        EXPECT_EQ(t.length, c.length) << c.text;
        EXPECT_EQ(t.precision, c.precision) << c.text;
        EXPECT_EQ(t.scale, c.scale) << c.text;
    }
    for (const char *bad :
         {"int(4)", "decimal(39,2)", "decimal(5,6)", "nvarchar(4001)", "char(max)", "datetime2(8)",
          "datetimeoffset(8)", "varchar(0)", "text", "money(4)", "nvarchar(10,2)", ""})
        EXPECT_THROW(ParamType::parse(QLatin1String(bad)), DbError) << bad;
}

TEST(ParamTypeText, MarkersOfValuesThatTravelAsTextAreCastToTheirType) {
    struct Case {
        const char *sql;
        QStringList types;
        const char *sent;
    };
    const QStringList dates{"date", "datetime2", "datetime2(3)", "datetimeoffset(7)", "datetimeoffset(0)"};
    const Case cases[] = {
        {"INSERT INTO t (a, b, c, d, e) VALUES (?, ?, ?, ?, ?)", dates,
         "INSERT INTO t (a, b, c, d, e) VALUES (CAST(? AS date), CAST(? AS datetime2(7)), "
         "CAST(? AS datetime2(3)), CAST(? AS datetimeoffset(7)), CAST(? AS datetimeoffset(0)))"},
        // Values the driver sends typed keep their plain marker.
        {"INSERT INTO t VALUES (?, ?, ?, ?, ?), (?, ?, ?, ?, ?)",
         {"int", "datetime", "time(3)", "nvarchar(40)", "datetimeoffset", "int", "datetime", "time",
          "nvarchar(40)", "datetimeoffset"},
         "INSERT INTO t VALUES (?, ?, CAST(? AS time(3)), ?, CAST(? AS datetimeoffset(7))), "
         "(?, ?, CAST(? AS time(7)), ?, CAST(? AS datetimeoffset(7)))"},
        // A '?' in a literal, a bracketed or quoted name or a comment is no marker.
        {"UPDATE [a?b] SET \"c?\" = ?, d = N'it''s ?' /* ? */ WHERE e = ? -- ?\n",
         {"date", "datetime2(0)"},
         "UPDATE [a?b] SET \"c?\" = CAST(? AS date), d = N'it''s ?' /* ? */ WHERE e = CAST(? AS "
         "datetime2(0)) "
         "-- ?\n"},
        {"SELECT [x]]?] FROM t WHERE d > ?",
         {"datetimeoffset(3)"},
         "SELECT [x]]?] FROM t WHERE d > CAST(? AS datetimeoffset(3))"},
        // Markers and types that do not pair are left for the driver to refuse.
        {"INSERT INTO t VALUES (?, ?)", {"date"}, "INSERT INTO t VALUES (?, ?)"},
        {"SELECT 1", {}, "SELECT 1"},
    };
    for (const Case &c : cases) {
        std::vector<ParamType> types;
        for (const QString &t : c.types)
            types.push_back(ParamType::parse(t));
        EXPECT_EQ(castTextMarkers(QLatin1String(c.sql), types).toStdString(), c.sent) << c.sql;
    }
}

TEST_F(PreparedTest, TheStatementSentCastsTheMarkersOfDateValues) {
    server->tables().set("QRIX..t", {tds::makeColumn("id", "int"), tds::makeColumn("at", "datetimeoffset(7)"),
                                     tds::makeColumn("day", "date")});
    PreparedStatement st(conn, "INSERT INTO QRIX..t (id, at, day) VALUES (?, ?, ?)",
                         {"int", "datetimeoffset(7)", "date"});
    EXPECT_EQ(st.execute({1, "2021-03-04 05:06:07.1234567 +05:45", "0001-01-01"}), 1);
    const std::vector<tds::Event> calls = executions();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].text, "INSERT INTO QRIX..t (id, at, day) VALUES (@P1, CAST(@P2 AS datetimeoffset(7)), "
                             "CAST(@P3 AS date))");
    EXPECT_EQ(server->tables().rows("QRIX..t"),
              (std::vector<tds::Row>{{"1", "2021-03-04 05:06:07.1234567 +05:45", "0001-01-01"}}));
}

TEST_F(PreparedTest, EveryTypeArrivesExactlyAndAsNull) {
    const QString guid = QStringLiteral("{6F9619FF-8B86-D011-B42D-00C04FC964FF}");
    const std::string longText(9000, 'x');
    const TypeCase cases[] = {
        {"bit", true, SqlType::Bit, "1", "@P1 BIT"},
        {"tinyint", 255, SqlType::TinyInt, "255", "@P1 TINYINT"},
        {"smallint", -32768, SqlType::SmallInt, "-32768", "@P1 SMALLINT"},
        {"int", 2147483647, SqlType::Int, "2147483647", "@P1 INT"},
        {"bigint", qlonglong(-9223372036854775807LL - 1), SqlType::BigInt, "-9223372036854775808",
         "@P1 BIGINT"},
        {"real", 1.5f, SqlType::Real, "1.5", "@P1 REAL"},
        {"float", 0.1, SqlType::Float, "0.1", "@P1 FLOAT"},
        {"decimal(38,10)", "-1234567890123456789012345678.0123456789", SqlType::Decimal,
         "-1234567890123456789012345678.0123456789", "@P1 DECIMAL(38,10)"},
        {"numeric(10,2)", "0.5", SqlType::Numeric, "0.50", "@P1 NUMERIC(10,2)"},
        {"decimal(10,2)", 12.25, SqlType::Decimal, "12.25", "@P1 DECIMAL(10,2)"},
        // date, datetime2 and datetimeoffset: ISO 8601 text the server converts, any year.
        {"date", QDate(1999, 12, 31), SqlType::NVarChar, "1999-12-31", "@P1 NVARCHAR(10)"},
        {"date", "0001-01-01", SqlType::NVarChar, "0001-01-01", "@P1 NVARCHAR(10)"},
        {"datetime2", "2024-02-29 23:59:58.1234567", SqlType::NVarChar, "2024-02-29T23:59:58.1234567",
         "@P1 NVARCHAR(27)"},
        {"datetime2(7)", "1582-10-04T23:59:59.9999999", SqlType::NVarChar, "1582-10-04T23:59:59.9999999",
         "@P1 NVARCHAR(27)"},
        {"datetime2", QDateTime(QDate(2024, 1, 31), QTime(13, 45, 0, 123)), SqlType::NVarChar,
         "2024-01-31T13:45:00.1230000", "@P1 NVARCHAR(27)"},
        {"datetimeoffset", "2021-03-04 05:06:07.1234567 +05:45", SqlType::NVarChar,
         "2021-03-04T05:06:07.1234567+05:45", "@P1 NVARCHAR(33)"},
        {"datetimeoffset(0)", "9999-12-31 23:59:59-14:00", SqlType::NVarChar,
         "9999-12-31T23:59:59.0000000-14:00", "@P1 NVARCHAR(33)"},
        {"datetimeoffset", QDateTime(QDate(1, 1, 1), QTime(0, 0), QTimeZone(-(5 * 3600 + 45 * 60))),
         SqlType::NVarChar, "0001-01-01T00:00:00.0000000-05:45", "@P1 NVARCHAR(33)"},
        {"nvarchar(10)", QString::fromUtf8("\xF0\x9F\x98\x80 \xE6\xBC\xA2"), SqlType::NVarChar,
         "\xF0\x9F\x98\x80 \xE6\xBC\xA2", "@P1 NVARCHAR(10)"},
        {"nvarchar(max)", QString::fromStdString(longText), SqlType::NVarCharMax, longText,
         "@P1 NVARCHAR(MAX)"},
        {"varchar(20)", QString::fromUtf8("caf\xC3\xA9"), SqlType::VarChar, "caf\xC3\xA9", "@P1 VARCHAR(20)"},
        {"varchar(max)", QString::fromStdString(longText), SqlType::VarCharMax, longText, "@P1 VARCHAR(MAX)"},
        {"varbinary(10)", QByteArray("\x00\xAB\xFF", 3), SqlType::VarBinary, "0x00ABFF", "@P1 VARBINARY(10)"},
        // time too: the driver's own time binding rounds the fraction through floating point.
        {"time", "13:14:15.1234567", SqlType::NVarChar, "13:14:15.1234567", "@P1 NVARCHAR(16)"},
        {"time", "07:31:37.0000310", SqlType::NVarChar, "07:31:37.0000310", "@P1 NVARCHAR(16)"},
        {"time(3)", QTime(23, 59, 59, 999), SqlType::NVarChar, "23:59:59.9990000", "@P1 NVARCHAR(16)"},
        {"datetime", "2024-01-31 13:45:00.997", SqlType::DateTime2, "2024-01-31 13:45:00.9970000",
         "@P1 DATETIME2"},
        {"money", "-922337203685477.5808", SqlType::Decimal, "-922337203685477.5808", "@P1 DECIMAL(19,4)"},
        {"char(3)", "ab", SqlType::Char, "ab", "@P1 CHAR(3)"},
        {"nchar(2)", QString::fromUtf8("\xC3\xA9"), SqlType::NChar, "\xC3\xA9", "@P1 NCHAR(2)"},
        {"binary(4)", QByteArray("\x01\x02", 2), SqlType::Binary, "0x0102", "@P1 BINARY(4)"},
        {"varbinary(max)", QByteArray(10000, 'Z'), SqlType::VarBinaryMax,
         "0x" + QByteArray(10000, 'Z').toHex().toUpper().toStdString(), "@P1 VARBINARY(MAX)"},
        {"uniqueidentifier", QUuid(guid), SqlType::UniqueIdentifier, "6F9619FF-8B86-D011-B42D-00C04FC964FF",
         "@P1 UNIQUEIDENTIFIER"},
    };
    // The marker of a date value is cast in the text (ParamTypeText.MarkersOf...); the value is the same.
    server->addRule(
        Rule::pattern("INSERT INTO t VALUES \\((@P1|CAST\\(@P1 AS [a-z0-9()]+\\))\\)", Reply::count(1)));
    for (const TypeCase &c : cases) {
        SCOPED_TRACE(std::string(c.declared) + " " + c.value.toString().left(40).toStdString());
        server->clearRecord();
        PreparedStatement st(conn, "INSERT INTO t VALUES (?)", QStringList{QLatin1String(c.declared)});
        EXPECT_EQ(st.execute({c.value}), 1);
        EXPECT_EQ(st.execute({QVariant()}), 1);
        const std::vector<tds::Event> calls = executions();
        ASSERT_EQ(calls.size(), 2u);
        EXPECT_EQ(calls[0].procedure, "sp_prepexec");
        EXPECT_EQ(calls[1].procedure, "sp_execute");
        EXPECT_EQ(calls[1].handle, calls[0].handle);
        EXPECT_EQ(calls[0].declarations, c.declaration);
        for (const tds::Event &e : calls)
            ASSERT_EQ(e.params.size(), 1u);
        EXPECT_EQ(calls[0].params[0].type, c.type) << typeName(calls[0].params[0].type);
        EXPECT_EQ(calls[0].params[0].value, c.received);
        EXPECT_EQ(calls[1].params[0].type, c.type) << typeName(calls[1].params[0].type);
        EXPECT_EQ(calls[1].params[0].value, std::nullopt);
    }
}

TEST_F(PreparedTest, ARefusedExecutionLeavesTheStatementReady) {
    server->addRule(Rule::callback(
        [](const std::string &, const tds::ConnectionState &state) -> std::optional<Reply> {
            if (state.params.size() == 2 && state.params[0].value == "3")
                return Reply::error(2627, "Violation of PRIMARY KEY constraint 'PK_t'.", 14)
                    .then(Message{3621, 0, 1, "The statement has been terminated."});
            return Reply::count(1);
        },
        "INSERT INTO t \\(id, name\\) VALUES \\(@P1, @P2\\)"));
    PreparedStatement st(conn, "INSERT INTO t (id, name) VALUES (?, ?)", {"int", "nvarchar(20)"});
    for (int id = 1; id <= 5; ++id) {
        const std::vector<QVariant> values{id, QStringLiteral("row %1").arg(id)};
        if (id != 3) {
            EXPECT_EQ(st.execute(values), 1) << id;
            continue;
        }
        try {
            st.execute(values);
            FAIL() << "the third row must be refused";
        } catch (const DbError &e) {
            ASSERT_EQ(e.records().size(), 2u);
            EXPECT_EQ(e.records()[0].state, "23000");
            EXPECT_EQ(e.records()[0].native, 2627);
            EXPECT_EQ(e.records()[0].message,
                      "[FreeTDS][SQL Server]Violation of PRIMARY KEY constraint 'PK_t'.");
            EXPECT_EQ(e.records()[1].native, 3621);
        }
    }
    const std::vector<tds::Event> calls = executions();
    ASSERT_EQ(calls.size(), 5u);
    EXPECT_EQ(calls[0].procedure, "sp_prepexec");
    EXPECT_EQ(calls[0].declarations, "@P1 INT,@P2 NVARCHAR(20)");
    for (size_t i = 1; i < calls.size(); ++i) {
        EXPECT_EQ(calls[i].procedure, "sp_execute") << i;
        EXPECT_EQ(calls[i].handle, calls[0].handle) << i;
        EXPECT_EQ(calls[i].params.at(1).value, "row " + std::to_string(i + 1));
    }
    // The connection itself is unharmed, and a statement that reports no count says so.
    EXPECT_NO_THROW(conn.execute("SELECT 1"));
    PreparedStatement quiet(conn, "SET ANSI_WARNINGS ON", QStringList{});
    EXPECT_EQ(quiet.execute({}), -1);
}

TEST_F(PreparedTest, ExecuteEachGivesEveryRowItsOutcomeAndStopsAtALostConnection) {
    int calls = 0;
    server->addRule(Rule::callback(
        [&calls](const std::string &, const tds::ConnectionState &state) -> std::optional<Reply> {
            ++calls;
            if (state.params.at(0).value == "3")
                return Reply::error(2627, "Violation of PRIMARY KEY constraint 'PK_t'.", 14);
            if (state.params.at(0).value == "7")
                return Reply::drop();
            return Reply::count(1);
        },
        "INSERT INTO t \\(id\\) VALUES \\(@P1\\)"));
    PreparedStatement st(conn, "INSERT INTO t (id) VALUES (?)", {"int"});
    std::vector<std::vector<QVariant>> rows;
    for (int id = 1; id <= 9; ++id)
        rows.push_back({id});
    const std::vector<PreparedStatement::RowResult> outcomes = st.executeEach(rows);
    ASSERT_EQ(outcomes.size(), rows.size());
    const int refused[] = {0, 0, 2627, 0, 0, 0, 20017, 20017, 20017}; // 0: inserted
    for (size_t i = 0; i < outcomes.size(); ++i) {
        SCOPED_TRACE(i + 1);
        EXPECT_EQ(outcomes[i].count, refused[i] ? -1 : 1);
        ASSERT_EQ(!outcomes[i].outcome.ok(), refused[i] != 0);
        if (refused[i])
            EXPECT_EQ(outcomes[i].outcome.serverError()->records().at(0).native, refused[i]);
    }
    EXPECT_EQ(calls, 7); // nothing is tried after the connection was lost
}

TEST_F(PreparedTest, ValuesThatDoNotConvertAreRefusedBeforeSending) {
    server->addRule(Rule::pattern("UPDATE t SET .*", Reply::count(2)));
    PreparedStatement st(conn, "UPDATE t SET a = ?, b = ?, c = ? WHERE d = ?",
                         {"tinyint", "decimal(5,2)", "datetime2", "uniqueidentifier"});
    const QVariant good[] = {7, "1.5", "2024-01-31", "6f9619ff-8b86-d011-b42d-00c04fc964ff"};
    const std::pair<int, QVariant> bad[] = {{0, 256},
                                            {0, "x"},
                                            {1, "1,5"},
                                            {1, "1e3"},
                                            {2, "2024-02-30"},
                                            {2, "0000-12-31"},
                                            {2, "2024-01-31 10:00 +01:00"}, // an offset datetime2 cannot keep
                                            {3, "not a guid"}};
    for (const auto &[index, value] : bad) {
        std::vector<QVariant> values(std::begin(good), std::end(good));
        values[static_cast<size_t>(index)] = value;
        EXPECT_THROW(st.execute(values), DbError) << value.toString().toStdString();
    }
    EXPECT_THROW(st.execute({1, 2}), DbError); // too few values
    // Longer than declared: refused, where the driver would cut the value short without a word.
    PreparedStatement narrow(conn, "UPDATE t SET a = ?, b = ?", {"nvarchar(3)", "varbinary(2)"});
    EXPECT_THROW(narrow.execute({"abcd", QByteArray("ab")}), DbError);
    EXPECT_THROW(narrow.execute({"abc", QByteArray("abc")}), DbError);
    EXPECT_EQ(server->rpcs().size(), 0u);
    EXPECT_EQ(st.execute(std::vector<QVariant>(std::begin(good), std::end(good))), 2);
    const std::vector<tds::Param> p = server->rpcs().at(0).params;
    ASSERT_EQ(p.size(), 4u);
    EXPECT_EQ(p[1].value, "1.50");
    EXPECT_EQ(p[2].value, "2024-01-31T00:00:00.0000000");
    EXPECT_EQ(p[3].value, "6F9619FF-8B86-D011-B42D-00C04FC964FF");
}

TEST_F(PreparedTest, ClosingReleasesTheHandleAndAClosedConnectionEndsTheStatement) {
    server->addRule(Rule::pattern("DELETE .*", Reply::count(0)));
    PreparedStatement first(conn, "DELETE FROM t WHERE id = ?", {"int"});
    EXPECT_EQ(first.execute({1}), 0);
    PreparedStatement moved = std::move(first);
    EXPECT_FALSE(first.isOpen());
    EXPECT_THROW(first.execute({1}), DbError);
    EXPECT_EQ(moved.execute({2}), 0);
    moved.close();
    conn.execute("SELECT 1"); // after the release, which was only queued
    const std::vector<tds::Event> calls = server->rpcs();
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[2].procedure, "sp_unprepare");
    EXPECT_EQ(calls[2].handle, calls[0].handle);

    PreparedStatement orphan(conn, "DELETE FROM t WHERE id = ?", {"int"});
    EXPECT_EQ(orphan.execute({3}), 0);
    conn.close();
    try {
        orphan.execute({4});
        FAIL() << "the connection is closed";
    } catch (const DbError &e) {
        EXPECT_EQ(e.records().at(0).native, 3704);
    }
    conn.open(clearTarget(*server, "pw"));
    PreparedStatement again(conn, "DELETE FROM t WHERE id = ?", {"int"});
    EXPECT_EQ(again.execute({5}), 0);
    orphan.close(); // its statement went with the old connection; the new one's stays
    EXPECT_EQ(again.execute({6}), 0);
}

TEST_F(PreparedTest, ValuesComeBackThroughAResultUnchanged) {
    const QTimeZone utc = QTimeZone::utc();
    const QByteArray zone = qgetenv("TZ");
    qputenv("TZ", "Europe/Berlin");
    tzset();
    const auto restoreZone = qScopeGuard([&zone] {
        if (zone.isNull())
            qunsetenv("TZ");
        else
            qputenv("TZ", zone);
        tzset();
    });
    struct Back {
        const char *declared;
        QVariant sent;
        QVariant read; // as a result set gives it
    };
    const Back cases[] = {
        {"bit", false, false},
        {"tinyint", 0, 0},
        {"bigint", qlonglong(9223372036854775807LL), qlonglong(9223372036854775807LL)},
        {"real", -0.25f, -0.25},
        {"float", 1e300, 1e300},
        {"decimal(38,10)", "9999999999999999999999999999.9999999999",
         "9999999999999999999999999999.9999999999"},
        {"numeric(5,0)", "-12345", "-12345"},
        {"date", "1600-03-01", QDate(1600, 3, 1)},
        {"date", "0001-01-01", QDate(1, 1, 1)},
        {"datetime2", "9999-12-31 23:59:59.9999999", "9999-12-31 23:59:59.9999999"},
        {"datetime2", "0001-01-01 00:00:00.0000001", "0001-01-01 00:00:00.0000001"},
        {"datetime2(3)", "0999-12-31 23:59:59.999",
         QDateTime(QDate(999, 12, 31), QTime(23, 59, 59, 999), utc)},
        {"datetimeoffset", "2021-03-04 05:06:07.1234567 +05:45", "2021-03-04 05:06:07.1234567 +05:45"},
        {"datetimeoffset(0)", "0001-01-01 00:00:00 -05:45", "0001-01-01 00:00:00 -05:45"},
        {"time", "00:00:00.0000001", "00:00:00.0000001"},
        {"datetime", "2024-01-31 13:45:00.997", QDateTime(QDate(2024, 1, 31), QTime(13, 45, 0, 997), utc)},
        // A wall time that the local zone skips (clocks go forward at 02:00) is kept all the same.
        {"datetime", "2024-03-31 02:30:00.000", QDateTime(QDate(2024, 3, 31), QTime(2, 30), utc)},
        {"nvarchar(max)", QString(), QString()}, // empty, not NULL
        {"varchar(5)", "a'b\"", "a'b\""},
        {"varbinary(max)", QByteArray(70000, '\x01'), QByteArray(70000, '\x01')},
        {"uniqueidentifier", "00000000-0000-0000-0000-000000000001", "00000000-0000-0000-0000-000000000001"},
    };
    tds::Value stored;
    std::string storedType;
    server->addRule(Rule::callback(
        [&](const std::string &, const tds::ConnectionState &state) -> std::optional<Reply> {
            stored = state.params.at(0).value;
            return Reply::count(1);
        },
        "INSERT INTO t VALUES \\((@P1|CAST\\(@P1 AS [a-z0-9()]+\\))\\)"));
    server->addRule(Rule::callback(
        [&](const std::string &, const tds::ConnectionState &) -> std::optional<Reply> {
            return Reply::rows(tds::ResultSet{{tds::makeColumn("v", storedType)}, {{stored}}});
        },
        "SELECT v FROM t"));
    for (const Back &c : cases) {
        SCOPED_TRACE(c.declared);
        storedType = c.declared;
        PreparedStatement st(conn, "INSERT INTO t VALUES (?)", QStringList{QLatin1String(c.declared)});
        st.execute({c.sent});
        Recordset rs = conn.openRecordset("SELECT v FROM t");
        const QVariant back = rs.value(0);
        EXPECT_FALSE(back.isNull());
        EXPECT_EQ(back.typeId(), c.read.typeId()) << back.typeName();
        EXPECT_EQ(back, c.read) << back.toString().left(60).toStdString();
    }
}

TEST_F(PreparedTest, ColumnsAreDescribedBeforeTheStatementRuns) {
    tds::ResultSet shape{{tds::makeColumn("id", "int", false), tds::makeColumn("name", "nvarchar(50)"),
                          tds::makeColumn("price", "decimal(10,2)"), tds::makeColumn("stamp", "datetime2(3)"),
                          tds::makeColumn("data", "varbinary(max)")},
                         {}};
    shape.columns[0].identity = true;
    server->addRule(Rule::exact("SELECT * FROM [dbo].[items]", Reply::rows(shape)));
    PreparedStatement st(conn, "SELECT * FROM [dbo].[items]", QStringList{});
    const std::vector<ColumnInfo> cols = st.columns();
    struct Expected {
        const char *name, *typeName;
        qint64 size;
        int precision, scale;
        bool nullable, identity;
    };
    const Expected expected[] = {
        {"id", "int", 10, 10, 0, false, true},        {"name", "nvarchar", 50, 50, 0, true, false},
        {"price", "decimal", 10, 10, 2, true, false}, {"stamp", "datetime2", 23, 3, 3, true, false},
        {"data", "varbinary", 0, 0, 0, true, false}, // (max): no size
    };
    ASSERT_EQ(cols.size(), std::size(expected));
    for (size_t i = 0; i < cols.size(); ++i) {
        SCOPED_TRACE(expected[i].name);
        EXPECT_EQ(cols[i].name, QLatin1String(expected[i].name));
        EXPECT_EQ(cols[i].typeName, QLatin1String(expected[i].typeName));
        EXPECT_EQ(cols[i].size, expected[i].size);
        EXPECT_EQ(cols[i].precision, expected[i].precision);
        EXPECT_EQ(cols[i].scale, expected[i].scale);
        EXPECT_EQ(cols[i].nullable, expected[i].nullable);
        EXPECT_EQ(cols[i].identity, expected[i].identity);
    }
    const std::vector<tds::Event> calls = server->rpcs();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].procedure, "sp_prepare");
    EXPECT_TRUE(server->batches().empty()); // nothing ran
}
