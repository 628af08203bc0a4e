// The pure pieces of the bulk path: which tables and types it carries, the table name the bulk-copy
// functions take, and which values a row's buffers take as they are (the rest end their batch before them).

#include "core/db/BulkCopy.h"

#include <QDate>
#include <QDateTime>
#include <gtest/gtest.h>

using namespace quorix;

namespace {

ColumnInfo column(const char *name, bool computed = false, bool rowversion = false) {
    ColumnInfo c;
    c.name = QString::fromUtf8(name);
    c.computed = computed;
    c.rowversion = rowversion;
    return c;
}

} // namespace

TEST(BulkRows, TheTableNameWritesTheDefaultSchemaOut) {
    const std::pair<const char *, const char *> cases[] = {
        {"QRIX2..Patients", "QRIX2.dbo.Patients"},
        {"QRIX2.sales.Orders", "QRIX2.sales.Orders"},
        {"QRIX..[Order Lines]", "QRIX.dbo.[Order Lines]"},
        {"[a..b]..T_NEW2", "[a..b].dbo.T_NEW2"},
        {"dbo.T", "dbo.T"},
    };
    for (const auto &[in, out] : cases)
        EXPECT_EQ(BulkCopy::tableName(QString::fromUtf8(in)), QString::fromUtf8(out)) << in;
}

TEST(BulkRows, ATableGoesInBulkOnlyWhenEveryWritableColumnIsFilledWithACarriedType) {
    const std::vector<ColumnInfo> table{column("id"), column("total", true), column("name"),
                                        column("ver", false, true)};
    // Computed and rowversion columns are the server's: the rest are filled in the table's order.
    const auto carried = BulkCopy::columnsFor(table, {"id", "name"}, {"int", "nvarchar(50)"});
    ASSERT_TRUE(carried.has_value());
    ASSERT_EQ(carried->size(), 2u);
    EXPECT_EQ((*carried)[0].ordinal, 1);
    EXPECT_EQ((*carried)[1].ordinal, 3);
    EXPECT_EQ((*carried)[1].type.kind, ParamType::Kind::NVarChar);

    EXPECT_FALSE(BulkCopy::columnsFor(table, {"id"}, {"int"}));                          // name left out
    EXPECT_FALSE(BulkCopy::columnsFor(table, {"name", "id"}, {"int", "int"}));           // another order
    EXPECT_FALSE(BulkCopy::columnsFor(table, {"id", "name"}, {"int", "nvarchar(max)"})); // a (max) type
    EXPECT_FALSE(BulkCopy::columnsFor(table, {"id", "name"}, {"int", "time(7)"}));
    EXPECT_FALSE(BulkCopy::columnsFor({}, {}, {}));
}

TEST(BulkRows, AValueGoesInAsItIsOrEndsItsBatch) {
    struct Case {
        const char *type;
        QVariant value;
        bool taken;
    };
    const Case cases[] = {
        {"int", QVariant(2147483647), true},
        {"int", QVariant(qlonglong(2147483648LL)), false},
        {"tinyint", QVariant(-1), false},
        {"bigint", QVariant(QStringLiteral("-9223372036854775808")), true},
        {"bit", QVariant(true), true},
        {"float", QVariant(0.1), true},
        {"float", QVariant(QStringLiteral("0.1")), false}, // text is not a float's value
        {"real", QVariant(1e39), false},
        {"decimal(5,2)", QVariant(QStringLiteral("123.45")), true},
        {"decimal(5,2)", QVariant(QStringLiteral("-1.230")), true},
        {"decimal(5,2)", QVariant(QStringLiteral("1234.5")), false},
        {"decimal(5,2)", QVariant(QStringLiteral("1.234")), false}, // would be rounded
        {"decimal(5,2)", QVariant(QStringLiteral("abc")), false},
        {"nvarchar(3)", QVariant(QStringLiteral("abc")), true},
        {"nvarchar(3)", QVariant(QStringLiteral("abcd")), false},
        {"varchar(3)", QVariant(QStringLiteral("é")), true},
        {"varchar(3)", QVariant(QStringLiteral("éé")), false}, // counted in UTF-8 bytes, to be sure
        {"varchar(3)", QVariant(42), false},
        {"varbinary(2)", QVariant(QByteArray("\x01\x02", 2)), true},
        {"varbinary(2)", QVariant(QByteArray("\x01\x02\x03", 3)), false},
        {"date", QVariant(QDate(1900, 1, 1)), true},
        {"date", QVariant(QDate(1899, 12, 31)), false},
        {"datetime2(7)", QVariant(QStringLiteral("2024-02-29 23:59:58.1234567")), true},
        {"datetime2(7)", QVariant(QStringLiteral("2024-02-29T23:59:58")), true},
        {"datetime2(7)", QVariant(QStringLiteral("yesterday")), false},
        {"datetime", QVariant(QDateTime(QDate(1753, 1, 1), QTime(0, 0))), true},
        {"datetime", QVariant(QDateTime(QDate(1752, 12, 31), QTime(0, 0))), false},
        {"smalldatetime", QVariant(QDateTime(QDate(2079, 1, 1), QTime(0, 0))), false},
        {"uniqueidentifier", QVariant(QStringLiteral("6F9619FF-8B86-D011-B42D-00C04FC964FF")), true},
        {"uniqueidentifier", QVariant(QStringLiteral("nonsense")), false},
        {"nvarchar(3)", QVariant(), true}, // NULL goes into any column
    };
    for (const Case &c : cases) {
        for (const bool utf16 : {false, true}) {
            BcpRow row({{1, ParamType::parse(QString::fromUtf8(c.type))}}, utf16);
            EXPECT_EQ(row.fill({c.value}), c.taken) << c.type << " " << c.value.toString().toStdString();
        }
    }
}
