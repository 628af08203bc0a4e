// The "TEST" tab on the real window, through the real driver to a scripted server on 127.0.0.2 that keeps
// a SpeedTest table of its own. Main's session is open on the same server (start-up lists its databases),
// so each press can be told apart by its connection.

#include "SpeedTable.h"
#include "WindowKit.h"
#include "gui/ui/Prompt.h"

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QThread>
#include <QTimer>

using namespace quorix;
using namespace quorix::testing;
using tds::ConnectionState;
using tds::Event;
using tds::Reply;
using tds::Rule;

namespace {

const std::string kPassword = "garden@584"; // the test string's built-in password

std::vector<std::string> fiveThousandInserts() {
    std::vector<std::string> out;
    for (int i = 1; i <= 5000; ++i)
        out.push_back("insert into QRIX..SpeedTest (DESC2) VALUES ('" + std::to_string(i) + "')");
    return out;
}

class SpeedTestWindow : public WindowTest {
protected:
    void SetUp() override {
        startMain(kPassword);
        server = main.get();
        server->addRule(Rule::exact(kList, databaseRows({"QRIX"})));
        server->addRule(Rule::callback(
            [this](const std::string &text, const ConnectionState &) { return table.answer(text); }));
        w.start();
        mainSession = server->logins().at(0).connection;
        server->clearRecord();
        Prompt::clearShown();
    }

    void press(int index) { w.find<QPushButton>(QStringLiteral("cmdTest(%1)").arg(index))->click(); }
    QString time() { return f().lblTime->text(); }
    // Connections that sent the batches recorded since the last clearRecord(), in order of first use.
    std::vector<int> batchConnections() {
        std::vector<int> out;
        for (const Event &e : server->events())
            if (e.kind == Event::Kind::Batch && (out.empty() || out.back() != e.connection))
                out.push_back(e.connection);
        return out;
    }
    // Each press closes its connection: only Main's session stays open.
    bool onlyMainSessionOpen() { return server->openConnectionsSettled(1) == 1; }

    // The server: the kit's Main.
    tds::ScriptedServer *server = nullptr;
    SpeedTable table;
    int mainSession = 0;
};

// What lblTime shows after a press that succeeded: seconds as a plain decimal number.
void expectSeconds(const QString &text) {
    bool ok = false;
    const double seconds = text.toDouble(&ok);
    EXPECT_TRUE(ok) << text.toStdString();
    EXPECT_GE(seconds, 0.0);
    EXPECT_FALSE(text.contains(QLatin1Char('e'))) << text.toStdString();
}

} // namespace

TEST(SpeedTestDefaults, ConnectionStringNamesTheMainServerOnceStartedAndIsNotRemembered) {
    {
        WindowFixture first; // nothing stored: the Main box is empty, the built-in address stays
        first.start();
        EXPECT_EQ(first.form().txtTESTConnection->text(),
                  "Provider=SQLOLEDB;Persist Security Info=True;Server=MAINSERVER;UID=sa;Database=MASTER;"
                  "Password=garden@584");
        EXPECT_EQ(first.form().lblTime->text(), "Time");
    }

    WindowFixture later;
    later.preset("MIR", "txtServer0", "db1\\MAIN,1433");
    later.start();
    later.form().txtTESTConnection->setText("edited");
    EXPECT_EQ(later.restart().form().txtTESTConnection->text(),
              "Provider=SQLOLEDB;Persist Security Info=True;Server=db1\\MAIN,1433;UID=sa;Database=MASTER;"
              "Password=garden@584");
}

// The whole tab in the order a user goes through it; each press on a fresh connection of its own.
TEST_F(SpeedTestWindow, CreateAddReadDeleteReadEachOnItsOwnConnection) {
    press(0);
    EXPECT_EQ(server->batches(),
              std::vector<std::string>{"CREATE TABLE QRIX..SpeedTest (DESC2 varchar(100))"});
    expectSeconds(time());

    // The window keeps taking events during the inserts; another button pressed meanwhile is refused.
    server->clearRecord();
    size_t seenDuringAdd = 0;
    QTimer probe;
    QObject::connect(&probe, &QTimer::timeout, [&] {
        const size_t sent = server->batches().size();
        if (sent == 0)
            return;
        seenDuringAdd = sent;
        EXPECT_EQ(time(), "");
        press(0);
        probe.stop();
    });
    probe.start(0);
    press(1);
    probe.stop();
    EXPECT_GT(seenDuringAdd, 0u);
    EXPECT_LT(seenDuringAdd, 5000u);
    EXPECT_EQ(server->batches(), fiveThousandInserts()); // the refused CREATE was never sent
    expectSeconds(time());
    EXPECT_EQ(table.rows(), 5000);
    const std::vector<int> addConnections = batchConnections();
    ASSERT_EQ(addConnections.size(), 1u);
    EXPECT_NE(addConnections[0], mainSession);
    const std::vector<Event> logins = server->logins();
    ASSERT_EQ(logins.size(), 1u);
    EXPECT_EQ(logins[0].user, "sa");
    EXPECT_EQ(logins[0].database, "MASTER");
    EXPECT_EQ(logins[0].password, kPassword);
    EXPECT_TRUE(onlyMainSessionOpen());

    for (int index : {3, 2, 3}) {
        SCOPED_TRACE(index);
        server->clearRecord();
        press(index);
        EXPECT_EQ(server->logins().size(), 1u);
        EXPECT_NE(batchConnections().at(0), mainSession);
        EXPECT_NE(batchConnections().at(0), addConnections[0]);
        expectSeconds(time());
        EXPECT_TRUE(onlyMainSessionOpen());
        if (index == 3)
            EXPECT_EQ(server->batches(), std::vector<std::string>{"select top 5000 * from QRIX..SpeedTest"});
        else
            EXPECT_EQ(server->batches(),
                      std::vector<std::string>(5000, "delete top (1) from QRIX..SpeedTest "));
    }
    EXPECT_EQ(table.rows(), 0);
    EXPECT_TRUE(Prompt::shown().isEmpty()) << Prompt::shown().join('\n').toStdString();
}

// Cancel ends the inserts where they are, like a failure; the rows added stay.
TEST_F(SpeedTestWindow, CancelEndsTheInserts) {
    table.set(true, 0);
    QTimer probe;
    QObject::connect(&probe, &QTimer::timeout, [&] {
        if (server->batches().size() >= 10) {
            w.find<QPushButton>("cmdCancel")->click();
            probe.stop();
        }
    });
    probe.start(0);
    press(1);
    ASSERT_EQ(Prompt::shown().size(), 1);
    EXPECT_TRUE(Prompt::shown().at(0).endsWith("Operation was cancelled"))
        << Prompt::shown().at(0).toStdString();
    EXPECT_EQ(time(), "");
    EXPECT_LT(server->batches().size(), 5000u);
    EXPECT_EQ(table.rows(), static_cast<int>(server->batches().size()));
    EXPECT_TRUE(onlyMainSessionOpen());
}

TEST_F(SpeedTestWindow, DeleteSendsAllItsStatementsWhenTheTableEmptiesEarly) {
    table.set(true, 100);
    press(2);
    EXPECT_EQ(server->batches(), std::vector<std::string>(5000, "delete top (1) from QRIX..SpeedTest "));
    EXPECT_EQ(table.rows(), 0);
    expectSeconds(time());
}

TEST_F(SpeedTestWindow, CreateTableTwiceShowsTheServersError) {
    press(0);
    expectSeconds(time());
    press(0);
    EXPECT_EQ(
        Prompt::shown(),
        QStringList{"[FreeTDS][SQL Server]There is already an object named 'SpeedTest' in the database."});
    EXPECT_EQ(time(), "");
    EXPECT_EQ(server->batches(),
              std::vector<std::string>(2, "CREATE TABLE QRIX..SpeedTest (DESC2 varchar(100))"));
    EXPECT_TRUE(onlyMainSessionOpen());
}

// A failure ends the press at once with the driver's description; the connection is closed all the same.
TEST_F(SpeedTestWindow, FailuresShowTheDescriptionAndLeaveTheTimeEmpty) {
    const QString invalid = "[FreeTDS][SQL Server]Invalid object name 'QRIX..SpeedTest'.";
    struct Case {
        const char *name;
        int index;
        QString connection; // empty: the box as start-up left it
        QString message;
        std::vector<std::string> sent;
    } cases[] = {
        {"no table to add to", 1, {}, invalid, {"insert into QRIX..SpeedTest (DESC2) VALUES ('1')"}},
        {"no table to delete from", 2, {}, invalid, {"delete top (1) from QRIX..SpeedTest "}},
        {"no table to read", 3, {}, invalid, {"select top 5000 * from QRIX..SpeedTest"}},
        {"wrong password",
         0,
         "Provider=SQLOLEDB;Persist Security Info=True;Server=" + serverBox(*server) +
             ";UID=sa;Database=MASTER;Password=garden@585",
         "[FreeTDS][SQL Server]Login failed for user 'sa'.",
         {}},
        {"nothing listening",
         0,
         "Provider=SQLOLEDB;Persist Security Info=True;Server=127.0.0.2,1;UID=sa;Database=MASTER;Password=x",
         {},
         {}},
    };
    const QString started = f().txtTESTConnection->text();
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        server->clearRecord();
        Prompt::clearShown();
        f().lblTime->setText("1.5");
        f().txtTESTConnection->setText(c.connection.isEmpty() ? started : c.connection);
        press(c.index);
        ASSERT_EQ(Prompt::shown().size(), 1);
        if (!c.message.isEmpty())
            EXPECT_EQ(Prompt::shown().at(0), c.message);
        else
            EXPECT_FALSE(Prompt::shown().at(0).isEmpty());
        EXPECT_EQ(time(), "");
        EXPECT_EQ(server->batches(), c.sent);
        EXPECT_TRUE(onlyMainSessionOpen());
    }
}

// Like every database button, the four refuse an empty Database box: the log says so, no connection is
// opened and nothing is sent; the time of an earlier press does not stay beside it.
TEST_F(SpeedTestWindow, AnEmptyDatabaseBoxMakesEveryButtonRefuseAndSendNothing) {
    table.set(true, 10);
    for (const QString db : {"", "   "}) {
        for (int index = 0; index < 4; ++index) {
            SCOPED_TRACE(index);
            server->clearRecord();
            f().txtLog->clear();
            f().lblTime->setText("1.5");
            f().txtDB->setText(db);
            press(index);
            EXPECT_TRUE(server->logins().empty());
            EXPECT_TRUE(server->batches().empty());
            EXPECT_EQ(textLines(f().txtLog->toPlainText()),
                      QStringList{"No database named in the Database box: nothing was sent"});
            EXPECT_EQ(time(), "");
        }
    }
    EXPECT_EQ(table.rows(), 10);
    EXPECT_TRUE(Prompt::shown().isEmpty()) << Prompt::shown().join('\n').toStdString();
    EXPECT_TRUE(onlyMainSessionOpen());
}
