// "Anonymize Right DB ->" on the real window through the real driver to a scripted Mirror whose tables live
// in the scripted server's table model: the confirmation, the work list's grid, the draws from the name
// lists, NULL and empty fields, a test run over the default list, Test Run ticked mid-table (and a test
// run unticked, which stays one), STOP, one table twice, the failures that ask "Continue?", and tables with a
// unique key walked in blocks (STOP between blocks, a refused record in a block) beside tables without one
// that keep the cursor; a click during a table, and a link dropped between tables; the role of each database
// read first, a principal of a mirroring session (or a role not read) refusing the run.

#include "HeldRequest.h"
#include "MirroringWindow.h"
#include "core/db/ServerSessions.h"
#include "core/masking/AnonymizerLists.h"
#include "gui/ui/BoxText.h"
#include "gui/ui/Prompt.h"
#include "tds/TableModel.h"

#include <QLabel>
#include <QListWidget>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <map>
#include <set>

using namespace quorix;
using namespace quorix::testing;
using tds::makeColumn;

namespace {

using Rows = std::vector<tds::Row>;
using Names = std::set<std::string>;

Names namesOf(const QString &boxText, int first, int count) {
    Names out;
    const QStringList lines = boxText.split("\r\n");
    for (int i = first; i < first + count; ++i)
        out.insert(lines[i].toStdString());
    return out;
}

class Anonymize : public MirroringWindow {
protected:
    void SetUp() override {
        MirroringWindow::SetUp();
        start();
        Prompt::clearShown();
    }
    void TearDown() override {
        Prompt::setScripted(true, true);
        MirroringWindow::TearDown();
    }

    void workList(const QString &text) { setBoxText(f().txtATables, text); }
    void run() { click("cmdAnonymize"); }
    // A table of n records: id, then the named columns, every field holding "orig".
    void table(const std::string &name, const std::vector<std::string> &columns, int n) {
        std::vector<tds::Column> cols{makeColumn("id", "int", false)};
        for (const auto &c : columns)
            cols.push_back(makeColumn(c, "nvarchar(50)"));
        Rows rows;
        for (int i = 1; i <= n; ++i) {
            tds::Row r{std::to_string(i)};
            r.resize(cols.size(), "orig");
            rows.push_back(r);
        }
        mirror->tables().set(name, cols, rows);
    }
    // The same with id as the table's primary key: walked in blocks.
    void keyedTable(const std::string &name, const std::vector<std::string> &columns, int n) {
        table(name, columns, n);
        std::vector<tds::Column> cols = mirror->tables().columns(name);
        cols[0].key = true;
        mirror->tables().set(name, cols, rows(name));
    }
    Rows rows(const std::string &name) { return mirror->tables().rows(name); }
    // Executions of statements whose text starts with prefix (their releases left out).
    int executions(const std::string &prefix) {
        int n = 0;
        for (const tds::Event &e : mirror->rpcs())
            n += e.text.starts_with(prefix) && e.procedure != "sp_unprepare" ? 1 : 0;
        return n;
    }
    std::vector<std::string> values(const std::string &name, size_t column) {
        std::vector<std::string> out;
        for (const auto &r : rows(name))
            out.push_back(r[column].value_or("NULL"));
        return out;
    }
    QStringList gridRow(int row) {
        QStringList out;
        for (int c = 0; c < f().GridA->cols(); ++c)
            out << f().GridA->textMatrix(row, c);
        return out;
    }
    // Records written: executions of the cursor's UPDATE.
    int updates() {
        int n = 0;
        for (const tds::Event &e : mirror->rpcs())
            n += e.text.starts_with("UPDATE") && e.procedure != "sp_unprepare" ? 1 : 0;
        return n;
    }
    QStringList continuePrompts() {
        QStringList out;
        for (const QString &p : Prompt::shown())
            if (p.endsWith("Continue?"))
                out << p;
        return out;
    }
};

} // namespace

TEST_F(Anonymize, AsksWithTheMirrorsConnectionStringWithoutItsPassword) {
    workList("");
    run();
    const QString expected =
        "Are you sure you want to anonymize Provider=SQLOLEDB;Persist Security Info=True;Server=" +
        serverBox(*mirror) + ";UID=sa;Database=MASTER ;Password=********?";
    // An empty work list: "done." at once, no table touched.
    EXPECT_EQ(Prompt::shown(), (QStringList{expected, "done."}));
    EXPECT_TRUE(sent(1, false).empty());
    EXPECT_EQ(f().GridA->rows(), 0);
    EXPECT_EQ(f().lstLast->count(), 1000);
    EXPECT_EQ(f().lstFirst->count(), 1004);

    // No: nothing is read or changed.
    table("Patient_data..tbmaster", {"LastName"}, 2);
    workList("Patient_data..tbmaster LastName\r\n");
    Prompt::setScripted(true, false);
    Prompt::clearShown();
    run();
    EXPECT_EQ(Prompt::shown(), QStringList{expected});
    EXPECT_EQ(values("Patient_data..tbmaster", 1), (std::vector<std::string>{"orig", "orig"}));
    EXPECT_EQ(f().GridA->rows(), 0);
}

TEST_F(Anonymize, TheGridHoldsTheParsedLinesAndOnlyTableLinesRun) {
    table("Billing..tbA", {"LastName", "FirstName"}, 3);
    table("Billing..tbB", {"LastName", "FirstName"}, 3);
    // A blank line, a line whose leading blank moves its words right, a trailing blank, two blanks in a
    // row that make FirstName the surname column.
    workList("Billing..tbA LastName \r\n\r\n Billing..tbB LastName\r\nBilling..tbB  FirstName\r\n");
    run();
    ASSERT_EQ(f().GridA->rows(), 4);
    EXPECT_EQ(f().GridA->cols(), 5);
    EXPECT_EQ(gridRow(0), (QStringList{"Billing..tbA", "LastName", "", "", ""}));
    EXPECT_EQ(gridRow(1), (QStringList{"", "", "", "", ""}));
    EXPECT_EQ(gridRow(2), (QStringList{"", "Billing..tbB", "LastName", "", ""}));
    EXPECT_EQ(gridRow(3), (QStringList{"Billing..tbB", "", "FirstName", "", ""}));
    EXPECT_EQ(log().mid(0, 2), (QStringList{"Billing..tbB", "Billing..tbA"}));

    const Names surnames = namesOf(boxText(f().txtLastNames), 0, 999);
    const Names given = namesOf(boxText(f().txtFirstnames), 0, 999);
    for (const std::string &v : values("Billing..tbA", 1))
        EXPECT_TRUE(surnames.contains(v)) << v;
    EXPECT_EQ(values("Billing..tbA", 2), (std::vector<std::string>(3, "orig")));
    EXPECT_EQ(values("Billing..tbB", 1), (std::vector<std::string>(3, "orig")));
    for (const std::string &v : values("Billing..tbB", 2))
        EXPECT_TRUE(given.contains(v)) << v;
    EXPECT_EQ(Prompt::shown().last(), "done.");
    EXPECT_TRUE(continuePrompts().isEmpty());
}

TEST_F(Anonymize, DrawsStayWithinTheListsAndLeaveNullAndEmptyFieldsAlone) {
    table("Patient_data..tbmaster", {"LastName", "FirstName", "MiddleName"}, 3000);
    auto data = rows("Patient_data..tbmaster");
    data[0][1] = std::nullopt;
    data[1][2] = "";
    mirror->tables().set("Patient_data..tbmaster", mirror->tables().columns("Patient_data..tbmaster"), data);
    workList("Patient_data..tbmaster LastName FirstName MiddleName\r\n");
    run();
    EXPECT_EQ(f().lblRecCount->text(), "3000");
    EXPECT_EQ(f().lblRecNo->text(), "3000");
    const auto after = rows("Patient_data..tbmaster");
    EXPECT_EQ(after[0][1], std::nullopt);
    EXPECT_EQ(after[1][2], "");
    // Entries 999 on are never drawn: the last surname, the last five given names.
    const Names surnames = namesOf(boxText(f().txtLastNames), 0, 999);
    const Names given = namesOf(boxText(f().txtFirstnames), 0, 999);
    int sameFirstAndMiddle = 0;
    for (size_t i = 2; i < after.size(); ++i) {
        EXPECT_TRUE(surnames.contains(*after[i][1])) << *after[i][1];
        EXPECT_TRUE(given.contains(*after[i][2])) << *after[i][2];
        EXPECT_TRUE(given.contains(*after[i][3])) << *after[i][3];
        sameFirstAndMiddle += after[i][2] == after[i][3] ? 1 : 0;
    }
    EXPECT_LT(sameFirstAndMiddle, 30); // separate draws: about 3 in 3,000 agree

    // An edited short list is never read past its end, and every entry comes up.
    setBoxText(f().txtLastNames, "Ann\r\nBea\r\nCy\r\n");
    run();
    std::set<std::string> drawn;
    for (size_t i = 2; i < 3000; ++i)
        drawn.insert(*rows("Patient_data..tbmaster")[i][1]);
    EXPECT_EQ(drawn, (std::set<std::string>{"Ann", "Bea", "Cy"}));
    EXPECT_EQ(f().lstLast->count(), 3);
}

TEST_F(Anonymize, ATestRunOnTheDefaultListVisitsOneRecordOfEachTableAndWritesNothing) {
    // The tables of the default list, with every column the list names (lines 17 and 18 share one).
    std::map<std::string, std::vector<std::string>> columns;
    std::vector<std::string> order;
    for (const QString &line : defaultWorkList().split("\r\n", Qt::SkipEmptyParts)) {
        const QStringList words = line.split(' ');
        auto &cols = columns[words[0].toStdString()];
        if (cols.empty())
            order.push_back(words[0].toStdString());
        for (const QString &w : words.mid(1))
            cols.push_back(w.toStdString());
    }
    ASSERT_EQ(order.size(), 39u);
    for (const auto &[name, cols] : columns)
        table(name, cols, 3);
    std::map<std::string, Rows> before;
    for (const auto &name : order)
        before[name] = rows(name);

    click("cmdDefault");
    f().chkTestRun->setChecked(true);
    f().lblRecCount->setText("RecCount");
    run();
    EXPECT_EQ(updates(), 0);
    for (const auto &name : order)
        EXPECT_EQ(rows(name), before[name]) << name;
    EXPECT_EQ(f().lblRecNo->text(), "1");
    EXPECT_EQ(f().lblRecCount->text(), "RecCount");
    QStringList visited = log().mid(0, 40);
    std::reverse(visited.begin(), visited.end());
    ASSERT_EQ(visited.size(), 40);
    EXPECT_EQ(visited[0], "[Patient_Data].[dbo].[tbmaster]");
    EXPECT_EQ(visited[16], "Patient_data..tbMedRecLog");
    EXPECT_EQ(visited[17], "Patient_data..tbMedRecLog");
    EXPECT_EQ(visited[39], "payroll..tbcmaster");
    EXPECT_EQ(mirror->tables().openCursors(), 0);
    EXPECT_EQ(Prompt::shown().last(), "done.");
}

TEST_F(Anonymize, LinesSeventeenAndEighteenPassOverOneTableTwice) {
    const std::vector<std::string> cols{"OrigLastName", "OrigFirstName", "OrigMiddleName",
                                        "NewLastName",  "NewFirstName",  "NewMiddleName"};
    table("Patient_data..tbMedRecLog", cols, 4);
    const QStringList lines = defaultWorkList().split("\r\n");
    workList(lines[16] + "\r\n" + lines[17] + "\r\n");
    run();
    for (size_t c = 1; c <= cols.size(); ++c)
        for (const std::string &v : values("Patient_data..tbMedRecLog", c))
            EXPECT_NE(v, "orig") << cols[c - 1];
    EXPECT_EQ(updates(), 8);
}

TEST_F(Anonymize, StopEndsTheRunAfterTheRecordInHand) {
    table("Billing..tbA", {"LastName"}, 50);
    table("Billing..tbB", {"LastName"}, 5);
    workList("Billing..tbA LastName\r\nBilling..tbB LastName\r\n");
    f().chkStop->setChecked(true); // unticked by the run's start
    // Ticked while record 5 is in hand (the timer fires whenever the run yields).
    QTimer ticker;
    ticker.setInterval(0);
    QObject::connect(&ticker, &QTimer::timeout, [this] {
        if (f().lblRecNo->text() == "5")
            f().chkStop->setChecked(true);
    });
    ticker.start();
    run();
    ticker.stop();
    const auto a = values("Billing..tbA", 1);
    EXPECT_EQ(std::count(a.begin(), a.end(), "orig"), 45);
    EXPECT_EQ(values("Billing..tbA", 1)[5], "orig");
    EXPECT_EQ(values("Billing..tbB", 1), (std::vector<std::string>(5, "orig")));
    EXPECT_EQ(Prompt::shown().last(), "done.");
}

TEST_F(Anonymize, TestRunTickedMidTableKeepsEveryLaterRecord) {
    table("Billing..tbA", {"LastName"}, 10);
    table("Billing..tbB", {"LastName"}, 3);
    workList("Billing..tbA LastName\r\nBilling..tbB LastName\r\n");
    // Ticked while record 3 is in hand (the timer fires whenever the run yields, which it does only after
    // the record's Test Run check): record 3 is written, none after it.
    QTimer ticker;
    ticker.setInterval(0);
    QObject::connect(&ticker, &QTimer::timeout, [this] {
        if (f().lblRecNo->text() == "3")
            f().chkTestRun->setChecked(true);
    });
    ticker.start();
    run();
    ticker.stop();
    const auto a = values("Billing..tbA", 1);
    EXPECT_EQ(std::count(a.begin(), a.end(), "orig"), 7);
    EXPECT_EQ(std::vector<std::string>(a.begin() + 3, a.end()), std::vector<std::string>(7, "orig"));
    EXPECT_EQ(updates(), 3);
    // The next table is visited as a test run: its first record only, nothing written.
    EXPECT_EQ(values("Billing..tbB", 1), (std::vector<std::string>(3, "orig")));
    EXPECT_EQ(f().lblRecNo->text(), "1");
    EXPECT_EQ(f().lblRecCount->text(), "10"); // kept from the table that began as a real run
    EXPECT_EQ(mirror->tables().openCursors(), 0);
    EXPECT_EQ(Prompt::shown().last(), "done.");
}

TEST_F(Anonymize, FailuresAskToContinue) {
    table("Billing..tbA", {"LastName"}, 2);
    table("Billing..tbB", {"LastName", "F1", "F2", "F3"}, 2);
    // A table that cannot be opened (one question), a column the table lacks (two questions per record:
    // the read and the assignment), a word beyond the fifth (one question while parsing).
    workList("Billing..tbMissing LastName\r\nBilling..tbA Nope LastName\r\nBilling..tbB LastName F1 F2 F3 "
             "extra\r\n");
    run();
    const QStringList asked = continuePrompts();
    ASSERT_EQ(asked.size(), 6) << Prompt::shown().join('\n').toStdString();
    EXPECT_EQ(asked[0], "Line 3 holds more than five words; \"extra\" is left out.Continue?");
    EXPECT_TRUE(asked[1].contains("tbMissing")) << asked[1].toStdString();
    for (const QString &p : asked.mid(2))
        EXPECT_EQ(p, "Item cannot be found in the collection corresponding to the requested name or "
                     "ordinal.Continue?");
    // Yes went on: the columns that exist got their names.
    for (const std::string &v : values("Billing..tbA", 1))
        EXPECT_NE(v, "orig");
    for (const std::string &v : values("Billing..tbB", 4))
        EXPECT_NE(v, "orig");
    EXPECT_EQ(Prompt::shown().last(), "done.");

    // No ends the run at once, without "done.": nothing of the record in hand is written.
    Prompt::clearShown();
    table("Billing..tbA", {"LastName"}, 2);
    workList("Billing..tbA Nope LastName\r\nBilling..tbB LastName\r\n");
    whenLogged("Billing..tbA", [] { Prompt::setScripted(true, false); });
    run();
    EXPECT_EQ(continuePrompts().size(), 1);
    EXPECT_NE(Prompt::shown().last(), "done.");
    EXPECT_EQ(values("Billing..tbA", 1), (std::vector<std::string>(2, "orig")));
    EXPECT_EQ(mirror->tables().openCursors(), 0);
}

TEST_F(Anonymize, ATableWithAUniqueKeyGoesInBlocksAndOneWithoutKeepsTheCursor) {
    // Three name columns and the key: 524 records a block.
    keyedTable("Billing..tbKeyed", {"LastName", "FirstName", "MiddleName"}, 1200);
    Rows data = rows("Billing..tbKeyed");
    data[0][1] = std::nullopt;
    data[700][2] = "";
    mirror->tables().set("Billing..tbKeyed", mirror->tables().columns("Billing..tbKeyed"), data);
    table("Billing..tbHeap", {"LastName"}, 3);
    workList("Billing..tbKeyed LastName FirstName MiddleName\r\nBilling..tbHeap LastName\r\n");
    run();
    const Names surnames = namesOf(boxText(f().txtLastNames), 0, 999);
    const Names given = namesOf(boxText(f().txtFirstnames), 0, 999);
    const Rows after = rows("Billing..tbKeyed");
    ASSERT_EQ(after.size(), 1200u);
    EXPECT_EQ(after[0][1], std::nullopt);
    EXPECT_EQ(after[700][2], "");
    for (size_t i = 0; i < after.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(after[i][0], std::to_string(i + 1));
        if (i != 0)
            EXPECT_TRUE(surnames.contains(*after[i][1])) << *after[i][1];
        if (i != 700)
            EXPECT_TRUE(given.contains(*after[i][2])) << *after[i][2];
        EXPECT_TRUE(given.contains(*after[i][3])) << *after[i][3];
    }
    for (const std::string &v : values("Billing..tbHeap", 1))
        EXPECT_TRUE(surnames.contains(v)) << v;
    // Three blocks read and written (524, 524, 152 records), the last filled up with rows that join nothing;
    // the table without a key record by record through the cursor.
    EXPECT_EQ(executions("SELECT TOP (@P1) id, LastName, FirstName, MiddleName FROM Billing..tbKeyed "), 3);
    EXPECT_EQ(
        executions("UPDATE t SET LastName = COALESCE(v.LastName, t.LastName), FirstName = "
                   "COALESCE(v.FirstName, t.FirstName), MiddleName = COALESCE(v.MiddleName, t.MiddleName) "
                   "FROM Billing..tbKeyed AS t JOIN (VALUES (@P1, @P2, @P3, @P4), "),
        3);
    EXPECT_EQ(updates(), 3 + 3);
    int cursors = 0;
    for (const std::string &b : mirror->batches()) {
        cursors += b.find(" CURSOR GLOBAL ") != std::string::npos ? 1 : 0;
        EXPECT_EQ(b.find("tbKeyed AS t"), std::string::npos);
    }
    EXPECT_EQ(cursors, 1);
    EXPECT_EQ(f().lblRecCount->text(), "3");
    EXPECT_TRUE(continuePrompts().isEmpty());
    EXPECT_EQ(Prompt::shown().last(), "done.");

    // A test run visits the first record and writes nothing.
    keyedTable("Billing..tbKeyed", {"LastName", "FirstName", "MiddleName"}, 1200);
    workList("Billing..tbKeyed LastName FirstName MiddleName\r\n");
    mirror->clearRecord();
    f().chkTestRun->setChecked(true);
    f().lblRecCount->setText("RecCount");
    run();
    f().chkTestRun->setChecked(false);
    EXPECT_EQ(executions("UPDATE"), 0);
    EXPECT_EQ(values("Billing..tbKeyed", 1), std::vector<std::string>(1200, "orig"));
    EXPECT_EQ(f().lblRecNo->text(), "1");
    EXPECT_EQ(f().lblRecCount->text(), "RecCount");
}

TEST_F(Anonymize, StopIsReadBetweenBlocks) {
    keyedTable("Billing..tbA", {"LastName", "FirstName", "MiddleName"}, 1200);
    keyedTable("Billing..tbB", {"LastName"}, 5);
    workList("Billing..tbA LastName FirstName MiddleName\r\nBilling..tbB LastName\r\n");
    // Ticked at the first yield after the first block (the timer fires whenever the run yields).
    QTimer ticker;
    ticker.setInterval(0);
    QObject::connect(&ticker, &QTimer::timeout, [this] {
        if (f().lblRecNo->text() == "524")
            f().chkStop->setChecked(true);
    });
    ticker.start();
    run();
    ticker.stop();
    const auto a = values("Billing..tbA", 1);
    EXPECT_EQ(std::count(a.begin(), a.end(), "orig"), 1200 - 524);
    EXPECT_EQ(std::count(a.begin(), a.begin() + 524, "orig"), 0);
    EXPECT_EQ(values("Billing..tbB", 1), (std::vector<std::string>(5, "orig")));
    EXPECT_EQ(Prompt::shown().last(), "done.");
}

TEST_F(Anonymize, ARefusedRecordInABlockIsAskedAboutOnceAndTheOthersAreWritten) {
    std::vector<tds::Column> cols{makeColumn("id", "int", false), makeColumn("LastName", "nvarchar(5)")};
    cols[0].key = true;
    Rows data;
    for (int i = 1; i <= 60; ++i)
        data.push_back({std::to_string(i), "orig"});
    mirror->tables().set("Billing..tbShort", cols, data);
    setBoxText(f().txtLastNames, "Ann\r\nBea\r\nChristopher\r\n"); // the last is too long for the column
    workList("Billing..tbShort LastName\r\n");
    run();
    const std::vector<std::string> after = values("Billing..tbShort", 1);
    const auto left = std::count(after.begin(), after.end(), "orig");
    EXPECT_GT(left, 0);
    EXPECT_EQ(std::count(after.begin(), after.end(), "Ann") + std::count(after.begin(), after.end(), "Bea") +
                  left,
              60);
    const QStringList asked = continuePrompts();
    ASSERT_EQ(asked.size(), left);
    for (const QString &p : asked)
        EXPECT_TRUE(p.contains("Christopher")) << p.toStdString();
    EXPECT_EQ(Prompt::shown().last(), "done.");
}

// A click on the work list's next table and on another database of the Mirror's list while the first
// table's count is held by the server: the first table's step goes on with its own table, the next table
// is the one the walk gives, and nothing reaches the clicked database.
TEST_F(Anonymize, AClickDuringATableLeavesTheStepOnItsTable) {
    mirrorDbs.set({"Billing", "Payroll"});
    click("cmdRefreshDB(1)");
    keyedTable("Billing..tbA", {"LastName"}, 3);
    keyedTable("Billing..tbB", {"LastName"}, 3);
    workList("Billing..tbA LastName\r\nBilling..tbB LastName\r\n");
    HeldRequest held(*mirror, "SELECT COUNT_BIG(*) FROM Billing..tbA", [this] {
        ASSERT_TRUE(clickRow(f().GridA, "Billing..tbB"));
        ASSERT_TRUE(clickRow(f().GridDB[1], "Payroll"));
    });
    mirror->clearRecord();
    run();
    ASSERT_TRUE(held.wasHeld());
    const std::vector<std::string> statements = mirror->statements();
    size_t lastOfA = 0, firstOfB = statements.size();
    for (size_t i = 0; i < statements.size(); ++i) {
        if (statements[i].find("tbA") != std::string::npos)
            lastOfA = i;
        if (statements[i].find("tbB") != std::string::npos)
            firstOfB = std::min(firstOfB, i);
        EXPECT_EQ(statements[i].find("Payroll"), std::string::npos) << statements[i];
    }
    EXPECT_LT(lastOfA, firstOfB);
    for (const char *t : {"Billing..tbA", "Billing..tbB"})
        for (const std::string &v : values(t, 1))
            EXPECT_NE(v, "orig") << t;
}

// The Mirror drops the link while tbB is counted: tbB is logged and counted as failed, the session
// reconnects before tbC and is put back in the database it was in (Billing) before tbC is read.
TEST_F(Anonymize, ALinkDroppedBetweenTablesIsReconnectedInTheSessionsDatabase) {
    for (const char *t : {"Billing..tbA", "Billing..tbB", "Billing..tbC"})
        keyedTable(t, {"LastName"}, 2);
    workList("Billing..tbA LastName\r\nBilling..tbB LastName\r\nBilling..tbC LastName\r\n");
    ServerSessions &sessions = w.window().sessions();
    ASSERT_TRUE(sessions.ExecuteOnServer(1, "use Billing").ok());
    auto dropped = std::make_shared<std::atomic<bool>>(false);
    mirror->addFirstRule(tds::Rule::callback(
        [dropped](const std::string &, const tds::ConnectionState &) -> std::optional<tds::Reply> {
            return dropped->exchange(true) ? std::nullopt : std::optional(tds::Reply::drop());
        },
        R"(SELECT COUNT_BIG\(\*\) FROM Billing\.\.tbB)"));
    auto tbCIn = std::make_shared<std::string>();
    mirror->addFirstRule(tds::Rule::callback(
        [tbCIn](const std::string &, const tds::ConnectionState &state) -> std::optional<tds::Reply> {
            *tbCIn = state.database;
            return std::nullopt;
        },
        R"(SELECT COUNT_BIG\(\*\) FROM Billing\.\.tbC)"));
    const int failuresBefore = sessions.failures();
    f().txtLog->clear();
    run();

    EXPECT_EQ(*tbCIn, "Billing");
    const std::vector<tds::Event> logins = mirror->logins();
    ASSERT_FALSE(logins.empty());
    const std::vector<std::string> afterReconnect = mirror->batches(logins.back().connection);
    ASSERT_FALSE(afterReconnect.empty());
    EXPECT_EQ(afterReconnect.front(), "use Billing");
    const QStringList lines = logged();
    const qsizetype cut = lines.indexOf("Billing..tbB failed: the link to the server was lost");
    ASSERT_GE(cut, 0) << lines.join('\n').toStdString();
    EXPECT_EQ(lines.mid(cut + 1), (QStringList{"Reconnected.", "Billing..tbC"}));
    EXPECT_GT(sessions.failures(), failuresBefore);
    for (const char *t : {"Billing..tbA", "Billing..tbC"})
        for (const std::string &v : values(t, 1))
            EXPECT_NE(v, "orig") << t;
    EXPECT_EQ(values("Billing..tbB", 1), (std::vector<std::string>(2, "orig")));
}

namespace {

const std::string kRoleOfPatientData =
    "SELECT mirroring_role_desc FROM sys.database_mirroring WHERE database_id = DB_ID(N'Patient_data')";
const std::string kRoleOfBilling =
    "SELECT mirroring_role_desc FROM sys.database_mirroring WHERE database_id = DB_ID(N'Billing')";

tds::Reply roleRow(const std::optional<std::string> &role) {
    return tds::Reply::rows({{makeColumn("mirroring_role_desc", "nvarchar(60)")}, {{role}}});
}

} // namespace

TEST_F(Anonymize, APrincipalOfAMirroringSessionIsRefusedAndNothingIsWritten) {
    table("Billing..tbA", {"LastName"}, 2);
    table("Patient_data..tbmaster", {"LastName"}, 2);
    mirror->addRule(tds::Rule::exact(kRoleOfBilling, roleRow("MIRROR")));
    mirror->addRule(tds::Rule::exact(kRoleOfPatientData, roleRow("PRINCIPAL")));
    workList("Billing..tbA LastName\r\nPatient_data..tbmaster LastName\r\n");
    mirror->clearRecord();
    run();
    const QString refusal =
        "The database Patient_data on " + serverBox(*mirror) +
        " is the principal of a mirroring session: it is the copy in use, not a test copy. "
        "Nothing was anonymized.";
    EXPECT_EQ(Prompt::shown().mid(1), QStringList{refusal}); // after the confirmation; no "done."
    EXPECT_EQ(log().first(), refusal);
    // Each database's role read, in the work list's order, and nothing else: the mirror's tables too stay
    // as they were, since the run is refused before its first table.
    EXPECT_EQ(sent(1, false), (std::vector<std::string>{kRoleOfBilling, kRoleOfPatientData}));
    EXPECT_EQ(values("Billing..tbA", 1), (std::vector<std::string>{"orig", "orig"}));
    EXPECT_EQ(values("Patient_data..tbmaster", 1), (std::vector<std::string>{"orig", "orig"}));
    EXPECT_EQ(updates(), 0);
}

TEST_F(Anonymize, AMirrorOrADatabaseWithoutMirroringGoesOnAndATestRunReadsNoRole) {
    table("Billing..tbA", {"LastName"}, 2);
    table("Patient_data..tbmaster", {"LastName"}, 2);
    mirror->addRule(tds::Rule::exact(kRoleOfBilling, roleRow("MIRROR")));
    mirror->addRule(tds::Rule::exact(kRoleOfPatientData, roleRow(std::nullopt)));
    workList("Billing..tbA LastName\r\nPatient_data..tbmaster LastName\r\nBilling..tbA LastName\r\n");
    mirror->clearRecord();
    run();
    EXPECT_EQ(Prompt::shown().last(), "done.");
    const std::vector<std::string> batches = sent(1, false);
    ASSERT_GE(batches.size(), 2u);
    EXPECT_EQ(std::vector<std::string>(batches.begin(), batches.begin() + 2),
              (std::vector<std::string>{kRoleOfBilling, kRoleOfPatientData}));
    EXPECT_EQ(std::count(batches.begin(), batches.end(), kRoleOfBilling), 1);
    EXPECT_NE(values("Patient_data..tbmaster", 1), (std::vector<std::string>{"orig", "orig"}));

    // A test run writes nothing and reads no role.
    mirror->clearRecord();
    f().chkTestRun->setChecked(true);
    run();
    for (const std::string &b : sent(1, false))
        EXPECT_EQ(b.find("sys.database_mirroring"), std::string::npos) << b;
    f().chkTestRun->setChecked(false);
}

// Test Run unticked while a statement of a test run is held on the server: the run stays a test run, which
// read no role, so it writes nothing, neither in blocks (tbA, keyed) nor through the cursor (tbB).
TEST_F(Anonymize, TestRunUntickedDuringATestRunWritesNothing) {
    keyedTable("Billing..tbA", {"LastName"}, 3);
    table("Billing..tbB", {"LastName"}, 3);
    mirror->addRule(tds::Rule::exact(kRoleOfBilling, roleRow("PRINCIPAL")));
    workList("Billing..tbA LastName\r\nBilling..tbB LastName\r\n");
    f().chkTestRun->setChecked(true);
    HeldRequest held(*mirror, "SELECT TOP (@P1) id, LastName FROM Billing..tbA ORDER BY id",
                     [this] { f().chkTestRun->setChecked(false); });
    mirror->clearRecord();
    run();
    ASSERT_TRUE(held.wasHeld());
    EXPECT_FALSE(f().chkTestRun->isChecked());
    EXPECT_EQ(values("Billing..tbA", 1), (std::vector<std::string>(3, "orig")));
    EXPECT_EQ(values("Billing..tbB", 1), (std::vector<std::string>(3, "orig")));
    EXPECT_EQ(updates(), 0);
    for (const std::string &b : sent(1, false))
        EXPECT_EQ(b.find("sys.database_mirroring"), std::string::npos) << b;
    EXPECT_EQ(Prompt::shown().last(), "done.");
}

TEST_F(Anonymize, ARoleThatCannotBeReadRefusesTheRun) {
    table("Billing..tbA", {"LastName"}, 2);
    mirror->addRule(
        tds::Rule::exact(kRoleOfBilling, tds::Reply::error(229, "The SELECT permission was denied.")));
    workList("Billing..tbA LastName\r\n");
    run();
    EXPECT_EQ(Prompt::shown().last(), "The mirroring role of Billing on " + serverBox(*mirror) +
                                          " could not be read; nothing was anonymized.");
    EXPECT_EQ(values("Billing..tbA", 1), (std::vector<std::string>{"orig", "orig"}));
}
