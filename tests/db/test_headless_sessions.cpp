// The database path with no window at all: the server sessions on a plain host that records what it is
// given, through the real driver to the scripted server. Only a core application exists.

#include "DbTestSupport.h"
#include "core/db/DbError.h"
#include "core/db/ScriptOnly.h"
#include "core/db/ServerSessions.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

using namespace quorix;
using namespace quorix::testing;
using tds::Reply;
using tds::Rule;

namespace {

// Records every line, message and question; says whether the busy indicator was on at each line.
class RecordingHost : public SessionHost, public LogSink {
public:
    QString server[2], pw[2];
    mutable QStringList lines;
    mutable std::vector<bool> busyAt;
    QStringList told;
    QStringList followed;
    int busyNow = 0;

    QString serverName(int slot) const override { return server[slot]; }
    QString password(int slot) const override { return pw[slot]; }
    QString login(int) const override { return QStringLiteral("sa"); }
    ConnectionOptions connectionOptions(int) const override { return options; }
    ConnectionOptions options = clearOptions();
    void tell(const QString &text) override { told << text; }
    bool ask(const QString &) override { return false; }
    std::unique_ptr<HostScope> busy() override { return std::make_unique<Busy>(busyNow); }
    std::unique_ptr<HostScope> followStatement(const ConnectionTarget &, const QString &sql) override {
        followed << sql;
        return nullptr;
    }
    void LogLine(const QString &text) const override {
        lines << text;
        busyAt.push_back(busyNow > 0);
    }
    void LogError(const QString &text) const override { lines << "error: " + text; }

private:
    struct Busy : HostScope {
        explicit Busy(int &n) : count(n) { ++count; }
        ~Busy() override { --count; }
        int &count;
    };
};

class SessionWithoutWindow : public ::testing::Test {
protected:
    void SetUp() override {
        server = startServer("127.0.0.2", "pwMain");
        host.server[0] = serverBox(*server);
        host.pw[0] = "pwMain";
        scriptOnly().setLog([this](const QString &line) { host.LogLine(line); });
    }
    void TearDown() override {
        scriptOnly().setActive(false);
        scriptOnly().clear();
        scriptOnly().setLog({});
        EXPECT_EQ(host.busyNow, 0) << "the busy indicator was left on";
    }

    std::unique_ptr<tds::ScriptedServer> server;
    RecordingHost host;
    ServerSessions sessions{host, host};
};

} // namespace

TEST_F(SessionWithoutWindow, StatementsLogTheirStepsInOrderAndCountFailures) {
    server->addRule(Rule::exact("SELECT * FROM nope", Reply::error(208, "Invalid object name 'nope'.")));
    const QString refused = "[FreeTDS][SQL Server]Invalid object name 'nope'.";

    EXPECT_TRUE(sessions.ExecuteOnServer(0, "UPDATE t SET a = 1").ok());
    EXPECT_EQ(host.lines, (QStringList{"Running SQL..", "Connected.", "UPDATE t SET a = 1", "Done"}));
    EXPECT_EQ(sessions.connectionString(0),
              "Provider=SQLOLEDB;Persist Security Info=True;Server=" + serverBox(*server) +
                  ";UID=sa;Database=MASTER ;Password=pwMain");

    struct Case {
        const char *what;
        bool scriptOnly;
        QString sql;
        QStringList lines;
        bool sent;
        int failures; // counted by this statement
        int native;   // of the server's record; 0 for success
    };
    const std::vector<Case> cases = {
        {"sent", false, "DELETE FROM t", {"Running SQL..", "DELETE FROM t", "Done"}, true, 0, 0},
        {"refused",
         false,
         "SELECT * FROM nope",
         {"Running SQL..", "SELECT * FROM nope", refused},
         true,
         1,
         208},
        {"kept back by Script only",
         true,
         "DROP TABLE t",
         {"Running SQL..", "Not sent (Script only): DROP TABLE t"},
         false,
         0,
         0},
        {"a read under Script only", true, "SELECT 1", {"Running SQL..", "SELECT 1", "Done"}, true, 0, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        scriptOnly().setActive(c.scriptOnly);
        host.lines.clear();
        host.busyAt.clear();
        host.followed.clear();
        const size_t before = server->statements().size();
        const int failuresBefore = sessions.failures();

        const Outcome outcome = sessions.ExecuteOnServer(0, c.sql);

        EXPECT_EQ(host.lines, c.lines);
        EXPECT_EQ(sessions.failures() - failuresBefore, c.failures);
        EXPECT_EQ(server->statements().size() - before, c.sent ? 1u : 0u);
        EXPECT_EQ(host.followed, c.sent ? QStringList{c.sql} : QStringList{});
        EXPECT_EQ(outcome.ok(), c.native == 0);
        // A failure is logged once the busy indicator is off; every other line while it is on.
        std::vector<bool> busy(c.lines.size(), true);
        if (c.failures)
            busy.back() = false;
        EXPECT_EQ(host.busyAt, busy);
        if (c.native) {
            EXPECT_EQ(outcome.error(), refused.toStdString());
            ASSERT_NE(outcome.serverError(), nullptr);
            ASSERT_FALSE(outcome.serverError()->records().empty());
            EXPECT_EQ(outcome.serverError()->records().front().native, c.native);
        } else {
            EXPECT_EQ(outcome.serverError(), nullptr);
        }
    }
    EXPECT_TRUE(host.told.isEmpty());
}

TEST_F(SessionWithoutWindow, AFailedConnectIsToldThroughTheHost) {
    // A port nothing listens on: one the scripted server just gave up.
    auto gone = startServer("127.0.0.2", "pwMain");
    host.server[0] = serverBox(*gone);
    gone->stop();

    EXPECT_FALSE(sessions.ExecuteOnServer(0, "SELECT 1").ok());
    EXPECT_EQ(host.told, QStringList{"[FreeTDS][SQL Server]Unable to connect: Adaptive Server is unavailable "
                                     "or does not exist"});
    EXPECT_EQ(host.lines, (QStringList{"Running SQL..", "SELECT 1",
                                       "Operation is not allowed when the object is closed."}));
    EXPECT_EQ(sessions.failures(), 2); // the connect and the statement
    EXPECT_FALSE(sessions.connected(0));

    // The host's server name counts at the next connect.
    host.server[0] = serverBox(*server);
    host.lines.clear();
    EXPECT_TRUE(sessions.ExecuteOnServer(0, "SELECT 1").ok());
    EXPECT_EQ(host.lines, (QStringList{"Running SQL..", "Connected.", "SELECT 1", "Done"}));
    EXPECT_EQ(host.told.size(), 1);
}

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv); // statements wait in an event loop of the main thread
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
