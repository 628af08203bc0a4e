// A table's columns for building INSERTs: the written forms of table names, the parameter type of each
// column type, and tableColumns through the real driver against the scripted server's table model,
// whose INSERTs through prepared statements are checked here too, since the table tools rely on them.

#include "DbTestSupport.h"
#include "core/db/PreparedStatement.h"
#include "core/db/ServerConnection.h"
#include "core/db/TableColumns.h"
#include "tds/TableModel.h"

#include <gtest/gtest.h>

using namespace quorix;
using namespace quorix::testing;
using tds::makeColumn;
using tds::Row;

TEST(TableNameText, SplitsTheWrittenForms) {
    struct Case {
        const char *text, *database, *schema, *table;
    };
    const Case cases[] = {
        {"Patient_data..tbAdmContact", "Patient_data", "", "tbAdmContact"},
        {"[Patient_Data].[dbo].[tbmaster]", "Patient_Data", "dbo", "tbmaster"},
        {"Billing.dbo.t", "Billing", "dbo", "t"},
        {"[My DB].[dbo].[a]]b.c]", "My DB", "dbo", "a]b.c"},
        {"\"odd.schema\".t", "", "odd.schema", "t"},
        {"dbo.t", "", "dbo", "t"},
        {"t", "", "", "t"},
        {"server.db.dbo.t", "db", "dbo", "t"},
    };
    for (const Case &c : cases) {
        const TableName n = splitTableName(QString::fromUtf8(c.text));
        EXPECT_EQ(n.database, QString::fromUtf8(c.database)) << c.text;
        EXPECT_EQ(n.schema, QString::fromUtf8(c.schema)) << c.text;
        EXPECT_EQ(n.table, QString::fromUtf8(c.table)) << c.text;
    }
}

TEST(TableColumnsText, ParameterTypesAndTheCatalogQuery) {
    struct Case {
        const char *typeName;
        qint64 size;
        int precision, scale;
        const char *declared;
    };
    const Case cases[] = {
        {"nvarchar", 50, 50, 0, "nvarchar(50)"},
        {"nvarchar", 0, 0, 0, "nvarchar(max)"},
        {"varbinary", 2147483647, 0, 0, "varbinary(max)"},
        {"CHAR", 3, 3, 0, "char(3)"},
        {"decimal", 10, 10, 2, "decimal(10,2)"},
        {"numeric", 38, 38, 0, "numeric(38,0)"},
        {"datetime2", 27, 7, 7, "datetime2(7)"},
        {"time", 8, 0, 0, "time(0)"},
        {"datetimeoffset", 30, 3, 3, "datetimeoffset(3)"},
        {"text", 2147483647, 0, 0, "varchar(max)"},
        {"ntext", 1073741823, 0, 0, "nvarchar(max)"},
        {"image", 2147483647, 0, 0, "varbinary(max)"},
        {"money", 19, 19, 4, "money"},
        {"datetime", 23, 3, 3, "datetime"},
        {"uniqueidentifier", 36, 0, 0, "uniqueidentifier"},
    };
    for (const Case &c : cases) {
        ColumnInfo info;
        info.typeName = QLatin1String(c.typeName);
        info.size = c.size;
        info.precision = c.precision;
        info.scale = c.scale;
        EXPECT_EQ(parameterTypeOf(info), QLatin1String(c.declared)) << c.typeName;
    }
    EXPECT_EQ(tableColumnsCatalogQuery(QStringLiteral("[Bill ing].[dbo].[o'rders]")),
              "SELECT c.name, c.is_identity, c.is_computed, CAST(CASE WHEN c.system_type_id = 189 THEN 1 "
              "ELSE 0 END AS bit) AS is_rowversion FROM [Bill ing].sys.columns AS c WHERE c.object_id = "
              "OBJECT_ID(N'[Bill ing].[dbo].[o''rders]') ORDER BY c.column_id");
    EXPECT_EQ(tableColumnsCatalogQuery(QStringLiteral("orders")),
              "SELECT c.name, c.is_identity, c.is_computed, CAST(CASE WHEN c.system_type_id = 189 THEN 1 "
              "ELSE 0 END AS bit) AS is_rowversion FROM sys.columns AS c WHERE c.object_id = "
              "OBJECT_ID(N'orders') ORDER BY c.column_id");
}

namespace {

class TableColumnsTest : public ::testing::Test {
protected:
    void SetUp() override {
        server = startServer("127.0.0.2", "pw");
        auto id = makeColumn("id", "int", false);
        id.identity = true;
        auto total = makeColumn("total", "decimal(12,2)");
        total.computed = true;
        server->tables().set("orders",
                             {id, makeColumn("code", "nchar(4)", false), makeColumn("price", "decimal(10,2)"),
                              total, makeColumn("stamp", "rowversion"), makeColumn("note", "varchar(max)"),
                              makeColumn("created", "datetime2(3)")});
        session.open(clearTarget(*server, "pw"));
    }
    std::unique_ptr<tds::ScriptedServer> server;
    ServerConnection session;
};

} // namespace

TEST_F(TableColumnsTest, IdentityComputedAndRowversionComeFromTheCatalog) {
    struct Expected {
        const char *name, *declared;
        bool nullable, identity, computed, rowversion;
    };
    const Expected expected[] = {
        {"id", "int", false, true, false, false},
        {"code", "nchar(4)", false, false, false, false},
        {"price", "decimal(10,2)", true, false, false, false},
        {"total", "decimal(12,2)", true, false, true, false},
        {"stamp", "binary(8)", false, false, false, true},
        {"note", "varchar(max)", true, false, false, false},
        {"created", "datetime2(3)", true, false, false, false},
    };
    for (const char *form : {"Billing..orders", "[Billing].[dbo].[orders]", "Billing.dbo.orders", "orders"}) {
        SCOPED_TRACE(form);
        const std::vector<ColumnInfo> columns = tableColumns(session, QLatin1String(form));
        ASSERT_EQ(columns.size(), std::size(expected));
        for (size_t i = 0; i < columns.size(); ++i) {
            SCOPED_TRACE(expected[i].name);
            EXPECT_EQ(columns[i].name, QLatin1String(expected[i].name));
            EXPECT_EQ(parameterTypeOf(columns[i]), QLatin1String(expected[i].declared));
            EXPECT_EQ(columns[i].nullable, expected[i].nullable);
            EXPECT_EQ(columns[i].identity, expected[i].identity);
            EXPECT_EQ(columns[i].computed, expected[i].computed);
            EXPECT_EQ(columns[i].rowversion, expected[i].rowversion);
        }
    }
    EXPECT_TRUE(server->batches().size() == 4u); // one catalog read per call; the description is prepared
    try {
        tableColumns(session, QStringLiteral("Billing..nowhere"));
        FAIL() << "described a table that does not exist";
    } catch (const DbError &e) {
        EXPECT_EQ(e.records().at(0).native, 208);
    }
}

TEST_F(TableColumnsTest, PreparedInsertsAddRowsOrGetTheServersRefusal) {
    struct Case {
        const char *sql;
        QStringList types;
        std::vector<QVariant> values;
        int refusal; // the server's error number, 0 for none
    };
    const char *insert = "INSERT INTO Billing..orders (code, price, note, created) VALUES (?, ?, ?, ?)";
    const QStringList types{"nvarchar(10)", "decimal(10,2)", "varchar(max)", "datetime2(3)"};
    const Case cases[] = {
        {insert, types, {"AB", "5", "first", "2024-01-31 13:45:00.123"}, 0},
        {insert, types, {QVariant(), "5", "no code", QVariant()}, 515},
        {insert, types, {"ABCDE", "5", "too long", QVariant()}, 8152},
        {"INSERT INTO Billing..orders (id, code) VALUES (?, ?)", {"int", "nchar(4)"}, {10, "X"}, 544},
        {"INSERT INTO Billing..orders (code, total) VALUES (?, ?)", {"nchar(4)", "int"}, {"X", 1}, 271},
        {"INSERT INTO Billing..orders (code, stamp) VALUES (?, ?)",
         {"nchar(4)", "binary(8)"},
         {"X", QByteArray(8, '\0')},
         273},
        {"INSERT INTO Billing..orders (code, nope) VALUES (?, ?)", {"nchar(4)", "int"}, {"X", 1}, 207},
        // The statement's syntax names a schema whenever it names a database.
        {"SET IDENTITY_INSERT Billing..orders ON", {}, {}, 102},
        {"INSERT INTO Billing..orders (id, code) VALUES (?, ?)", {"int", "nchar(4)"}, {11, "X"}, 544},
        {"SET IDENTITY_INSERT Billing.dbo.orders ON", {}, {}, 0},
        {"INSERT INTO Billing..orders (id, code, price) VALUES (?, ?, ?)",
         {"int", "nchar(4)", "money"},
         {10, "Z", "-1.5"},
         0},
        {"SET IDENTITY_INSERT Billing.dbo.orders OFF", {}, {}, 0},
        {"INSERT Billing..orders (code) VALUES (?)", {"nchar(4)"}, {"Y"}, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.sql);
        try {
            PreparedStatement(session, QLatin1String(c.sql), c.types).execute(c.values);
            EXPECT_EQ(c.refusal, 0);
        } catch (const DbError &e) {
            EXPECT_EQ(e.records().at(0).native, c.refusal) << e.description().toStdString();
        }
    }
    EXPECT_EQ(
        server->tables().rows("orders"),
        (std::vector<Row>{
            {"1", "AB  ", "5.00", std::nullopt, "0x0000000000000001", "first", "2024-01-31 13:45:00.123"},
            {"10", "Z   ", "-1.50", std::nullopt, "0x0000000000000002", std::nullopt, std::nullopt},
            {"11", "Y   ", std::nullopt, std::nullopt, "0x0000000000000003", std::nullopt, std::nullopt},
        }));
}
