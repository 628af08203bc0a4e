// The reader beside the session, through the real FreeTDS driver into the scripted server: it streams a
// long result on a second connection of the same login while the session runs statements between its
// rows, and its connection is closed when it goes, also in the middle of a result.

#include "DbTestSupport.h"
#include "core/db/ServerConnection.h"
#include "core/db/ServerReader.h"

#include <gtest/gtest.h>
#include <thread>

using namespace quorix;
using namespace quorix::testing;
using tds::Reply;
using tds::Rule;

namespace {

constexpr int kRows = 1000000;
constexpr int kEvery = 100000; // the session runs a statement after every so many rows

class ReaderTest : public ::testing::Test {
protected:
    void SetUp() override {
        server = startServer("127.0.0.2", "pw");
        server->addRule(Rule::pattern("UPDATE tally SET n = \\d+", Reply::count(1)));
        server->addRule(
            Rule::exact("SELECT 7 AS seven", Reply::rows({{tds::makeColumn("seven", "int")}, {{"7"}}})));
        session.open(clearTarget(*server, "pw"));
    }

    // "SELECT id, name FROM big" answers rows rows: (0, "row 0"), (1, "row 1"), ...
    void addBig(int rows) {
        tds::ResultSet big{{tds::makeColumn("id", "int"), tds::makeColumn("name", "nvarchar(20)")}, {}};
        big.rows.reserve(static_cast<size_t>(rows));
        for (int i = 0; i < rows; ++i)
            big.rows.push_back({std::to_string(i), "row " + std::to_string(i)});
        server->addRule(Rule::exact("SELECT id, name FROM big", Reply::rows(std::move(big))));
    }

    // The server numbers connections in login order; the session logged in first.
    int readerConnection() const {
        const auto logins = server->logins();
        return logins.size() == 2 ? logins[1].connection : -1;
    }

    // Waits for the server to record the end of a connection; its text, or "" when none came.
    std::string disconnectOf(int connection) const {
        for (int i = 0; i < 500; ++i) {
            for (const tds::Event &e : server->events(connection))
                if (e.kind == tds::Event::Kind::Disconnect)
                    return e.text;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return {};
    }

    std::unique_ptr<tds::ScriptedServer> server;
    ServerConnection session;
};

} // namespace

TEST_F(ReaderTest, StreamsBesideTheSessionOnItsOwnConnectionAndClosesItWhenItGoes) {
    addBig(kRows);
    int reader = -1;
    {
        ServerReader rows(clearTarget(*server, "pw"));
        EXPECT_FALSE(rows.connected()); // opened on demand only
        int n = 0;
        for (rows.open(QStringLiteral("SELECT id, name FROM big")); !rows.eof(); rows.moveNext(), ++n) {
            ASSERT_EQ(rows.value(0).toInt(), n);
            ASSERT_EQ(rows.value(QStringLiteral("NAME")).toString(), QStringLiteral("row %1").arg(n));
            if (n % kEvery == kEvery - 1)
                session.execute(QStringLiteral("UPDATE tally SET n = %1").arg(n));
        }
        EXPECT_EQ(n, kRows);
        EXPECT_EQ(rows.fieldNames(), (QStringList{"id", "name"}));

        // A second result on the same reader reuses its connection.
        rows.open(QStringLiteral("SELECT 7 AS seven"));
        ASSERT_FALSE(rows.eof());
        EXPECT_EQ(rows.value(0).toInt(), 7);
        EXPECT_TRUE(rows.connected());

        reader = readerConnection();
        ASSERT_NE(reader, -1);
        EXPECT_EQ(server->logins()[1].user, "sa");
        EXPECT_EQ(server->openConnections(), 2);
    }
    const int own = server->logins()[0].connection;
    EXPECT_EQ(server->batches(reader),
              (std::vector<std::string>{"SELECT id, name FROM big", "SELECT 7 AS seven"}));
    std::vector<std::string> updates;
    for (int n = kEvery - 1; n < kRows; n += kEvery)
        updates.push_back("UPDATE tally SET n = " + std::to_string(n));
    ASSERT_EQ(updates.size(), 10u);
    EXPECT_EQ(updates.front(), "UPDATE tally SET n = 99999");
    EXPECT_EQ(server->batches(own), updates);
    // Every statement of the session arrived while the reader's result was open: after its query and
    // before its next one.
    const auto all = server->batches();
    ASSERT_EQ(all.size(), 12u);
    EXPECT_EQ(all.front(), "SELECT id, name FROM big");
    EXPECT_EQ(all.back(), "SELECT 7 AS seven");

    EXPECT_EQ(disconnectOf(reader), "closed by the client");
    EXPECT_TRUE(session.isOpen());
    EXPECT_EQ(server->openConnectionsSettled(1), 1);
}

TEST_F(ReaderTest, ClosesItsConnectionWhenItGoesInTheMiddleOfAResult) {
    addBig(100000); // far more than the driver and the socket hold
    {
        ServerReader rows(clearTarget(*server, "pw"));
        rows.open(QStringLiteral("SELECT id, name FROM big"));
        for (int n = 0; n < 1000; ++n)
            rows.moveNext();
        EXPECT_EQ(rows.value(0).toInt(), 1000);
    }
    const int reader = readerConnection();
    ASSERT_NE(reader, -1);
    EXPECT_EQ(disconnectOf(reader), "closed by the client");
    // The session is untouched and free.
    session.execute(QStringLiteral("UPDATE tally SET n = 1"));
    EXPECT_EQ(server->batches(server->logins()[0].connection),
              (std::vector<std::string>{"UPDATE tally SET n = 1"}));
}

TEST_F(ReaderTest, AFailedLoginLeavesItUnconnectedAndANewOpenConnectsAgain) {
    ServerReader wrong(clearTarget(*server, "nope"));
    EXPECT_THROW(wrong.open(QStringLiteral("SELECT 7 AS seven")), DbError);
    EXPECT_FALSE(wrong.connected());
    EXPECT_TRUE(wrong.eof());

    ServerReader rows(clearTarget(*server, "pw"));
    rows.open(QStringLiteral("SELECT 7 AS seven"));
    rows.close();
    EXPECT_FALSE(rows.connected());
    rows.open(QStringLiteral("SELECT 7 AS seven")); // connects again
    EXPECT_EQ(rows.value(0).toInt(), 7);
    ServerReader moved = std::move(rows);
    EXPECT_EQ(moved.value(0).toInt(), 7);
    EXPECT_TRUE(moved.connected());
    // The session, the refused login, and the reader's two connections.
    EXPECT_EQ(server->logins().size(), 4u);

    EXPECT_THROW(ServerReader().open(QStringLiteral("SELECT 7 AS seven")), DbError);
}
