// The maintenance commands on the real window: "Truncate" and "Check" for one table and for every table
// (STOP between tables, a refused table), a press without a selected table, "single user" and "multi user",
// and the row count of a click on the table browser; a link dropped between tables of a run.

#include "TableCopyWindow.h"
#include "core/db/ServerSessions.h"

#include <QTest>
#include <atomic>

using namespace quorix;
using namespace quorix::testing;

namespace {

const std::string kCountPatients =
    "SELECT CONVERT(bigint, rows) as RCNT from sysindexes WHERE id = OBJECT_ID('Patients') AND indid < 2";
const std::string kFkRefusal =
    "Cannot truncate table 'Orders' because it is being referenced by a FOREIGN KEY constraint.";

class Maintenance : public TableCopyWindow {
protected:
    // Runs action once, when a line starting with prefix is logged.
    void whenLogged(const QString &line, std::function<void()> action) {
        auto once = std::make_shared<bool>(false);
        QObject::connect(f().txtLog, &QPlainTextEdit::textChanged, f().txtLog, [this, line, action, once] {
            if (!*once && f().txtLog->toPlainText().startsWith(line + "\n")) {
                *once = true;
                action();
            }
        });
    }
    void clickRow(int row) {
        const QRect cell = f().Grid2->visualRect(f().Grid2->model()->index(row, 0));
        QTest::mouseClick(f().Grid2->viewport(), Qt::LeftButton, {}, cell.center());
    }
};

} // namespace

TEST_F(Maintenance, TruncateAndCheckTheSelectedTable) {
    f().Grid2->setRow(1);
    click("cmdTruncate");
    click("cmdCheckTables");
    EXPECT_EQ(sent(), (std::vector<std::string>{"Use QRIX", "Truncate Table   Orders ", "Use QRIX",
                                                "DBCC CHECKtable('Orders')"}));
    EXPECT_EQ(logged(), (QStringList{"Orders", "Orders"}));
}

TEST_F(Maintenance, ARefusedTableIsOneLineAndStopEndsTheRunBeforeTheNextTable) {
    main->addRule(Rule::exact("Truncate Table   Orders ", Reply::error(4712, kFkRefusal)));
    f().chkAllTables->setChecked(true);
    click("cmdTruncate");
    EXPECT_EQ(sent(), (std::vector<std::string>{"Use QRIX", "Truncate Table   Patients ",
                                                "Truncate Table   Orders ", "Truncate Table   Wards "}));
    EXPECT_EQ(f().Grid2->row(), 2);
    EXPECT_EQ(logged(), (QStringList{"Patients", "Patients", "Orders",
                                     serverError(kFkRefusal) + " Truncate Table   Orders ", "Wards"}));

    // STOP ticked while Orders is being emptied: Wards is not touched.
    reset();
    whenLogged("Orders", [this] { f().chkStop->setChecked(true); });
    click("cmdTruncate");
    EXPECT_EQ(sent(), (std::vector<std::string>{"Use QRIX", "Truncate Table   Patients ",
                                                "Truncate Table   Orders "}));
    EXPECT_EQ(f().Grid2->row(), 1);
}

TEST_F(Maintenance, APressWithoutASelectedTableSendsNothing) {
    f().Grid2->setRow(-1);
    for (const char *button : {"cmdTruncate", "cmdCheckTables", "cmdCopyTables", "cmdCopyInto",
                               "cmdCloneTable", "cmdCopyTablesDB2", "cmdDropTableDB2"}) {
        reset();
        click(button);
        EXPECT_TRUE(sent().empty()) << button;
        EXPECT_EQ(logged(), QStringList{"No table selected"}) << button;
    }
    // With All Tables the run needs no selected table.
    reset();
    f().chkAllTables->setChecked(true);
    click("cmdTruncate");
    EXPECT_EQ(sent().size(), 4u);
    EXPECT_EQ(logged(), (QStringList{"Patients", "Orders", "Wards"}));

    // Nor anything without a database named.
    reset();
    f().txtDB->setText("  ");
    click("cmdTruncate");
    click("Command1");
    EXPECT_TRUE(sent().empty());
}

TEST_F(Maintenance, SingleAndMultiUser) {
    click("Command1");
    click("Command2");
    EXPECT_EQ(sent(), (std::vector<std::string>{"ALTER DATABaSE QRIX SET SINGLE_USER WITH ROLLBACK IMMEDIATE",
                                                "ALTER DATABaSE QRIX SET MULTI_USER "}));
    EXPECT_TRUE(logged().isEmpty());

    reset();
    const std::string refusal = "User does not have permission to alter database 'QRIX'.";
    main->addRule(Rule::pattern("ALTER DATABaSE .*", Reply::error(5011, refusal)));
    click("Command1");
    click("Command2");
    EXPECT_EQ(logged(), (QStringList{serverError(refusal) +
                                         " ALTER DATABaSE QRIX SET SINGLE_USER WITH ROLLBACK IMMEDIATE",
                                     serverError(refusal) + " ALTER DATABaSE QRIX SET MULTI_USER "}));
}

TEST_F(Maintenance, AClickOnTheBrowserLogsTheRowCount) {
    tds::ResultSet count{{makeColumn("RCNT", "bigint")}, {{"12345678901"}}};
    main->addRule(Rule::exact(kCountPatients, Reply::rows(count)));
    main->addRule(Rule::pattern("SELECT CONVERT\\(bigint, rows\\) as RCNT .*'Orders'.*",
                                Reply::rows({{makeColumn("RCNT", "bigint")}, {}})));
    main->addRule(Rule::pattern("SELECT CONVERT\\(bigint, rows\\) as RCNT .*'Wards'.*",
                                Reply::error(208, "Invalid object name 'sysindexes'.")));
    f().Grid2->setRow(-1);
    clickRow(0);
    EXPECT_EQ(sent(), std::vector<std::string>{kCountPatients});
    EXPECT_EQ(logged(), QStringList{"ROWS: 12345678901"});

    // No row found: no line. A refused query: its failure line only.
    reset();
    clickRow(1);
    EXPECT_EQ(sent().size(), 1u);
    EXPECT_TRUE(logged().isEmpty());
    clickRow(2);
    EXPECT_EQ(logged(), QStringList{serverError("Invalid object name 'sysindexes'.") +
                                    " SELECT CONVERT(bigint, rows) as RCNT from sysindexes WHERE id = "
                                    "OBJECT_ID('Wards') AND indid < 2"});
}

// The server drops the link while Orders is emptied, between Patients and Wards: Orders is logged and
// counted as failed, the session reconnects before Wards, sends its "Use" again, and Wards is emptied in
// QRIX on the new connection.
TEST_F(Maintenance, ALinkDroppedBetweenTablesIsReconnectedAndTheNextTableRunsInTheDatabase) {
    auto dropped = std::make_shared<std::atomic<bool>>(false);
    main->addFirstRule(Rule::callback(
        [dropped](const std::string &, const tds::ConnectionState &) -> std::optional<Reply> {
            if (dropped->exchange(true))
                return std::nullopt;
            return Reply::drop();
        },
        "Truncate Table   Orders "));
    auto wardsIn = std::make_shared<std::string>();
    main->addFirstRule(Rule::callback(
        [wardsIn](const std::string &, const tds::ConnectionState &state) -> std::optional<Reply> {
            *wardsIn = state.database;
            return std::nullopt;
        },
        "Truncate Table   Wards "));
    const int failuresBefore = w.window().sessions().failures();
    f().chkAllTables->setChecked(true);
    click("cmdTruncate");

    EXPECT_EQ(sent(),
              (std::vector<std::string>{"Use QRIX", "Truncate Table   Patients ", "Truncate Table   Orders ",
                                        "Use QRIX", "Truncate Table   Wards "}));
    EXPECT_EQ(*wardsIn, "QRIX");
    const std::vector<tds::Event> logins = main->logins();
    ASSERT_FALSE(logins.empty());
    const std::vector<std::string> afterReconnect = main->batches(logins.back().connection);
    EXPECT_EQ(afterReconnect, (std::vector<std::string>{"Use QRIX", "Truncate Table   Wards "}));
    const QStringList lines = logged();
    const qsizetype cut = lines.indexOf("Orders failed: the link to the server was lost");
    ASSERT_GT(cut, 0) << lines.join('\n').toStdString();
    EXPECT_EQ(lines[cut - 2], "Orders");
    EXPECT_TRUE(lines[cut - 1].endsWith(" Truncate Table   Orders ")) << lines[cut - 1].toStdString();
    EXPECT_EQ(lines.mid(cut + 1), (QStringList{"Reconnected.", "Wards"}));
    EXPECT_EQ(errorPane(), QStringList{"Orders failed: the link to the server was lost"});
    // The refused statement and the table it cut short.
    EXPECT_EQ(w.window().sessions().failures(), failuresBefore + 2);
}
