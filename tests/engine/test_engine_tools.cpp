// The set-based copies, the second database's table, the maintenance commands and the speed test's four
// buttons of the real program against the T-SQL engine, each flow's tables read back by the test's own
// connection. Where the engine refuses what SQL Server takes, the test names the refusal and pins what the
// tool shows and that nothing changed.

#include "EngineFlow.h"
#include "EngineTables.h"

#include <QRegularExpression>

using namespace quorix::testing;
using namespace quorix::testing::engine;

namespace {

constexpr int kRows = 1000;

class EngineTools : public EngineFlow {
protected:
    // qrix..alltypes of every type (no identity column) and an empty table of the same columns in qrix2.
    void everyTypeInBoth() {
        const std::vector<TypedColumn> columns = everyType();
        EngineDb qrix("qrix"), qrix2("qrix2");
        qrix.run(createTable("alltypes", columns, false));
        fill(qrix, "alltypes", columns, kRows, false);
        qrix2.run(createTable("alltypes", columns, false));
    }
    void expectSameRows(const std::string &db, const std::string &table) {
        const std::vector<TextRow> source = everyRow("qrix", "alltypes");
        const std::vector<TextRow> target = everyRow(db, table);
        ASSERT_EQ(source.size(), static_cast<size_t>(kRows));
        ASSERT_EQ(target.size(), source.size());
        for (size_t i = 0; i < source.size(); ++i)
            ASSERT_EQ(target[i], source[i]) << "row " << i + 1;
    }
};

} // namespace

// Copy Into and Clone Table Records: one INSERT ... SELECT across the databases each, the values never
// leaving the server.
TEST_F(EngineTools, CopyIntoAndCloneTableRecordsCopyEveryValueAcrossTheDatabases) {
    everyTypeInBoth();
    ToolRun r = run(toTable(0) + QStringList{"--click", "cmdCopyInto", "--print", "txtErrs"});
    EXPECT_EQ(r.status, 0) << r.out.toStdString() << r.err.toStdString();
    expectSameRows("qrix2", "alltypes");

    // Clone empties the target first, so the rows are there once, not twice.
    r = run(toTable(0) + QStringList{"--click", "cmdCloneTable", "--print", "txtErrs"});
    EXPECT_EQ(r.status, 0) << r.out.toStdString() << r.err.toStdString();
    expectSameRows("qrix2", "alltypes");
}

// Copy Structure to DBname_2 is a SELECT INTO across databases, which the engine refuses (SQL Server makes
// the table): the log shows the engine's words and no table appears. Drop table DBname_2 drops it.
TEST_F(EngineTools, TheSecondDatabasesTableIsRefusedAcrossDatabasesAndDroppedWhenItExists) {
    EngineDb qrix("qrix"), qrix2("qrix2");
    qrix.run("CREATE TABLE wards (id int PRIMARY KEY, name nvarchar(40))");
    qrix.run("INSERT INTO wards VALUES (1, N'North')");

    ToolRun r = run(toTable(0) + QStringList{"--click", "cmdCopyTablesDB2", "--print", "txtLog"});
    EXPECT_TRUE(r.out.contains("cross-db 'SELECT INTO' statement is not supported")) << r.out.toStdString();
    EXPECT_TRUE(qrix2.rows("SELECT name FROM sys.tables").empty());
    EXPECT_EQ(everyRow("qrix", "wards"), (std::vector<TextRow>{{"1", "North"}}));

    qrix2.run("CREATE TABLE wards (id int PRIMARY KEY, name nvarchar(40))");
    r = run(toTable(0) + QStringList{"--click", "cmdDropTableDB2"});
    EXPECT_EQ(r.status, 0) << r.out.toStdString() << r.err.toStdString();
    EXPECT_TRUE(qrix2.rows("SELECT name FROM sys.tables").empty());
    EXPECT_EQ(everyRow("qrix", "wards"), (std::vector<TextRow>{{"1", "North"}}));
}

// Truncate empties the selected table only. Check (DBCC CHECKTABLE) is refused by the engine: the log shows
// it and the table is as it was.
TEST_F(EngineTools, TruncateEmptiesTheSelectedTableAndCheckIsRefusedWithTheEnginesWords) {
    EngineDb qrix("qrix");
    qrix.run("CREATE TABLE orders (id int IDENTITY(1,1) PRIMARY KEY, item nvarchar(40))");
    qrix.run("CREATE TABLE patients (id int PRIMARY KEY, name nvarchar(40))");
    qrix.run("INSERT INTO orders (item) VALUES (N'bandage'), (N'saline')");
    qrix.run("INSERT INTO patients VALUES (1, N'Ann')");

    ToolRun r = run(toTable(0) + QStringList{"--click", "cmdCheckTables", "--print", "txtLog"});
    EXPECT_TRUE(r.out.contains("DBCC CHECKTABLE is not currently supported")) << r.out.toStdString();
    EXPECT_EQ(everyRow("qrix", "orders").size(), 2u);

    // The browser's first row is truncated; the program names it in the grid printed before.
    r = run(toTable(0) + QStringList{"--print", "Grid2", "--click", "cmdTruncate"});
    EXPECT_EQ(r.status, 0) << r.out.toStdString() << r.err.toStdString();
    const qsizetype grid = r.out.indexOf(QRegularExpression("(orders|patients)\tdbo\t"));
    ASSERT_GE(grid, 0) << r.out.toStdString();
    const bool ordersFirst = r.out.mid(grid).startsWith("orders");
    EXPECT_EQ(everyRow("qrix", "orders").size(), ordersFirst ? 0u : 2u);
    EXPECT_EQ(everyRow("qrix", "patients").size(), ordersFirst ? 1u : 0u);
}

// The speed test's four buttons on their own connection (txtTESTConnection) in master, on qrix..SpeedTest.
TEST_F(EngineTools, TheSpeedTestsFourButtonsCreateAddReadAndDelete) {
    const QString connection = QStringLiteral("Provider=SQLOLEDB;Persist Security Info=True;Server=%1;UID=sa;"
                                              "Database=MASTER;Password=%2")
                                   .arg(QString::fromStdString(kAddress), QString::fromStdString(kPassword));
    const QStringList setUp{"--set", "txtDB=qrix", "--set", "txtTESTConnection=" + connection};
    // Read back from master, as the program wrote: the engine lets only the table's owner (the user of the
    // database the statement ran in) read it.
    EngineDb master;
    // Create, ADD, Read (of the 5,000 rows just added), Delete.
    for (const int button : {0, 1, 3, 2}) {
        const ToolRun r = run(
            setUp + QStringList{"--click", QStringLiteral("cmdTest(%1)").arg(button), "--print", "lblTime"});
        EXPECT_EQ(r.status, 0) << button << r.out.toStdString() << r.err.toStdString();
        // The seconds it took, as "0.123".
        EXPECT_TRUE(r.out.trimmed().section('\n', -1).contains('.')) << button << r.out.toStdString();
        const std::vector<TextRow> count = master.rows("SELECT COUNT(*) FROM qrix..SpeedTest");
        ASSERT_EQ(count.size(), 1u);
        // Create: empty; ADD: 5,000 rows; Delete: none left; Read: reads them all and changes nothing.
        const char *expected[] = {"0", "5000", "0", "5000"};
        EXPECT_EQ(count[0][0], expected[button]) << button;
        if (button == 1)
            EXPECT_EQ(master.rows("SELECT MIN(DESC2), MAX(DESC2) FROM qrix..SpeedTest"),
                      (std::vector<TextRow>{{"1", "999"}}));
    }
}

// Copy records to database 1, Main and Mirror both the engine (one database on both sides, so any record
// of the range is there already): its first step, making the range's database sa's default database with
// sp_defaultdb, is refused by the engine (SQL Server runs it). The run says so, exits with the failure
// status, and the table is as it was.
TEST_F(EngineTools, TheRecordRangeCopyIsRefusedAtItsDefaultDatabaseStepAndChangesNothing) {
    EngineDb qrix("qrix");
    qrix.run("CREATE TABLE visits (idnum int PRIMARY KEY, note nvarchar(40))");
    qrix.run("INSERT INTO visits VALUES (1, N'a'), (5, N'b'), (7, N'\xC3\xA7'), (9, N'd'), (12, N'e')");
    const std::vector<TextRow> before = everyRow("qrix", "visits");

    const ToolRun r = run(toTable(0) + QStringList{"--set", "txtStartIDNum=5", "--set", "txtENDIDNum=9",
                                                   "--answer", "yes", "--click", "cmdCopybyRecID"},
                          true);
    EXPECT_EQ(r.status, 3) << r.out.toStdString() << r.err.toStdString();
    EXPECT_TRUE(r.out.contains("'sp_defaultdb' is not currently supported")) << r.out.toStdString();
    EXPECT_EQ(everyRow("qrix", "visits"), before);
}
