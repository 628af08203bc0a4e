// The second-database tools on the real window: "Copy Into" over every table with one failing (error pane),
// a table that is no longer a user table, names that need brackets and a table outside dbo, an unreadable
// source; "Clone Table Records"; "Copy Structure to DBname_2" run twice; "Drop table DBname_2"; a click on
// another table or database while a table's step runs.

#include "HeldRequest.h"
#include "TableCopyWindow.h"

#include <map>

using namespace quorix;
using namespace quorix::testing;

namespace {

std::string check(const std::string &name) {
    return "SELECT * FROM sys.objects WHERE object_id = OBJECT_ID(N'" + name + "') AND type in (N'U')";
}

// "Copy Into" of one ordinary table whose columns are read and which exists, written out.
std::vector<std::string> copyInto(const std::string &t, const std::string &cols) {
    return {"Use QRIX",
            "select top 1 * from  " + t,
            "truncate table QRIX2.." + t + " ",
            "SET IDENTITY_INSERT QRIX2.dbo." + t + " ON",
            "use QRIX",
            check(t),
            "INSERT into QRIX2.." + t + " (" + cols + ") SELECT " + cols + " from QRIX.." + t,
            "SET IDENTITY_INSERT QRIX2.dbo." + t + " OFF"};
}

Reply columnsOf(std::vector<std::string> names) {
    tds::ResultSet set;
    for (const std::string &n : names)
        set.columns.push_back(makeColumn(n, "int"));
    return Reply::rows(set);
}

const std::string kRefused = "Cannot insert explicit value for identity column in table 'Orders'.";

class SecondDatabase : public TableCopyWindow {
protected:
    void SetUp() override {
        TableCopyWindow::SetUp();
        userTables = {"Patients", "Orders", "Wards"};
        main->addRule(Rule::exact("select top 1 * from  Patients", columnsOf({"id", "name"})));
        main->addRule(Rule::exact("select top 1 * from  Orders", columnsOf({"id", "total"})));
        main->addRule(Rule::exact("select top 1 * from  Wards", columnsOf({"ward"})));
        main->addRule(Rule::pattern("INSERT into QRIX2\\.\\.Orders .*", Reply::error(545, kRefused)));
    }
};

} // namespace

TEST_F(SecondDatabase, CopyIntoEveryTableWithOneFailing) {
    f().chkAllTables->setChecked(true);
    click("cmdCopyInto");
    std::vector<std::string> expected{"Use QRIX"};
    for (const auto &[t, cols] : std::vector<std::pair<std::string, std::string>>{
             {"Patients", "[id],[name]"}, {"Orders", "[id],[total]"}, {"Wards", "[ward]"}})
        for (const std::string &s : copyInto(t, cols))
            expected.push_back(s);
    EXPECT_EQ(sent(), expected);
    const QString failure = serverError(kRefused) +
                            " INSERT into QRIX2..Orders ([id],[total]) SELECT [id],[total] from QRIX..Orders";
    EXPECT_EQ(logged(), (QStringList{"Patients", "Patients", "Orders", failure, "Wards", "Done copying"}));
    EXPECT_EQ(errorPane(), QStringList{"QRIX..Orders " + failure});
    EXPECT_EQ(f().Grid2->row(), 2);
}

TEST_F(SecondDatabase, CopyIntoATableThatIsNoLongerAUserTableEmptiesTheTargetOnly) {
    userTables = {"Orders"};
    click("cmdCopyInto");
    std::vector<std::string> expected = copyInto("Patients", "[id],[name]");
    expected.erase(expected.begin() + 6); // no INSERT
    expected.insert(expected.begin(), "Use QRIX");
    EXPECT_EQ(sent(), expected);
    EXPECT_EQ(logged(), (QStringList{"Patients", "Done copying"}));
}

TEST_F(SecondDatabase, CopyIntoNamesThatNeedBracketsAndASchema) {
    browseTables({{"Order Lines", "dbo"}, {"Orders", "sales"}});
    userTables = {"[Order Lines]", "sales.Orders"};
    main->addRule(Rule::exact("select top 1 * from  [Order Lines]", columnsOf({"a]b", "qty"})));
    main->addRule(Rule::exact("select top 1 * from  sales.Orders", columnsOf({"id"})));
    f().chkAllTables->setChecked(true);
    click("cmdCopyInto");
    EXPECT_EQ(
        sent(),
        (std::vector<std::string>{
            "Use QRIX",
            "Use QRIX",
            "select top 1 * from  [Order Lines]",
            "truncate table QRIX2..[Order Lines] ",
            "SET IDENTITY_INSERT QRIX2.dbo.[Order Lines] ON",
            "use QRIX",
            check("[Order Lines]"),
            "INSERT into QRIX2..[Order Lines] ([a]]b],[qty]) SELECT [a]]b],[qty] from QRIX..[Order Lines]",
            "SET IDENTITY_INSERT QRIX2.dbo.[Order Lines] OFF",
            "Use QRIX",
            "select top 1 * from  sales.Orders",
            "truncate table QRIX2.sales.Orders ",
            "SET IDENTITY_INSERT QRIX2.sales.Orders ON",
            "use QRIX",
            check("sales.Orders"),
            "INSERT into QRIX2.sales.Orders ([id]) SELECT [id] from QRIX.sales.Orders",
            "SET IDENTITY_INSERT QRIX2.sales.Orders OFF",
        }));
    EXPECT_TRUE(errorPane().isEmpty());
}

TEST_F(SecondDatabase, NoInsertWithoutColumns) {
    browse(QStringList{"Gone"});
    userTables = {"Gone"};
    main->addRule(Rule::exact("select top 1 * from  Gone", Reply::error(208, "Invalid object name 'Gone'.")));
    main->addRule(Rule::exact("select top 1 * from  QRIX..Gone",
                              Reply::error(208, "Invalid object name 'QRIX..Gone'.")));
    const QString noColumns = "No columns read from QRIX..Gone: nothing inserted into QRIX2..Gone";
    click("cmdCopyInto");
    EXPECT_EQ(sent(), (std::vector<std::string>{"Use QRIX", "Use QRIX", "select top 1 * from  Gone",
                                                "truncate table QRIX2..Gone ",
                                                "SET IDENTITY_INSERT QRIX2.dbo.Gone ON", "use QRIX",
                                                check("Gone"), "SET IDENTITY_INSERT QRIX2.dbo.Gone OFF"}));
    EXPECT_EQ(logged(),
              (QStringList{"Gone", serverError("Invalid object name 'Gone'.") + " select top 1 * from  Gone",
                           noColumns, "Done copying"}));
    EXPECT_EQ(errorPane(), QStringList{noColumns}); // a failed table, listed with the others

    reset();
    click("cmdCloneTable");
    EXPECT_EQ(sent(), (std::vector<std::string>{"Use QRIX", "truncate table QRIX2..Gone ",
                                                "select top 1 * from  QRIX..Gone",
                                                "SET IDENTITY_INSERT QRIX2.dbo.Gone ON",
                                                "SET IDENTITY_INSERT QRIX2.dbo.Gone OFF"}));
    EXPECT_EQ(logged(), (QStringList{"Gone",
                                     serverError("Invalid object name 'QRIX..Gone'.") +
                                         " select top 1 * from  QRIX..Gone",
                                     noColumns}));
}

TEST_F(SecondDatabase, CloneTableRecordsNamesColumnsBare) {
    main->addRule(
        Rule::exact("select top 1 * from  QRIX..Patients", columnsOf({"id", "unit price", "name"})));
    click("cmdCloneTable");
    EXPECT_EQ(sent(),
              (std::vector<std::string>{
                  "Use QRIX", "truncate table QRIX2..Patients ", "select top 1 * from  QRIX..Patients",
                  "SET IDENTITY_INSERT QRIX2.dbo.Patients ON",
                  "INSERT INTO QRIX2..Patients (id,[unit price],name) SELECT id,[unit price],name    From "
                  "QRIX..Patients",
                  "SET IDENTITY_INSERT QRIX2.dbo.Patients OFF"}));
    EXPECT_EQ(logged(), QStringList{"Patients"}); // no closing line
}

TEST_F(SecondDatabase, CopyStructureTwiceThenDrop) {
    f().chkAllTables->setChecked(true);
    click("cmdCopyTablesDB2");
    std::vector<std::string> expected{"Use QRIX"};
    for (const std::string t : {"Patients", "Orders", "Wards"})
        for (const std::string &s : {std::string("Use QRIX"), std::string("use QRIX"), check(t),
                                     "select  * into QRIX2.." + t + "  from QRIX.." + t})
            expected.push_back(s);
    EXPECT_EQ(sent(), expected);
    EXPECT_EQ(logged().back(), "Done copying");
    EXPECT_TRUE(errorPane().isEmpty());

    // The second run finds every table there already: each failure goes to both panes.
    reset();
    main->addRule(Rule::callback(
        [](const std::string &text, const tds::ConnectionState &) -> std::optional<Reply> {
            const std::string t = text.substr(text.rfind('.') + 1);
            return Reply::error(2714, "There is already an object named '" + t + "' in the database.");
        },
        "select  \\* into .*"));
    click("cmdCopyTablesDB2");
    const QStringList errors = errorPane();
    ASSERT_EQ(errors.size(), 3);
    EXPECT_EQ(errors[1], "QRIX..Orders " +
                             serverError("There is already an object named 'Orders' in the database.") +
                             " select  * into QRIX2..Orders  from QRIX..Orders");
    EXPECT_EQ(logged().filter("There is already").size(), 3);

    // Drop: Wards exists only in the second database, so nothing is sent for it.
    reset();
    userTables = {"Patients", "Orders"};
    click("cmdDropTableDB2");
    EXPECT_EQ(sent(), (std::vector<std::string>{"Use QRIX2", "use QRIX", check("Patients"),
                                                "drop table QRIX2..Patients ", "Use QRIX2", "use QRIX",
                                                check("Orders"), "drop table QRIX2..Orders ", "Use QRIX2",
                                                "use QRIX", check("Wards")}));
    // The earlier runs left the browser on their last table, which the press names first.
    EXPECT_EQ(logged(), (QStringList{"Wards", "Patients", "Orders", "Wards", "Done Drop"}));
}

// A click on another table of the browser and on another database of Main's list while a table's first
// read is held by the server: that table's step keeps its table and database to its last statement, the
// walk's next tables are the ones it gives, and the clicks name the next press's table and database.
TEST_F(SecondDatabase, AClickDuringATableLeavesTheStepOnItsTableAndDatabase) {
    struct Case {
        const char *name;
        bool allTables;
        std::vector<std::string> tables; // copied, in order, the first one held
    };
    const std::vector<Case> cases{{"the selected table", false, {"Patients"}},
                                  {"All Tables", true, {"Patients", "Orders", "Wards"}}};
    const std::map<std::string, std::string> cols{
        {"Patients", "[id],[name]"}, {"Orders", "[id],[total]"}, {"Wards", "[ward]"}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        f().txtDB->setText("QRIX");
        f().Grid2->setRow(0);
        reset();
        f().chkAllTables->setChecked(c.allTables);
        HeldRequest held(*main, "select top 1 * from  Patients", [this] {
            ASSERT_TRUE(clickRow(f().Grid2, "Wards"));
            ASSERT_TRUE(clickRow(f().GridDB[0], "QRIX2"));
            EXPECT_EQ(f().txtDB->text(), "QRIX2");
        });
        click("cmdCopyInto");
        EXPECT_TRUE(held.wasHeld());
        std::vector<std::string> expected{"Use QRIX"};
        for (const std::string &t : c.tables)
            for (const std::string &s : copyInto(t, cols.at(t)))
                expected.push_back(s);
        EXPECT_EQ(sent(), expected);
        EXPECT_EQ(logged().first(), "Patients");
        // What the clicks named stays for the next press.
        EXPECT_EQ(f().txtDB->text(), "QRIX2");
        EXPECT_EQ(f().Grid2->row(), 2);
    }
}
