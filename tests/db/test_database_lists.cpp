// The database lists and the table browser on the real window, through the real driver to two scripted
// servers: Main on 127.0.0.2, Mirror on 127.0.0.3.

#include "WindowKit.h"
#include "core/db/ServerSessions.h"
#include "gui/ui/BoxText.h"
#include "gui/ui/DatabaseLists.h"
#include "gui/ui/DatabaseWalk.h"
#include "gui/ui/Prompt.h"
#include "gui/ui/widgets/Grid.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

using namespace quorix;
using namespace quorix::testing;
using tds::ConnectionState;
using tds::Reply;
using tds::ResultSet;
using tds::Rule;
using tds::SqlType;

namespace {

// Main's table browser: each database has its own tables, answered for the database the session is in.
Reply tablesOf(const std::string &db) {
    ResultSet set{{tds::makeColumn("TableName", "nvarchar(128)"),
                   tds::makeColumn("SchemaName", "nvarchar(128)"), tds::makeColumn("RowCounts", "bigint"),
                   tds::makeColumn("TotalSpaceKB", "bigint"), tds::makeColumn("UsedSpaceKB", "bigint"),
                   tds::makeColumn("UnusedSpaceKB", "bigint")},
                  {}};
    for (int i = 0; i < (db == "Billing" ? 3 : 2); ++i)
        set.rows.push_back({db + "_t" + std::to_string(i), "dbo", "10", "80", "72", "8"});
    return Reply::rows(set);
}

class Lists : public WindowTest {
protected:
    void SetUp() override {
        main = startServer("127.0.0.2", "pwMain");
        mirror = startServer("127.0.0.3", "pwMirror");
        main->setDatabases({"master", "Billing", "Payroll"});
        main->addRule(Rule::exact(kList, databaseRows({"Billing", "Payroll"})));
        mirror->addRule(Rule::exact(kList, databaseRows({"Billing", "Radiology", "Zeta"})));
        main->addRule(
            Rule::callback([](const std::string &text, const ConnectionState &state) -> std::optional<Reply> {
                if (text != utf8(DatabaseLists::kTableSizeStatement))
                    return std::nullopt;
                return tablesOf(state.database);
            }));
        preset(true, true);
        w.start();
    }
    void preset(bool mainPw, bool mirrorPw) {
        w.preset("MIR", "txtServer0", serverBox(*main));
        w.preset("MIR", "txtServer1", serverBox(*mirror));
        if (mainPw)
            w.preset("MIR", "DB0", "pwMain");
        if (mirrorPw)
            w.preset("MIR", "DB1", "pwMirror");
    }
    DatabaseLists &lists() { return w.window().databaseLists(); }
    QStringList column0(Grid *g) {
        QStringList out;
        for (int r = 0; r < g->rows(); ++r)
            out << g->textMatrix(r, 0);
        return out;
    }
    QString topLog() { return f().txtLog->toPlainText().section(QLatin1Char('\n'), 0, 0); }
};

} // namespace

TEST_F(Lists, StartUpListsBothServersAndAClickNamesTheCurrentDatabase) {
    EXPECT_EQ(column0(f().GridDB[0]), (QStringList{"Billing", "Payroll"}));
    EXPECT_EQ(column0(f().GridDB[1]), (QStringList{"Billing", "Radiology", "Zeta"}));
    EXPECT_EQ(f().lblDBCount[0]->text(), "2");
    EXPECT_EQ(f().lblDBCount[1]->text(), "3");
    EXPECT_EQ(main->batches(), std::vector<std::string>{kList});
    // The name column keeps its 3000 twips however wide the grid is.
    for (Grid *grid : f().GridDB) {
        grid->resize(2 * 3000 * grid->logicalDpiX() / 1440, 200);
        EXPECT_EQ(grid->columnWidth(0), 3000 * grid->logicalDpiX() / 1440);
    }

    f().GridDB[1]->setRow(2);
    lists().GridDB_Click(1);
    EXPECT_EQ(f().txtDB->text(), "Zeta");
}

TEST_F(Lists, ADoubleClickOnTheMirrorListListsThatDatabasesTablesOnMain) {
    f().GridDB[1]->setRow(0);
    lists().GridDB_Click(1);
    lists().GridDB_DblClick(1);
    EXPECT_EQ(main->batches(),
              (std::vector<std::string>{kList, "use Billing", utf8(DatabaseLists::kTableSizeStatement)}));
    EXPECT_EQ(mirror->batches(), std::vector<std::string>{kList});
    EXPECT_EQ(column0(f().Grid2), (QStringList{"Billing_t0", "Billing_t1", "Billing_t2"}));
    EXPECT_EQ(f().Grid2->cols(), 6);
    EXPECT_EQ(f().lblcount->text(), "3"); // the number of tables listed
}

TEST_F(Lists, ADatabaseMainLacksLogsTheFailedUseAndListsThePreviousDatabase) {
    f().txtDB->setText("Payroll");
    lists().GridDB_DblClick(0);
    f().txtLog->clear();

    f().GridDB[1]->setRow(1); // Radiology exists only on the Mirror
    lists().GridDB_Click(1);
    lists().GridDB_DblClick(1);
    EXPECT_TRUE(topLog().startsWith("[FreeTDS][SQL Server]Database 'Radiology' does not exist"))
        << topLog().toStdString();
    EXPECT_TRUE(topLog().endsWith(" use Radiology"));
    EXPECT_EQ(column0(f().Grid2), (QStringList{"Payroll_t0", "Payroll_t1"}));
    EXPECT_EQ(f().lblcount->text(), "2");
}

TEST_F(Lists, FailuresKeepWhatTheListsAndTheBrowserShowed) {
    f().txtDB->setText("Billing");
    lists().GridDB_DblClick(0);
    ASSERT_EQ(f().lblcount->text(), "3");

    main->clearRules();
    main->addRule(Rule::pattern(".*", Reply::error(229, "The SELECT permission was denied.", 14)));
    lists().GridDB_DblClick(0);
    EXPECT_EQ(f().Grid2->rows(), 3);
    EXPECT_EQ(f().lblcount->text(), "3");
    lists().cmdRefreshDB_Click(0);
    EXPECT_EQ(column0(f().GridDB[0]), (QStringList{"Billing", "Payroll"}));
    EXPECT_EQ(f().lblDBCount[0]->text(), "2");

    // A session that cannot open: the box, the logged query, the list unchanged.
    mirror->stop();
    f().txtLog->clear();
    Prompt::clearShown();
    w.find<QPushButton>("cmdConnect(1)")->click();
    Prompt::clearShown();
    w.find<QPushButton>("cmdRefreshDB(1)")->click();
    ASSERT_EQ(Prompt::shown().size(), 1);
    EXPECT_TRUE(Prompt::shown()[0].contains("Unable to connect"));
    EXPECT_TRUE(topLog().endsWith(QString::fromStdString(" " + kList))) << topLog().toStdString();
    EXPECT_EQ(f().GridDB[1]->rows(), 3);
    EXPECT_EQ(f().lblDBCount[1]->text(), "3");
}

TEST_F(Lists, TableSizesRunsTheScriptOfTheBoxOnItsSlot) {
    f().txtTableSizes->setPlainText("SELECT 1\nSELECT 2");
    w.find<QPushButton>("cmdTableSizes(1)")->click();
    EXPECT_EQ(mirror->batches().back(), "SELECT 1\r\nSELECT 2");
    EXPECT_EQ(topLog(), "Done");
}

TEST_F(Lists, TheAllDatabasesWalkFollowsTheCheckBoxes) {
    QStringList seen;
    f().chkALL->setChecked(true);
    EXPECT_TRUE(walkDatabases(f(), w.window().sessions(), 1, [&](const QString &db) {
        EXPECT_EQ(db, f().txtDB->text()); // the step's database, as the walk put it in the box
        seen << db;
        return WalkOn::Next;
    }));
    EXPECT_EQ(seen, (QStringList{"Billing", "Radiology", "Zeta"}));
    EXPECT_EQ(f().txtDB->text(), "Zeta");

    // Unticking ALL DBS ends the walk after the current database.
    seen.clear();
    EXPECT_FALSE(walkDatabases(f(), w.window().sessions(), 1, [&](const QString &db) {
        EXPECT_EQ(db, f().txtDB->text()); // the step's database, as the walk put it in the box
        seen << db;
        f().chkALL->setChecked(false);
        return WalkOn::Next;
    }));
    EXPECT_EQ(seen, QStringList{"Billing"});

    // STOP ends it where the feature says so, and is unticked where it says so.
    f().chkALL->setChecked(true);
    seen.clear();
    EXPECT_FALSE(walkDatabases(f(), w.window().sessions(), 1,
                               [&](const QString &db) {
                                   seen << db;
                                   f().chkStop->setChecked(seen.size() == 2);
                                   return WalkOn::Next;
                               },
                               {.stopOnStop = true, .untickStop = true}));
    EXPECT_EQ(seen, (QStringList{"Billing", "Radiology"}));
    EXPECT_FALSE(f().chkStop->isChecked());

    // Without ALL DBS: the current database alone.
    f().chkALL->setChecked(false);
    f().txtDB->setText("Solo");
    seen.clear();
    forCurrentOrAllDatabases(f(), w.window().sessions(), 0, [&](const QString &db) {
        EXPECT_EQ(db, f().txtDB->text()); // the step's database, as the walk put it in the box
        seen << db;
        return WalkOn::Next;
    });
    EXPECT_EQ(seen, QStringList{"Solo"});
}

class ListsAtStartUp : public Lists {
protected:
    void SetUp() override {}
};

TEST_F(ListsAtStartUp, OnlyServersWithAStoredPasswordAreListedAndSystemOnlyServersListNothing) {
    main = startServer("127.0.0.2", "pwMain");
    mirror = startServer("127.0.0.3", "pwMirror");
    main->addRule(Rule::exact(kList, databaseRows({})));
    preset(true, false);
    w.start();
    EXPECT_EQ(main->batches(), std::vector<std::string>{kList});
    EXPECT_TRUE(mirror->logins().empty());
    EXPECT_EQ(f().GridDB[0]->rows(), 0);
    EXPECT_EQ(f().lblDBCount[0]->text(), "0");
    EXPECT_EQ(f().lblDBCount[1]->text(), "count");

    const QString before = f().txtDB->text();
    lists().GridDB_Click(0);
    EXPECT_EQ(f().txtDB->text(), before);
}
