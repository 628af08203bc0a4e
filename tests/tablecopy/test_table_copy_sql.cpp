// The table tools' statements, written out: ordinary names give the usual text byte for byte (its double
// and trailing blanks, "ALTER DATABaSE"), names that need brackets are bracketed with "]" doubled, a table
// outside dbo carries its schema; the parameter types of a record copy and the INSERT it prepares.

#include "core/db/SqlQuote.h"
#include "core/tablecopy/TableCopySql.h"

#include <QString>
#include <gtest/gtest.h>

using namespace quorix;

namespace {

struct StatementCase {
    QString (*build)(const TableRef &);
    const char *plain;    // QRIX, dbo.Patients
    const char *brackets; // Q R, dbo.[Order]]s x]
    const char *schema;   // QRIX, sales.Orders
};

ColumnInfo column(const char *name, const char *type, qint64 size = 0, int precision = 0, int scale = 0) {
    ColumnInfo c;
    c.name = QString::fromUtf8(name);
    c.typeName = QString::fromUtf8(type);
    c.size = size;
    c.precision = precision;
    c.scale = scale;
    return c;
}

} // namespace

TEST(TableCopySql, StatementsForOrdinaryBracketedAndSchemaNames) {
    const TableRef plain{"QRIX", "dbo", "Patients"};
    const TableRef odd{"Q R", "dbo", "Order]s x"};
    const TableRef sales{"QRIX", "sales", "Orders"};
    const StatementCase cases[] = {
        {createSecondByRecord, "SELECT top 1 * INTO QRIX2..Patients FROM QRIX..Patients",
         "SELECT top 1 * INTO [Q R2]..[Order]]s x] FROM [Q R]..[Order]]s x]",
         "SELECT top 1 * INTO QRIX2.sales.Orders FROM QRIX.sales.Orders"},
        {truncateSecond, "truncate table QRIX2..Patients ", "truncate table [Q R2]..[Order]]s x] ",
         "truncate table QRIX2.sales.Orders "},
        {dropNew2, "drop table QRIX..Patients_NEW2 ", "drop table [Q R]..[Order]]s x_NEW2] ",
         "drop table QRIX.sales.Orders_NEW2 "},
        {readFirstRow, "select top 1 * from  QRIX..Patients", "select top 1 * from  [Q R]..[Order]]s x]",
         "select top 1 * from  QRIX.sales.Orders"},
        {createNew2, "select top  1 * into QRIX..Patients_NEW2  from QRIX..Patients",
         "select top  1 * into [Q R]..[Order]]s x_NEW2]  from [Q R]..[Order]]s x]",
         "select top  1 * into QRIX.sales.Orders_NEW2  from QRIX.sales.Orders"},
        {truncateNew2, "truncate table QRIX..Patients_NEW2  ", "truncate table [Q R]..[Order]]s x_NEW2]  ",
         "truncate table QRIX.sales.Orders_NEW2  "},
        {readFirstRowBare, "select top 1 * from  Patients", "select top 1 * from  [Order]]s x]",
         "select top 1 * from  sales.Orders"},
        {copyStructure, "select  * into QRIX2..Patients  from QRIX..Patients",
         "select  * into [Q R2]..[Order]]s x]  from [Q R]..[Order]]s x]",
         "select  * into QRIX2.sales.Orders  from QRIX.sales.Orders"},
        {dropSecond, "drop table QRIX2..Patients ", "drop table [Q R2]..[Order]]s x] ",
         "drop table QRIX2.sales.Orders "},
        {truncateTable, "Truncate Table   Patients ", "Truncate Table   [Order]]s x] ",
         "Truncate Table   sales.Orders "},
        {checkTable, "DBCC CHECKtable('Patients')", "DBCC CHECKtable('[Order]]s x]')",
         "DBCC CHECKtable('sales.Orders')"},
        {rowCountStatement,
         "SELECT CONVERT(bigint, rows) as RCNT from sysindexes WHERE id = OBJECT_ID('Patients') AND indid < "
         "2",
         "SELECT CONVERT(bigint, rows) as RCNT from sysindexes WHERE id = OBJECT_ID('[Order]]s x]') AND "
         "indid < 2",
         "SELECT CONVERT(bigint, rows) as RCNT from sysindexes WHERE id = OBJECT_ID('sales.Orders') AND "
         "indid < "
         "2"},
    };
    for (const StatementCase &c : cases) {
        EXPECT_EQ(c.build(plain), QString::fromUtf8(c.plain));
        EXPECT_EQ(c.build(odd), QString::fromUtf8(c.brackets));
        EXPECT_EQ(c.build(sales), QString::fromUtf8(c.schema));
    }
    // An empty schema is the default one, and so is DBO in any letter case.
    EXPECT_EQ(sourceTable({"QRIX", "", "Patients"}), "QRIX..Patients");
    EXPECT_EQ(secondTable({"QRIX", "DBO", "Patients"}), "QRIX2..Patients");
}

TEST(TableCopySql, DatabaseStatementsAndTheExistenceCheck) {
    EXPECT_EQ(useStatement("QRIX"), "Use QRIX");
    EXPECT_EQ(useDirectStatement("QRIX"), "use QRIX");
    EXPECT_EQ(useSecondStatement("QRIX"), "Use QRIX2");
    EXPECT_EQ(useSecondStatement("Q R"), "Use [Q R2]");
    EXPECT_EQ(singleUserStatement("QRIX"), "ALTER DATABaSE QRIX SET SINGLE_USER WITH ROLLBACK IMMEDIATE");
    EXPECT_EQ(multiUserStatement("QRIX"), "ALTER DATABaSE QRIX SET MULTI_USER ");
    EXPECT_EQ(multiUserStatement("Lab;DROP"), "ALTER DATABaSE [Lab;DROP] SET MULTI_USER ");
    // [ [ database_name . ] schema_name . ] table_name: never the empty schema of "db..t".
    const TableRef patients{"QRIX", "", "Patients"};
    EXPECT_EQ(identityInsert(secondIdentityTable(patients), true),
              "SET IDENTITY_INSERT QRIX2.dbo.Patients ON");
    EXPECT_EQ(identityInsert(secondIdentityTable(patients), false),
              "SET IDENTITY_INSERT QRIX2.dbo.Patients OFF");
    EXPECT_EQ(identityInsert(secondIdentityTable({"Q R", "sales", "Order Lines"}), true),
              "SET IDENTITY_INSERT [Q R2].sales.[Order Lines] ON");
    EXPECT_EQ(identityInsert(new2IdentityTable(patients), true), "SET IDENTITY_INSERT dbo.Patients_NEW2 ON");
    EXPECT_EQ(identityInsert(new2IdentityTable({"QRIX", "dbo", "Orders"}), false),
              "SET IDENTITY_INSERT dbo.Orders_NEW2 OFF");

    EXPECT_EQ(existenceCheck(tableName({"QRIX", "dbo", "Patients"})),
              "SELECT * FROM sys.objects WHERE object_id = OBJECT_ID(N'Patients') AND type in (N'U')");
    EXPECT_EQ(existenceCheck(new2TableName({"QRIX", "dbo", "Patients"})),
              "SELECT * FROM sys.objects WHERE object_id = OBJECT_ID(N'Patients_NEW2') AND type in (N'U')");
    EXPECT_EQ(existenceCheck(tableName({"QRIX", "dbo", "O'Brien list"})),
              "SELECT * FROM sys.objects WHERE object_id = OBJECT_ID(N'[O''Brien list]') AND type in (N'U')");
    EXPECT_EQ(existenceCheck(tableName({"QRIX", "sales", "Orders"})),
              "SELECT * FROM sys.objects WHERE object_id = OBJECT_ID(N'sales.Orders') AND type in (N'U')");
    // A name outside plain ASCII keeps its characters in the row count's literal.
    EXPECT_EQ(
        rowCountStatement({"QRIX", "dbo", "Палаты"}),
        "SELECT CONVERT(bigint, rows) as RCNT from sysindexes WHERE id = OBJECT_ID(N'Палаты') AND indid < 2");
}

TEST(TableCopySql, ColumnListsOfCopyIntoAndClone) {
    const TableRef t{"QRIX", "dbo", "Patients"};
    EXPECT_EQ(bracketedColumns({"a", "b", "c"}), "[a],[b],[c]");
    EXPECT_EQ(bracketedColumns({"x]y", "first name"}), "[x]]y],[first name]");
    EXPECT_EQ(bareColumns({"a", "b", "c"}), "a,b,c");
    EXPECT_EQ(bareColumns({"unit price", "order", "id"}), "[unit price],[order],id");
    EXPECT_EQ(copyIntoStatement(t, "[a],[b]"),
              "INSERT into QRIX2..Patients ([a],[b]) SELECT [a],[b] from QRIX..Patients");
    EXPECT_EQ(cloneStatement(t, "a,b"),
              "INSERT INTO QRIX2..Patients (a,b) SELECT a,b    From QRIX..Patients");
}

TEST(TableCopySql, ParameterTypesCarryEveryValueWhole) {
    const std::pair<ColumnInfo, const char *> cases[] = {
        {column("a", "int"), "int"},
        {column("a", "int identity"), "int"},
        {column("a", "BIGINT"), "bigint"},
        {column("a", "bit"), "bit"},
        {column("a", "float"), "float"},
        {column("a", "real"), "real"},
        {column("a", "decimal", 18, 18, 4), "decimal(18,4)"},
        {column("a", "numeric", 38, 38, 10), "numeric(38,10)"},
        {column("a", "money", 19, 19, 4), "money"},
        {column("a", "datetime", 23, 0, 3), "datetime"},
        {column("a", "datetime2", 27, 0, 7), "datetime2(7)"},
        {column("a", "datetime2", 22, 0, 2), "datetime2(2)"},
        {column("a", "time", 16, 0, 7), "time(7)"},
        {column("a", "date", 10), "date"},
        {column("a", "nvarchar", 50), "nvarchar(50)"},
        {column("a", "nvarchar", 0), "nvarchar(max)"},
        {column("a", "nvarchar", 1073741823), "nvarchar(max)"},
        {column("a", "varchar", 8000), "varchar(8000)"},
        {column("a", "varchar", 2147483647), "varchar(max)"},
        {column("a", "char", 3), "char(3)"},
        {column("a", "nchar", 2), "nchar(2)"},
        {column("a", "varbinary", 0), "varbinary(max)"},
        {column("a", "binary", 16), "binary(16)"},
        {column("a", "uniqueidentifier", 36), "uniqueidentifier"},
        {column("a", "text", 2147483647), "varchar(max)"},
        {column("a", "ntext", 1073741823), "nvarchar(max)"},
        {column("a", "image", 2147483647), "varbinary(max)"},
        {column("a", "hierarchyid", 892), "varbinary(max)"},
        {column("a", "geography", 0), "varbinary(max)"},
        {column("a", "xml", 0), "nvarchar(max)"},
        {column("a", "datetimeoffset", 34, 0, 7), "datetimeoffset(7)"},
        {column("a", "timestamp", 8), ""},
    };
    for (const auto &[c, expected] : cases)
        EXPECT_EQ(parameterType(c), QString::fromUtf8(expected)) << c.typeName.toStdString() << " " << c.size;
}

TEST(TableCopySql, InsertPlanPairsColumnsByPositionAndLeavesOutWhatCannotBeSet) {
    ColumnInfo computed = column("total", "decimal", 10, 10, 2);
    computed.computed = true;
    ColumnInfo version = column("ver", "timestamp", 8);
    version.rowversion = true;
    const std::vector<ColumnInfo> target{column("id", "int"), column("first name", "nvarchar", 40), computed,
                                         version, column("note", "nvarchar", 0)};

    // Every source column has its target column; the computed and rowversion ones are left out.
    InsertPlan plan = insertPlan("QRIX2..Patients", target, 5);
    EXPECT_EQ(plan.sql, "INSERT INTO QRIX2..Patients (id, [first name], note) VALUES (?, ?, ?)");
    EXPECT_EQ(plan.types, (QStringList{"int", "nvarchar(40)", "nvarchar(max)"}));
    EXPECT_EQ(plan.sources, (std::vector<int>{0, 1, 4}));
    EXPECT_EQ(plan.refusedPerRow, 2);

    // A shorter source leaves the target's last columns to their defaults; a longer one has columns that
    // go nowhere, counted on every row.
    plan = insertPlan("QRIX2..Patients", target, 2);
    EXPECT_EQ(plan.sql, "INSERT INTO QRIX2..Patients (id, [first name]) VALUES (?, ?)");
    EXPECT_EQ(plan.refusedPerRow, 0);
    plan = insertPlan("QRIX2..Patients", target, 7);
    EXPECT_EQ(plan.sources, (std::vector<int>{0, 1, 4}));
    EXPECT_EQ(plan.refusedPerRow, 4);

    // Nothing to set: no statement at all.
    plan = insertPlan("QRIX2..V", {version}, 1);
    EXPECT_TRUE(plan.sql.isEmpty());
    EXPECT_EQ(plan.refusedPerRow, 1);
    EXPECT_TRUE(insertPlan("QRIX2..V", {}, 3).sql.isEmpty());
}
