// The delay proxy between the real ODBC driver and the scripted server: every byte arrives in order both
// ways, each exchange is held for the delay each way, the exchanges it counts are the server's round trips,
// and stopping cuts the relayed connections.

#include "DelayProxy.h"
#include "tds/OdbcClient.h"
#include "tds/ScriptedServer.h"

#include <gtest/gtest.h>

using namespace quorix::tds;
using namespace quorix::tds::testing;
using quorix::testing::DelayProxy;

namespace {

class ThroughProxy : public ::testing::Test {
protected:
    void SetUp() override {
        server.start("127.0.0.2", 0);
        proxy = std::make_unique<DelayProxy>("127.0.0.2", server.port(), std::chrono::milliseconds(2));
        ASSERT_TRUE(SQL_SUCCEEDED(c.connect(connectionString("127.0.0.2", proxy->port()))))
            << toString(c.connectionDiags());
        server.clearRecord();
        proxy->resetExchanges();
    }
    ScriptedServer server;
    std::unique_ptr<DelayProxy> proxy; // after the server, before the client: goes between them
    OdbcClient c;
};

} // namespace

TEST_F(ThroughProxy, BytesArriveInOrderAndEachExchangeIsOneRoundTripHeldBothWays) {
    // A long batch up and a long result down, each many chunks.
    std::string batch = "SELECT '";
    for (int i = 0; batch.size() < 200000; ++i)
        batch += std::to_string(i) + ",";
    batch += "'";
    ResultSet rows{{makeColumn("n", "int"), makeColumn("text", "nvarchar(100)")}, {}};
    for (int i = 0; i < 20000; ++i)
        rows.rows.push_back({std::to_string(i), "row " + std::to_string(i) + " \xC3\xA9"});
    server.addRule(Rule::exact(batch, Reply::rows(rows)));
    server.addRule(Rule::exact("SELECT 1", Reply::rows({{makeColumn("", "int")}, {{"1"}}})));

    const auto start = std::chrono::steady_clock::now();
    for (int round = 0; round < 3; ++round) {
        ASSERT_TRUE(SQL_SUCCEEDED(c.exec(batch))) << toString(c.diags());
        EXPECT_EQ(c.fetchAll().size(), rows.rows.size());
    }
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(server.batches(), std::vector<std::string>(3, batch));
    EXPECT_EQ(server.roundTrips(), 3u);
    EXPECT_EQ(proxy->exchanges(), 3u);
    EXPECT_GE(elapsed, 3 * 2 * proxy->oneWay()); // never sooner than there and back, three times

    ASSERT_TRUE(SQL_SUCCEEDED(c.exec("SELECT 1")));
    EXPECT_EQ(server.roundTrips(), 4u);
    EXPECT_EQ(proxy->exchanges(), 4u);
    EXPECT_EQ(proxy->connections(), 1);
}

TEST_F(ThroughProxy, RecordsWhatItRelaysWhenAsked) {
    server.addRule(
        Rule::exact("SELECT 'seen'", Reply::rows({{makeColumn("", "nvarchar(10)")}, {{"answer"}}})));
    server.addRule(Rule::exact("SELECT 'unseen'", Reply::count(1)));
    ASSERT_TRUE(SQL_SUCCEEDED(c.exec("SELECT 'unseen'")));
    EXPECT_EQ(proxy->recorded(), "");
    proxy->record(true);
    ASSERT_TRUE(SQL_SUCCEEDED(c.exec("SELECT 'seen'")));
    EXPECT_EQ(c.fetchAll(), std::vector<TextRow>{{"answer"}});
    proxy->record(false);
    ASSERT_TRUE(SQL_SUCCEEDED(c.exec("SELECT 'unseen'")));

    const std::string up = proxy->recorded(DelayProxy::Way::ToServer);
    const std::string down = proxy->recorded(DelayProxy::Way::ToClient);
    // One SQL batch packet up (its text UTF-16LE after the headers), one reply packet down.
    ASSERT_GE(up.size(), 8u);
    EXPECT_EQ(up[0], '\x01');
    EXPECT_NE(up.find(std::string("S\0E\0L\0E\0C\0T\0 \0'\0s\0e\0e\0n\0'\0", 26)), std::string::npos);
    ASSERT_GE(down.size(), 8u);
    EXPECT_EQ(down[0], '\x04');
    EXPECT_NE(down.find(std::string("a\0n\0s\0w\0e\0r\0", 12)), std::string::npos);
    EXPECT_EQ(proxy->recorded(), up + down);
    EXPECT_EQ(up.find(std::string("u\0n\0s\0e\0e\0n\0", 12)), std::string::npos);
    proxy->clearRecorded();
    EXPECT_EQ(proxy->recorded(DelayProxy::Way::ToServer), "");
}

TEST_F(ThroughProxy, StoppingCutsTheConnection) {
    proxy->stop();
    EXPECT_FALSE(SQL_SUCCEEDED(c.exec("SELECT 1")));
    EXPECT_EQ(server.openConnectionsSettled(0), 0);
}
