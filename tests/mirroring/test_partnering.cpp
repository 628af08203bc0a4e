// The partnering buttons on the real window through the real driver: Set Partner naming the other
// server, Make Online always sending its three statements, Full Recovery Mode, Clear Connections, DropDB
// on each slot and Drop ALL in its four shapes, the ALL DBS walks with STOP, and a hostile name.

#include "MirroringWindow.h"

#include <QApplication>
#include <QLabel>
#include <atomic>

using namespace quorix;
using namespace quorix::testing;
using tds::Reply;
using tds::Rule;

namespace {

using Batches = std::vector<std::string>;

std::string partner(const std::string &db, const std::string &address) {
    return "ALTER DATABASE [" + db + "] SET PARTNER = 'TCP://" + address + ":5024'  ";
}
std::string safetyOff(const std::string &db) {
    return "ALTER DATABASE [" + db + "] SET PARTNER SAFETY OFF  ";
}
Batches makeOnline(const std::string &db) {
    return {"ALTER DATABASE " + db + " SET PARTNER OFF ", "RESTORE DATABASE " + db + " WITH RECOVERY  ",
            "ALTER DATABASE " + db + " SET RECOVERY FULL"};
}
std::string fullRecovery(const std::string &db) {
    return "ALTER DATABASE " + db + " SET RECOVERY FULL";
}
std::string clearConnections(const std::string &dbText) {
    return clearConnectionsWith("'" + dbText + "'");
}
std::string drop(const std::string &db) {
    return "DROP DATABASE " + db + " ";
}
// One pass of Drop ALL: clear connections of the top database, make online (each listed database), drop.
Batches pass(const std::string &top, const std::vector<std::string> &madeOnline, const std::string &dropped) {
    Batches b{clearConnections(top)};
    for (const auto &db : madeOnline)
        for (const auto &s : makeOnline(db))
            b.push_back(s);
    if (!dropped.empty())
        b.push_back(drop(dropped));
    return b;
}
Batches concat(std::initializer_list<Batches> parts) {
    Batches out;
    for (const auto &p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

class Partners : public MirroringWindow {
protected:
    void SetUp() override {
        MirroringWindow::SetUp();
        mainDbs.set({"Billing", "Payroll"});
        mirrorDbs.set({"Billing", "Payroll", "Radiology"});
        // A dropped database leaves the Mirror's list.
        mirror->addRule(Rule::callback(
            [this](const std::string &text, const tds::ConnectionState &) -> std::optional<Reply> {
                mirrorDbs.remove(text.substr(14, text.size() - 15));
                return Reply::done();
            },
            "DROP DATABASE .* "));
        // Safety can only be set on the principal.
        mirror->addRule(
            Rule::pattern(R"(ALTER DATABASE \[.*\] SET PARTNER SAFETY OFF  )",
                          Reply::error(1416, "Database is not configured for database mirroring.")));
        start();
        f().txtDB->setText("Billing");
    }
};

} // namespace

TEST_F(Partners, SetPartnerNamesTheOtherServersEndpoint) {
    click("cmdSetPartner(1)");
    EXPECT_EQ(sent(1), (Batches{partner("Billing", "127.0.0.2"), safetyOff("Billing")}));
    EXPECT_TRUE(sent(0).empty());
    EXPECT_EQ(log().first(), driverError("Database is not configured for database mirroring."));

    resetRecord();
    click("cmdSetPartner(0)");
    EXPECT_EQ(sent(0), (Batches{partner("Billing", "127.0.0.3"), safetyOff("Billing")}));
    EXPECT_EQ(log().first(), "Done");
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);

    // The endpoint is the server's host: an instance name or SQL port in the box is not part of it.
    resetRecord();
    f().txtServer[0]->setText("MAINSRV\\PROD");
    click("cmdSetPartner(1)");
    EXPECT_EQ(sent(1).front(), partner("Billing", "MAINSRV"));
}

TEST_F(Partners, SetPartnerWalksTheListUntilStopWhichStaysTicked) {
    f().chkALL->setChecked(true);
    whenCurrentDatabaseIs("Payroll", [this] { f().chkStop->setChecked(true); });
    click("cmdSetPartner(1)");
    EXPECT_EQ(sent(1), (Batches{partner("Billing", "127.0.0.2"), safetyOff("Billing"),
                                partner("Payroll", "127.0.0.2"), safetyOff("Payroll")}));
    EXPECT_TRUE(f().chkStop->isChecked());
    EXPECT_EQ(f().txtDB->text(), "Payroll");

    // STOP still ticked: the next walk ends after its first database.
    resetRecord();
    click("cmdSetPartner(0)");
    EXPECT_EQ(sent(0), (Batches{partner("Billing", "127.0.0.3"), safetyOff("Billing")}));
}

TEST_F(Partners, MakeOnlineAlwaysSendsAllThreeStatements) {
    main->addRule(Rule::pattern(".*SET PARTNER OFF ", Reply::error(1416, "Database is not configured for "
                                                                         "database mirroring.")));
    main->addRule(Rule::pattern("RESTORE DATABASE .*", Reply::error(3159, "The database is already fully "
                                                                          "recovered.")));
    click("cmdMakeOnline(0)");
    EXPECT_EQ(sent(0), makeOnline("Billing"));
    EXPECT_EQ(log().first(), "Done");
    EXPECT_EQ(log().count(driverError("The database is already fully recovered.")), 1);

    // ALL DBS: every database of the slot's list; unticking it ends the walk after the current one.
    resetRecord();
    f().chkALL->setChecked(true);
    click("cmdMakeOnline(1)");
    EXPECT_EQ(sent(1), concat({makeOnline("Billing"), makeOnline("Payroll"), makeOnline("Radiology")}));
    resetRecord();
    whenCurrentDatabaseIs("Billing", [this] { f().chkALL->setChecked(false); });
    click("cmdMakeOnline(1)");
    EXPECT_EQ(sent(1), makeOnline("Billing"));

    // Ticking it during a single-database run has no effect on that run.
    resetRecord();
    f().txtDB->setText("Payroll");
    whenLogged("Running SQL..", [this] { f().chkALL->setChecked(true); });
    click("cmdMakeOnline(1)");
    EXPECT_EQ(sent(1), makeOnline("Payroll"));
}

TEST_F(Partners, FullRecoveryModeOnMain) {
    click("cmdFullRecovery(0)");
    EXPECT_EQ(sent(0), Batches{fullRecovery("Billing")});
    resetRecord();
    f().chkALL->setChecked(true);
    click("cmdFullRecovery(0)");
    EXPECT_EQ(sent(0), (Batches{fullRecovery("Billing"), fullRecovery("Payroll")}));
    EXPECT_TRUE(sent(1).empty());
}

TEST_F(Partners, ClearConnectionsNamesTheWholeDatabaseOnItsSlot) {
    const std::string longName = "Clinical_Area_Hemodialysis_Archive_2019"; // 39 characters
    f().txtDB->setText(QString::fromStdString(longName));
    f().chkALL->setChecked(true); // no ALL mode here
    click("cmdClearConnections(1)");
    EXPECT_EQ(sent(1), Batches{clearConnections(longName)});
    EXPECT_TRUE(sent(0).empty());
}

TEST_F(Partners, DropDbDropsOnTheMirrorOnlyAndTakesTheTopRow) {
    f().txtDB->setText("Payroll");
    click("cmdDrop(0)");
    EXPECT_TRUE(sent(0).empty());
    EXPECT_TRUE(log().isEmpty());
    EXPECT_EQ(f().txtDB->text(), "Payroll");

    f().txtDB->setText("Radiology");
    click("cmdDrop(1)");
    EXPECT_EQ(sent(1), (Batches{drop("Radiology"), kList}));
    EXPECT_EQ(f().txtDB->text(), "Billing");
    EXPECT_EQ(column0(1), (QStringList{"Billing", "Payroll"}));
    EXPECT_EQ(f().lblDBCount[1]->text(), "2");
}

TEST_F(Partners, DropAllOnTheMirrorRemovesEveryDatabaseTopToBottom) {
    click("cmdDropAll(1)");
    EXPECT_EQ(sent(1, false),
              concat({pass("Billing", {"Billing"}, "Billing"), pass("Payroll", {"Payroll"}, "Payroll"),
                      pass("Radiology", {"Radiology"}, "Radiology")}));
    EXPECT_EQ(f().GridDB[1]->rows(), 0);
    EXPECT_TRUE(sent(0).empty());
}

TEST_F(Partners, DropAllWithAllDatabasesDropsFromTheBottom) {
    f().chkALL->setChecked(true);
    click("cmdDropAll(1)");
    EXPECT_EQ(sent(1, false), concat({pass("Billing", {"Billing", "Payroll", "Radiology"}, "Radiology"),
                                      pass("Billing", {"Billing", "Payroll"}, "Payroll"),
                                      pass("Billing", {"Billing"}, "Billing")}));
    EXPECT_EQ(f().GridDB[1]->rows(), 0);
}

TEST_F(Partners, DropAllOnMainDropsNothingAndOnAnEmptyListDoesNothing) {
    click("cmdDropAll(0)");
    EXPECT_EQ(sent(0), concat({pass("Billing", {"Billing"}, ""), pass("Billing", {"Billing"}, "")}));
    EXPECT_EQ(column0(0), (QStringList{"Billing", "Payroll"}));

    mirrorDbs.set({});
    click("cmdRefreshDB(1)");
    resetRecord();
    click("cmdDropAll(1)");
    EXPECT_TRUE(sent(1).empty());
    EXPECT_TRUE(log().isEmpty());
}

TEST_F(Partners, AHostileNameStaysOneNameAndOneText) {
    const QString hostile = "Bad'Name];x";
    f().txtDB->setText(hostile);
    click("cmdSetPartner(1)");
    click("cmdMakeOnline(1)");
    click("cmdClearConnections(1)");
    f().txtDB->setText(hostile);
    click("cmdDrop(1)");
    EXPECT_EQ(sent(1, false), concat({{"ALTER DATABASE [Bad'Name]];x] SET PARTNER = 'TCP://127.0.0.2:5024'  ",
                                       "ALTER DATABASE [Bad'Name]];x] SET PARTNER SAFETY OFF  "},
                                      makeOnline("[Bad'Name]];x]"),
                                      {clearConnections("Bad''Name];x"), "DROP DATABASE [Bad'Name]];x] "}}));
}

TEST_F(Partners, AnEmptyDatabaseBoxMakesEveryDatabaseButtonRefuseAndSendNothing) {
    const char *buttons[] = {"cmdBackup(0)",     "cmdCopy(0)",         "cmdRestoreFileList(1)",
                             "cmdRestore(0)",    "cmdRestore(1)",      "cmdSetPartner(0)",
                             "cmdMakeOnline(1)", "cmdFullRecovery(0)", "cmdClearConnections(1)",
                             "cmdDrop(1)"};
    for (const QString db : {"", "   "}) {
        for (const char *button : buttons) {
            resetRecord();
            f().txtLog->clear();
            f().txtDB->setText(db);
            click(button);
            EXPECT_TRUE(sent(0, false).empty() && sent(1, false).empty()) << button;
            EXPECT_EQ(log(), QStringList{"No database named in the Database box: nothing was sent"})
                << button;
        }
    }
    // With ALL DBS the walk names each database, so the box's emptiness does not matter.
    resetRecord();
    f().txtDB->clear();
    f().chkALL->setChecked(true);
    click("cmdFullRecovery(0)");
    EXPECT_EQ(sent(0, false), (Batches{fullRecovery("Billing"), fullRecovery("Payroll")}));
}

// The Mirror restarts between the two statements of Set Partner on Billing: the second one fails on the
// lost link and is logged, no hang; the walk reconnects once before Payroll and goes on.
TEST_F(Partners, AMirrorRestartBetweenTwoStatementsIsReportedAndTheWalkGoesOn) {
    auto restarted = std::make_shared<std::atomic<bool>>(false);
    mirror->clearRules(); // the drop goes before the set-up's refusal of SET PARTNER SAFETY
    mirror->addRule(Rule::callback(
        [restarted](const std::string &, const tds::ConnectionState &) -> std::optional<Reply> {
            if (restarted->exchange(true))
                return std::nullopt;
            return Reply::drop();
        },
        R"(ALTER DATABASE \[Billing\] SET PARTNER SAFETY OFF  )"));
    mirror->addRule(Rule::pattern(R"(ALTER DATABASE \[.*\] SET PARTNER SAFETY OFF  )",
                                  Reply::error(1416, "Not mirrored.")));
    f().chkALL->setChecked(true);
    click("cmdSetPartner(1)");
    EXPECT_EQ(sent(1),
              (Batches{partner("Billing", "127.0.0.2"), safetyOff("Billing"), partner("Payroll", "127.0.0.2"),
                       safetyOff("Payroll"), partner("Radiology", "127.0.0.2"), safetyOff("Radiology")}));
    const QStringList lines = log();
    EXPECT_EQ(lines.count("Reconnected."), 1) << lines.join('\n').toStdString();
    const qsizetype at = lines.indexOf("Reconnected.");
    ASSERT_GT(at, 0);
    // Below it: Billing's SET PARTNER SAFETY and the driver's failure; above it: Payroll's Set Partner.
    EXPECT_TRUE(lines[at + 1].startsWith("[FreeTDS]")) << lines[at + 1].toStdString();
    EXPECT_EQ(lines[at + 2], QString::fromStdString(safetyOff("Billing")));
    EXPECT_EQ(lines[at - 1], "Running SQL..");
    EXPECT_EQ(lines[at - 2], QString::fromStdString(partner("Payroll", "127.0.0.2")));
}
