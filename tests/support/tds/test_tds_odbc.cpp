// The scripted server as the real ODBC driver sees it: logins, batches, results, messages, errors, state.

#include "tds/OdbcClient.h"
#include "tds/ScriptedServer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>

using namespace quorix::tds;
using namespace quorix::tds::testing;

namespace {

class TdsOdbc : public ::testing::Test {
protected:
    void SetUp() override {
        server.setLogin("sa", "pw");
        server.start("127.0.0.1", 0);
    }
    std::string cs(const std::string &password = "pw", const std::string &database = {}) {
        return connectionString("127.0.0.1", server.port(), "sa", password, database);
    }
    void connect(OdbcClient &client) {
        const SQLRETURN rc = client.connect(cs());
        ASSERT_TRUE(SQL_SUCCEEDED(rc)) << toString(client.connectionDiags());
    }
    ScriptedServer server;
};

ResultSet names(std::initializer_list<const char *> values) {
    ResultSet set{{{"name", SqlType::NVarChar, 128}}, {}};
    for (const char *v : values)
        set.rows.push_back({std::string(v)});
    return set;
}

TEST_F(TdsOdbc, LoginsAreCheckedAndRecorded) {
    {
        OdbcClient bad;
        EXPECT_EQ(bad.connect(cs("wrong")), SQL_ERROR);
        const std::vector<Diag> d = bad.connectionDiags();
        ASSERT_FALSE(d.empty());
        EXPECT_EQ(d[0].state, "42000");
        EXPECT_EQ(d[0].native, 18456);
        EXPECT_EQ(d[0].text, "[FreeTDS][SQL Server]Login failed for user 'sa'.");
    }
    server.setDatabases({"master", "Billing"});
    {
        OdbcClient missing;
        EXPECT_EQ(missing.connect(cs("pw", "Nowhere")), SQL_ERROR);
        const std::string all = toString(missing.connectionDiags());
        EXPECT_NE(all.find("Cannot open database \"Nowhere\" requested by the login. The login failed."),
                  std::string::npos)
            << all;
    }
    OdbcClient good;
    ASSERT_TRUE(SQL_SUCCEEDED(good.connect(cs("pw", "billing")))) << toString(good.connectionDiags());
    EXPECT_EQ(good.currentCatalog(), "Billing");

    const std::vector<Event> logins = server.logins();
    ASSERT_EQ(logins.size(), 3u);
    EXPECT_FALSE(logins[0].accepted);
    EXPECT_EQ(logins[0].password, "wrong");
    EXPECT_EQ(logins[0].user, "sa");
    EXPECT_FALSE(logins[1].accepted);
    EXPECT_EQ(logins[1].database, "Nowhere");
    EXPECT_TRUE(logins[2].accepted);
    EXPECT_EQ(logins[2].password, "pw");
    EXPECT_EQ(logins[2].database, "billing");
}

TEST_F(TdsOdbc, ResultSetsMessagesAndRowCounts) {
    ResultSet typed{{makeColumn("i", "int"), makeColumn("d", "decimal(10,2)"), makeColumn("t", "datetime"),
                     makeColumn("s", "varchar(10)"), makeColumn("b", "varbinary(4)"),
                     makeColumn("m", "money")},
                    {{"7", "-12.50", "2024-01-31 13:45:00.123", "caf\xC3\xA9", "0x0A0B", "12.5"},
                     {std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt}}};
    Reply reply = Reply::rows(typed);
    reply.then(Message{50000, 0, 1, "between the sets", {}, 1}).then(names({"a", "b"}));
    server.addRule(Rule::exact("SELECT two", reply));
    server.addRule(Rule::exact("UPDATE t", Reply::count(5)));

    OdbcClient c;
    connect(c);
    ASSERT_EQ(c.exec("SELECT two"), SQL_SUCCESS) << toString(c.diags());
    EXPECT_EQ(c.columnName(2), "d");
    const std::vector<TextRow> first = c.fetchAll();
    ASSERT_EQ(first.size(), 2u);
    EXPECT_EQ(first[0],
              (TextRow{"7", "-12.50", "2024-01-31 13:45:00.123", "caf\xC3\xA9", "0a0b", "12.5000"}));
    EXPECT_EQ(first[1], TextRow(6, std::nullopt));
    ASSERT_EQ(c.moreResults(), SQL_SUCCESS_WITH_INFO);
    const std::vector<Diag> info = c.diags();
    ASSERT_EQ(info.size(), 1u);
    EXPECT_EQ(info[0].state, "01000");
    EXPECT_EQ(info[0].text, "[FreeTDS][SQL Server]between the sets");
    EXPECT_EQ(c.fetchAll(), (std::vector<TextRow>{{"a"}, {"b"}}));
    EXPECT_EQ(c.moreResults(), SQL_NO_DATA);

    ASSERT_TRUE(SQL_SUCCEEDED(c.exec("UPDATE t")));
    EXPECT_EQ(c.rowCount(), 5);
    // Without a rule: a plain DONE, which the driver reports as "no data".
    EXPECT_EQ(c.exec("DELETE FROM nowhere"), SQL_NO_DATA);
    EXPECT_EQ(c.columns(), 0);
}

TEST_F(TdsOdbc, ErrorsMapToSqlStates) {
    server.addRule(Rule::exact("SELECT * FROM gone", Reply::error(208, "Invalid object name 'gone'.")));
    server.addRule(
        Rule::pattern("INSERT .*", Reply::error(2627, "Violation of PRIMARY KEY constraint 'pk'.", 14)));
    Reply backup = Reply::error(3201, "Cannot open backup device 'x'.");
    backup.then(Message{3013, 16, 1, "BACKUP DATABASE is terminating abnormally.", {}, 1});
    server.addRule(Rule::pattern("backup database .*", backup, true));

    OdbcClient c;
    connect(c);
    EXPECT_EQ(c.exec("SELECT * FROM gone"), SQL_ERROR);
    std::vector<Diag> d = c.diags();
    ASSERT_EQ(d.size(), 1u);
    EXPECT_EQ(d[0].state, "42S02");
    EXPECT_EQ(d[0].native, 208);
    EXPECT_EQ(d[0].text, "[FreeTDS][SQL Server]Invalid object name 'gone'.");

    EXPECT_EQ(c.exec("INSERT INTO t VALUES (1)"), SQL_ERROR);
    EXPECT_EQ(c.diags().at(0).state, "23000");

    EXPECT_EQ(c.exec("BACKUP DATABASE x TO DISK='y'"), SQL_ERROR);
    d = c.diags();
    ASSERT_EQ(d.size(), 2u) << toString(d);
    EXPECT_EQ(d[0].native, 3201);
    EXPECT_EQ(d[1].native, 3013);
    EXPECT_EQ(d[1].state, "42000");
    // The connection is still good.
    EXPECT_EQ(c.exec("SELECT 1"), SQL_NO_DATA);
}

TEST_F(TdsOdbc, UseSwitchesDatabaseUnlessItDoesNotExist) {
    server.setDatabases({"master", "Billing"});
    server.addRule(
        Rule::callback([](const std::string &,
                          const ConnectionState &s) { return Reply::rows(names({s.database.c_str()})); },
                       "SELECT DB_NAME\\(\\)"));
    OdbcClient c;
    connect(c);
    ASSERT_EQ(c.exec("USE [Billing];"), SQL_SUCCESS_WITH_INFO); // 5701 comes along as information
    EXPECT_EQ(c.currentCatalog(), "Billing");
    ASSERT_EQ(c.exec("SELECT DB_NAME()"), SQL_SUCCESS);
    EXPECT_EQ(c.fetchAll(), std::vector<TextRow>{{"Billing"}});

    EXPECT_EQ(c.exec("USE Nope"), SQL_ERROR);
    const std::vector<Diag> d = c.diags();
    ASSERT_FALSE(d.empty());
    EXPECT_EQ(d[0].native, 911);
    EXPECT_EQ(
        d[0].text,
        "[FreeTDS][SQL Server]Database 'Nope' does not exist. Make sure that the name is entered correctly.");
    EXPECT_EQ(c.currentCatalog(), "Billing");
}

TEST_F(TdsOdbc, CallbackRulesModelChangingState) {
    std::vector<std::string> databases = {"master", "Billing", "Lab"};
    server.addRule(Rule::callback(
        [&](const std::string &, const ConnectionState &) {
            ResultSet set{{makeColumn("name", "nvarchar(128)")}, {}};
            for (const std::string &d : databases)
                set.rows.push_back({d});
            return Reply::rows(set);
        },
        "SELECT name FROM sys\\.databases.*"));
    server.addRule(Rule::callback(
        [&](const std::string &text, const ConnectionState &) -> std::optional<Reply> {
            const std::string name = text.substr(std::string("DROP DATABASE ").size());
            const auto it = std::find(databases.begin(), databases.end(), name);
            if (it == databases.end())
                return std::nullopt; // the next rule answers
            databases.erase(it);
            return Reply::done();
        },
        "DROP DATABASE \\w+"));
    server.addRule(Rule::pattern("DROP DATABASE .*", Reply::error(3701, "Cannot drop the database.")));

    OdbcClient c;
    connect(c);
    ASSERT_EQ(c.exec("SELECT name FROM sys.databases ORDER BY name"), SQL_SUCCESS);
    EXPECT_EQ(c.fetchAll().size(), 3u);
    EXPECT_EQ(c.exec("DROP DATABASE Lab"), SQL_NO_DATA);
    EXPECT_EQ(c.exec("DROP DATABASE Lab"), SQL_ERROR);
    EXPECT_EQ(c.diags().at(0).native, 3701);
    ASSERT_EQ(c.exec("SELECT name FROM sys.databases"), SQL_SUCCESS);
    EXPECT_EQ(c.fetchAll(), (std::vector<TextRow>{{"master"}, {"Billing"}}));
}

TEST_F(TdsOdbc, LongBatchesAndResultsInAnyPacketSize) {
    std::string text = "SELECT N'";
    const char *pieces[] = {"abc", "\xC3\xA9", "\xE2\x82\xAC", "\xF0\x9F\x98\x80", "\xE6\xBC\xA2", " '' "};
    for (int i = 0; text.size() < 12000; ++i)
        text += pieces[i % 6];
    text += "'\r\n-- end\ttab";
    ResultSet rows{{makeColumn("id", "int"), makeColumn("text", "nvarchar(max)")}, {}};
    for (int i = 0; i < 300; ++i)
        rows.rows.push_back({std::to_string(i), std::string(static_cast<std::size_t>(i) * 40, 'a' + i % 26)});
    server.addRule(Rule::exact(text, Reply::rows(rows)));
    // The driver asks for 4096 unless the connection string names a larger size.
    const std::pair<const char *, int> sizes[] = {
        {"", 4096}, {";PacketSize=16384", 16384}, {";PacketSize=32767", 32767}};
    for (const auto &[option, size] : sizes) {
        server.clearRecord();
        OdbcClient c;
        ASSERT_TRUE(SQL_SUCCEEDED(c.connect(cs() + option))) << toString(c.connectionDiags());
        ASSERT_EQ(c.exec(text), SQL_SUCCESS) << toString(c.diags());
        const std::vector<TextRow> got = c.fetchAll();
        ASSERT_EQ(got.size(), 300u) << option;
        EXPECT_TRUE(got[299] == (TextRow{"299", std::string(299 * 40, 'a' + 299 % 26)})) << option;
        EXPECT_TRUE(server.batches() == std::vector<std::string>{text}) << option;
        ASSERT_EQ(server.logins().size(), 1u);
        EXPECT_EQ(server.logins()[0].packetSize, size);
    }
}

TEST_F(TdsOdbc, HundredThousandRowsArriveComplete) {
    ResultSet big{{makeColumn("id", "int"), makeColumn("name", "nvarchar(50)")}, {}};
    for (int i = 0; i < 100000; ++i)
        big.rows.push_back({std::to_string(i), "row " + std::to_string(i)});
    server.addRule(Rule::exact("SELECT big", Reply::rows(big)));
    OdbcClient c;
    connect(c);
    ASSERT_EQ(c.exec("SELECT big"), SQL_SUCCESS);
    const std::vector<TextRow> rows = c.fetchAll();
    ASSERT_EQ(rows.size(), 100000u);
    EXPECT_EQ(rows[0], (TextRow{"0", "row 0"}));
    EXPECT_EQ(rows[99999], (TextRow{"99999", "row 99999"}));
    EXPECT_EQ(c.moreResults(), SQL_NO_DATA);
}

TEST_F(TdsOdbc, DroppedConnectionsAreReported) {
    server.addRule(Rule::exact("SELECT die", Reply::drop()));
    server.addRule(Rule::exact("RESTORE slow", Reply::done().after(std::chrono::seconds(60))));
    OdbcClient a, b, waiting;
    connect(a);
    connect(b);
    connect(waiting);
    EXPECT_EQ(server.openConnections(), 3);
    EXPECT_EQ(a.exec("SELECT die"), SQL_ERROR);
    // "The server restarted" also ends a reply that is being held back.
    std::thread restart([&] {
        if (server.waitForBatches(2, std::chrono::seconds(10)))
            server.dropConnections();
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(waiting.exec("RESTORE slow"), SQL_ERROR);
    restart.join();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    EXPECT_EQ(b.exec("SELECT 1"), SQL_ERROR);
    EXPECT_FALSE(b.diags().empty());
    EXPECT_EQ(server.openConnectionsSettled(0), 0);
    // The server still listens.
    OdbcClient again;
    connect(again);
    EXPECT_EQ(again.exec("SELECT 1"), SQL_NO_DATA);
    std::vector<std::string> ends;
    for (const Event &e : server.events())
        if (e.kind == Event::Kind::Disconnect)
            ends.push_back(e.text);
    // A stopped server starts again on the same port; the record stays.
    const std::uint16_t port = server.port();
    again.disconnect();
    server.stop();
    server.start("127.0.0.1", port);
    OdbcClient restarted;
    connect(restarted);
    EXPECT_EQ(restarted.exec("SELECT 2"), SQL_NO_DATA);
    EXPECT_EQ(server.batches().back(), "SELECT 2");
    std::sort(ends.begin(), ends.end());
    EXPECT_EQ(ends, (std::vector<std::string>{"dropped by a rule", "dropped by the server",
                                              "dropped by the server"}));
}

TEST_F(TdsOdbc, TwoServersOnOnePortAndSeveralConnections) {
    ScriptedServer other;
    other.start("127.0.0.3", 0);
    ScriptedServer mirror;
    mirror.start("127.0.0.2", other.port()); // same port, another loopback address
    server.addRule(Rule::exact("SELECT @@SERVERNAME", Reply::rows(names({"main"}))));
    mirror.addRule(Rule::exact("SELECT @@SERVERNAME", Reply::rows(names({"mirror"}))));

    std::atomic<int> failures{0};
    std::vector<std::thread> clients;
    for (int k = 0; k < 4; ++k) {
        clients.emplace_back([&, k] {
            OdbcClient c;
            const bool toMirror = k % 2 == 1;
            const std::string s = toMirror ? connectionString("127.0.0.2", mirror.port()) : cs();
            if (!SQL_SUCCEEDED(c.connect(s))) {
                ++failures;
                return;
            }
            for (int i = 0; i < 50; ++i)
                if (c.exec("SELECT " + std::to_string(k) + "," + std::to_string(i)) != SQL_NO_DATA)
                    ++failures;
            if (!SQL_SUCCEEDED(c.exec("SELECT @@SERVERNAME")) ||
                c.fetchAll() != std::vector<TextRow>{{toMirror ? "mirror" : "main"}})
                ++failures;
        });
    }
    for (std::thread &t : clients)
        t.join();
    EXPECT_EQ(failures, 0);
    for (ScriptedServer *s : {&server, &mirror}) {
        EXPECT_EQ(s->batches().size(), 102u);
        for (const Event &login : s->logins()) {
            const std::vector<std::string> mine = s->batches(login.connection);
            ASSERT_EQ(mine.size(), 51u);
            const std::string prefix = mine[0].substr(0, mine[0].find(',') + 1);
            for (int i = 0; i < 50; ++i)
                EXPECT_EQ(mine[static_cast<std::size_t>(i)], prefix + std::to_string(i));
        }
    }
    EXPECT_TRUE(other.batches().empty());
}

} // namespace
