// The ODBC layer against the real FreeTDS driver and the scripted server: exact text, every diagnostic
// record, draining of results, streaming and typed values, cancel, timeouts, lost connections.

#include "DbTestSupport.h"
#include "core/db/Recordset.h"
#include "core/db/ServerConnection.h"
#include "core/db/odbc/OdbcConnection.h"

#include <QCoreApplication>
#include <QDate>
#include <QDateTime>
#include <QTimer>
#include <chrono>
#include <functional>
#include <gtest/gtest.h>
#include <optional>
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

class OdbcTest : public ::testing::Test {
protected:
    void SetUp() override {
        server = startServer("127.0.0.2", "pw");
        conn.open(odbcString(*server, "pw"), 15);
    }

    std::vector<QString> messageTexts(const std::vector<DiagRecord> &records) {
        std::vector<QString> out;
        for (const DiagRecord &r : records)
            out.push_back(r.message);
        return out;
    }

    std::unique_ptr<tds::ScriptedServer> server;
    odbc::Connection conn;
};

ResultSet numbers(int count) {
    ResultSet set{{{"id", SqlType::Int}, {"name", SqlType::NVarChar, 50}}, {}};
    for (int i = 0; i < count; ++i)
        set.rows.push_back({std::to_string(i), "row " + std::to_string(i)});
    return set;
}

} // namespace

TEST(OdbcText, DriverSyntaxIsFoundOnlyOutsideQuotesAndComments) {
    EXPECT_TRUE(odbc::driverWouldRewrite("SELECT ? FROM t"));
    EXPECT_TRUE(odbc::driverWouldRewrite("SELECT {d '2024-01-31'}"));
    EXPECT_TRUE(odbc::driverWouldRewrite("SELECT 'a''?' + ?"));
    EXPECT_TRUE(odbc::driverWouldRewrite("/* a /* b */ ? */")); // the driver does not nest comments
    EXPECT_FALSE(odbc::driverWouldRewrite("SELECT '?', \"{x}\", [a?]]{] -- ? {\n/* { ? */ FROM t"));
    EXPECT_FALSE(odbc::driverWouldRewrite("BACKUP DATABASE [x] TO DISK = 'p:\\a?.BAK'; SELECT 'it''s'"));
}

TEST_F(OdbcTest, TrickyBatchesArriveByteExact) {
    const std::vector<QString> texts = {
        "SELECT ? , '?' FROM t WHERE a = ? AND b = :c",
        "SELECT {fn UCASE('x')}, {d '2024-01-31'}, {ts '2024-01-31 10:00:00'}; {call p(1)}",
        "SELECT 'it''s' ; SELECT \"q\" ; SELECT [a]]b] FROM [dbo].[t;x]",
        QString::fromUtf8("INSERT INTO t VALUES (N'Grüße ĳ 中文 😀', 'café')"),
        "multi\r\nline\tTab\n  GO  \n-- comment ; ? {fn x}",
        QString::fromUtf8("EXEC sp_who ; SELECT '{d 1}' /* ? */ -- é"),
    };
    server->addRule(Rule::exact(utf8(texts[1]), Reply::rows(ResultSet{{{"x", SqlType::Int}}, {{"1"}}})));
    for (const QString &t : texts)
        EXPECT_NO_THROW(conn.execute(t, 30)) << t.toStdString();
    std::vector<std::string> expected;
    for (const QString &t : texts)
        expected.push_back(utf8(t));
    EXPECT_EQ(server->statements(), expected);
    // Only the texts with driver syntax took the sp_executesql way; the others stayed plain batches.
    EXPECT_EQ(server->batches(),
              (std::vector<std::string>{expected[2], expected[3], expected[4], expected[5]}));
    auto cursor = conn.openCursor(texts[1], 30);
    EXPECT_EQ(cursor->fetch(5).size(), 1u);
}

TEST_F(OdbcTest, EveryMessageAndErrorRecordIsRead) {
    server->addRule(
        Rule::exact("PRINTS", Reply::info("one").then(Message{0, 0, 1, "two"}).then(tds::RowCount{3})));
    server->addRule(
        Rule::exact("BACKUP", Reply::info("10 percent processed.")
                                  .then(Message{0, 0, 1, "100 percent processed."})
                                  .then(Message{3201, 16, 1, "Cannot open backup device 'x'."})
                                  .then(Message{3013, 16, 1, "BACKUP DATABASE is terminating abnormally."})));
    const std::vector<DiagRecord> messages = conn.execute("PRINTS", 30);
    EXPECT_EQ(messageTexts(messages),
              (std::vector<QString>{"[FreeTDS][SQL Server]one", "[FreeTDS][SQL Server]two"}));
    try {
        conn.execute("BACKUP", 30);
        FAIL() << "BACKUP should fail";
    } catch (const DbError &e) {
        EXPECT_EQ(e.description(), "[FreeTDS][SQL Server]Cannot open backup device 'x'.");
        // The driver ranks errors before messages; within each kind the order is the server's.
        const auto texts = messageTexts(e.records());
        EXPECT_EQ(texts,
                  (std::vector<QString>{"[FreeTDS][SQL Server]Cannot open backup device 'x'.",
                                        "[FreeTDS][SQL Server]BACKUP DATABASE is terminating abnormally.",
                                        "[FreeTDS][SQL Server]10 percent processed.",
                                        "[FreeTDS][SQL Server]100 percent processed."}));
        EXPECT_EQ(e.records()[0].native, 3201);
        EXPECT_EQ(e.records()[1].native, 3013);
    }
    conn.execute("SELECT 1", 30); // the connection is usable afterwards
}

TEST_F(OdbcTest, AllResultsAreDrainedAndALateErrorFails) {
    Reply many;
    for (int i = 0; i < 40; ++i)
        many.then(Message{0, 0, 1, "step " + std::to_string(i)}).then(numbers(i % 5));
    server->addRule(Rule::exact("MANY", many));
    Reply late = many;
    late.then(Message{50000, 16, 1, "failed at the end"});
    server->addRule(Rule::exact("LATE", late));

    const auto messages = messageTexts(conn.execute("MANY", 30));
    ASSERT_EQ(messages.size(), 40u);
    EXPECT_EQ(messages.back(), "[FreeTDS][SQL Server]step 39");
    try {
        conn.execute("LATE", 30);
        FAIL() << "an error in the last result must fail the batch";
    } catch (const DbError &e) {
        EXPECT_EQ(e.description(), "[FreeTDS][SQL Server]failed at the end");
        EXPECT_EQ(e.records().size(), 41u);
    }
    EXPECT_NO_THROW(conn.execute("SELECT 2", 30));

    // A statement that touches no row ends without data; that is not a failure, and what follows is read.
    server->addRule(Rule::exact("UPDATE none", Reply::count(0).then(Message{0, 0, 1, "after"})));
    EXPECT_EQ(messageTexts(conn.execute("UPDATE none", 30)),
              std::vector<QString>{"[FreeTDS][SQL Server]after"});
}

TEST_F(OdbcTest, ValuesComeTyped) {
    ResultSet set{
        {{"i", SqlType::Int},
         {"b", SqlType::BigInt},
         {"bit", SqlType::Bit},
         {"f", SqlType::Float},
         {"d", SqlType::Decimal, 0, 12, 3},
         {"m", SqlType::Money},
         {"dt", SqlType::DateTime},
         {"dt2", SqlType::DateTime2},
         {"day", SqlType::Date},
         {"s", SqlType::NVarChar, 20},
         {"v", SqlType::VarChar, 20},
         {"bin", SqlType::VarBinary, 4},
         {"big", SqlType::NVarCharMax}},
        {{"-7", "9000000000", "1", "0.1", "-123.450", "12.3400", "2024-01-31 13:45:00.123",
          "2024-01-31 13:45:00.1234567", "2024-02-29", "Grüße 😀", "café", "0x0A1B", std::string(20000, 'x')},
         {std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt,
          std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt, ""}}};
    server->addRule(Rule::exact("TYPES", Reply::rows(set)));
    auto cursor = conn.openCursor("TYPES", 30);
    ASSERT_EQ(cursor->columns().size(), 13u);
    EXPECT_EQ(cursor->columns()[0].typeName, "int");
    const std::vector<odbc::Row> rows = cursor->fetch(10);
    ASSERT_EQ(rows.size(), 2u);
    const odbc::Row &r = rows[0];
    EXPECT_EQ(r[0], QVariant(-7));
    EXPECT_EQ(r[1], QVariant(qlonglong(9000000000LL)));
    EXPECT_EQ(r[2], QVariant(true));
    EXPECT_EQ(r[3], QVariant(0.1));
    EXPECT_EQ(r[4], QVariant(QString("-123.450")));
    EXPECT_EQ(r[5].toString().toDouble(), 12.34);
    EXPECT_EQ(r[6], QVariant(QDateTime(QDate(2024, 1, 31), QTime(13, 45, 0, 123))));
    EXPECT_EQ(r[7], QVariant(QString("2024-01-31 13:45:00.1234567"))); // no digit lost
    EXPECT_EQ(r[8], QVariant(QDate(2024, 2, 29)));
    EXPECT_EQ(r[9], QVariant(QString::fromUtf8("Grüße 😀")));
    EXPECT_EQ(r[10], QVariant(QString::fromUtf8("café")));
    EXPECT_EQ(r[11], QVariant(QByteArray::fromHex("0A1B")));
    EXPECT_EQ(r[12].toString().size(), 20000);
    for (int i = 0; i < 12; ++i)
        EXPECT_FALSE(rows[1][static_cast<size_t>(i)].isValid()) << "column " << i << " should be NULL";
    EXPECT_TRUE(rows[1][12].isValid()); // empty text is not NULL
    EXPECT_TRUE(cursor->atEnd());
}

TEST_F(OdbcTest, CancelFromAnotherThreadEndsTheRunningStatement) {
    server->addRule(Rule::exact("SLOW", Reply::done().after(10s)));
    const auto start = std::chrono::steady_clock::now();
    const std::size_t before = server->batches().size();
    std::thread canceller([&] {
        // Once the server holds the statement, it surely runs.
        server->waitForBatches(before + 1, 10s);
        conn.cancel();
    });
    try {
        conn.execute("SLOW", 30);
        ADD_FAILURE() << "the cancelled statement must fail";
    } catch (const DbError &e) {
        EXPECT_TRUE(e.hasState("HY008")) << e.description().toStdString();
    }
    canceller.join();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    EXPECT_EQ(server->cancels(), 1);
    EXPECT_NO_THROW(conn.execute("SELECT 1", 30));
    EXPECT_FALSE(conn.cancel()); // nothing runs now
}

TEST_F(OdbcTest, QueryTimeoutIsApplied) {
    server->addRule(Rule::exact("SLOW", Reply::done().after(10s)));
    const auto start = std::chrono::steady_clock::now();
    try {
        conn.execute("SLOW", 1);
        ADD_FAILURE() << "the statement must time out";
    } catch (const DbError &e) {
        EXPECT_TRUE(e.hasState("HYT00")) << e.description().toStdString();
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
}

TEST_F(OdbcTest, LostConnectionFailsUntilReopened) {
    server->dropConnections();
    EXPECT_THROW(conn.execute("SELECT 1", 30), DbError);
    EXPECT_THROW(conn.execute("SELECT 1", 30), DbError);
    conn.close();
    conn.open(odbcString(*server, "pw"), 15);
    EXPECT_NO_THROW(conn.execute("SELECT 1", 30));
}

TEST(OdbcLogin, FailuresCarryTheDriversDescription) {
    auto server = startServer("127.0.0.2", "right");
    odbc::Connection conn;
    try {
        conn.open(odbcString(*server, "wrong"), 15);
        FAIL() << "login must be refused";
    } catch (const DbError &e) {
        EXPECT_EQ(e.description(), "[FreeTDS][SQL Server]Login failed for user 'sa'.");
    }
    EXPECT_FALSE(conn.isOpen());
    const std::string deadAddress = server->address();
    const auto deadPort = server->port();
    server->stop();
    try {
        conn.open(toOdbcConnectionString(
                      parseOleDbConnectionString(sessionConnectionString(
                          QString::fromStdString(deadAddress) + "," + QString::number(deadPort), "x")),
                      {"FreeTDS", DriverKind::FreeTds}),
                  15);
        FAIL() << "nothing listens there";
    } catch (const DbError &e) {
        EXPECT_FALSE(e.description().isEmpty());
        EXPECT_TRUE(e.hasState("08001")) << e.description().toStdString();
    }
}

TEST(OdbcLogin, PasswordsWithSeparatorsAndBracesArriveIntact) {
    for (const std::string pw : {"a b ", "Grüße", "}}", "p;w}d{=x", "{x}", "a}"}) {
        auto server = startServer("127.0.0.2", pw);
        ServerConnection conn;
        ASSERT_NO_THROW(conn.open(clearTarget(*server, QString::fromStdString(pw)))) << pw;
        ASSERT_EQ(server->logins().size(), 1u);
        EXPECT_EQ(server->logins()[0].password, pw);
        EXPECT_EQ(server->logins()[0].database, "MASTER");
    }
}

TEST(ServerConnectionStreaming, LargeResultsStreamAndSpillWhenTheConnectionIsNeeded) {
    auto server = startServer("127.0.0.3", "pw");
    server->addRule(Rule::exact("BIG", Reply::rows(numbers(10000))));
    ServerConnection conn;
    conn.open(clearTarget(*server, "pw"));
    Recordset rs = conn.openRecordset("BIG");
    ASSERT_TRUE(rs.isOpen());
    EXPECT_EQ(rs.fieldNames(), (QStringList{"id", "name"}));
    int seen = 0;
    for (; seen < 700; ++seen) {
        ASSERT_EQ(rs.value(0).toInt(), seen);
        rs.moveNext();
    }
    // Another statement on the same connection while rows are unread: the rest is kept, in order.
    conn.execute("UPDATE t SET x = 1");
    EXPECT_EQ(rs.recordCount(), 10000);
    for (; !rs.eof(); ++seen) {
        ASSERT_EQ(rs.value("ID").toInt(), seen);
        ASSERT_EQ(rs.value("name").toString(), QString("row %1").arg(seen));
        rs.moveNext();
    }
    EXPECT_EQ(seen, 10000);
    EXPECT_THROW(rs.moveNext(), DbError);
    EXPECT_THROW(rs.value(0), DbError);
    EXPECT_THROW(rs.value("nope"), DbError);
    EXPECT_EQ(server->batches(), (std::vector<std::string>{"BIG", "UPDATE t SET x = 1"}));

    // A statement without rows leaves the result set closed without a failure.
    Recordset none = conn.openRecordset("USE master");
    EXPECT_FALSE(none.isOpen());
    EXPECT_THROW(none.eof(), DbError);
    conn.close();
    EXPECT_THROW(conn.execute("SELECT 1"), DbError);
}

// A batch whose first result is followed by a failing statement: the failure reaches the reader whatever
// the size of the result, and no row of the failed batch is handed out as if it had succeeded.
TEST(ServerConnectionBatches, AFailureAfterTheFirstResultFailsTheBatch) {
    auto server = startServer("127.0.0.3", "pw");
    const std::string invalid = "Invalid object name 'nope'.";
    for (int rows : {0, 3, 5000}) {
        Reply late = Reply::rows(numbers(rows));
        late.then(Message{208, 16, 1, invalid});
        server->addRule(Rule::exact("LATE " + std::to_string(rows), late));
    }
    Reply between = Reply::rows(numbers(3));
    between.then(Message{208, 16, 1, invalid}).then(numbers(2));
    server->addRule(Rule::exact("BETWEEN", between));
    Reply fine = Reply::rows(numbers(5000));
    fine.then(Message{0, 0, 1, "after the rows"}).then(tds::RowCount{7});
    server->addRule(Rule::exact("FINE", fine));
    ServerConnection conn;
    conn.open(clearTarget(*server, "pw"));
    const QString description = "[FreeTDS][SQL Server]Invalid object name 'nope'.";

    // Read whole: open() fails, and the result set stays closed.
    for (const char *sql : {"LATE 0", "LATE 3", "LATE 5000", "BETWEEN"}) {
        Recordset rs;
        try {
            rs.open(conn, sql);
            ADD_FAILURE() << sql << " must fail";
        } catch (const DbError &e) {
            EXPECT_EQ(e.description(), description) << sql;
        }
        EXPECT_FALSE(rs.isOpen()) << sql;
    }
    // Streamed: a result that ends within the first block fails at opening; a longer one hands out its
    // rows and fails on the move past the last, also when counting read them ahead.
    for (const char *sql : {"LATE 0", "LATE 3"}) {
        try {
            conn.openRecordset(sql);
            ADD_FAILURE() << sql << " must fail";
        } catch (const DbError &e) {
            EXPECT_EQ(e.description(), description) << sql;
        }
    }
    for (bool countFirst : {false, true}) {
        Recordset rs = conn.openRecordset("LATE 5000");
        if (countFirst)
            EXPECT_EQ(rs.recordCount(), 5000);
        int seen = 0;
        try {
            for (; !rs.eof(); ++seen)
                rs.moveNext();
            ADD_FAILURE() << "the move past the last row must fail";
        } catch (const DbError &e) {
            EXPECT_EQ(e.description(), description);
        }
        EXPECT_EQ(seen, 4999); // the failing move is the one past row 4999
        EXPECT_TRUE(rs.eof());
        EXPECT_THROW(rs.moveNext(), DbError);
    }
    // Messages and counts after the rows are no failure.
    for (auto reading : {Recordset::Reading::WholeBatch, Recordset::Reading::Streamed}) {
        Recordset rs;
        rs.open(conn, "FINE", reading);
        EXPECT_EQ(rs.recordCount(), 5000);
        int seen = 0;
        for (; !rs.eof(); rs.moveNext())
            ++seen;
        EXPECT_EQ(seen, 5000);
        ASSERT_FALSE(rs.messages().empty());
        EXPECT_EQ(rs.messages().back().message, "[FreeTDS][SQL Server]after the rows");
    }
    EXPECT_NO_THROW(conn.execute("SELECT 1")); // the connection is free again
}

// While recordCount() waits for the worker, the window's event loop may run a handler that closes or
// reopens the same result set; the count is then that of what is open afterwards.
TEST(ServerConnectionBatches, RecordCountCountsWhatIsOpenAfterItsWait) {
    int argc = 1;
    char name[] = "test_db_odbc";
    char *argv[] = {name, nullptr};
    QCoreApplication app(argc, argv); // the wait runs an event loop only on an application's main thread
    auto server = startServer("127.0.0.3", "pw");
    server->addRule(Rule::exact("BIG", Reply::rows(numbers(5000))));
    server->addRule(Rule::exact("SMALL", Reply::rows(numbers(3))));
    server->addRule(Rule::exact("SLOW", Reply::done().after(300ms)));
    ServerConnection conn;
    conn.open(clearTarget(*server, "pw"));

    struct Case {
        const char *what;
        std::function<void(Recordset &)> meanwhile;
        std::optional<qint64> count; // none: the count fails on the closed result set
    };
    const std::vector<Case> cases = {
        {"closed", [](Recordset &rs) { rs.close(); }, std::nullopt},
        {"reopened", [&](Recordset &rs) { rs.open(conn, "SMALL"); }, 3},
    };
    for (const Case &c : cases) {
        Recordset rs = conn.openRecordset("BIG");
        rs.moveNext();
        // A statement from another thread keeps the worker busy, so the count waits long enough for the
        // event loop to run the handler.
        const size_t before = server->batches().size();
        std::thread busy([&] { conn.execute("SLOW"); });
        ASSERT_TRUE(server->waitForBatches(before + 1, 5s));
        bool ran = false;
        QTimer::singleShot(0, [&] {
            c.meanwhile(rs);
            ran = true;
        });
        if (c.count)
            EXPECT_EQ(rs.recordCount(), *c.count) << c.what;
        else
            EXPECT_THROW(rs.recordCount(), DbError) << c.what;
        busy.join();
        EXPECT_TRUE(ran) << c.what;
    }
}
