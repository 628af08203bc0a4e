// The test-data tools' rules that need no window: the record-range copy's statements for hostile names and
// its lines, the work list's parse, the name lists, the confirmation text, the range of the name draw, and
// the anonymizer's statements for blocks of records.

#include "TestText.h"
#include "core/db/SqlQuote.h"
#include "core/masking/AnonymizerLists.h"
#include "core/masking/AnonymizerRules.h"
#include "core/masking/NameBlocks.h"
#include "core/masking/ProductionGuard.h"
#include "core/masking/RecordRangeSql.h"

#include <gtest/gtest.h>
#include <set>

using namespace quorix;

namespace {

struct Statement {
    QString built;
    const char *expected;
};

} // namespace

// The ordinary statements are written out in the window tests; these are the ones they do not send.
TEST(RecordRangeStatements, KeepTheirExactText) {
    const Statement cases[] = {
        {idnumColumnQuery(""), "Select * From sys.columns where object_id = ''  and name ='idnum' "},
        {insertRecordStatement("Patient_data", "tbmaster", {"idnum", "LastName", "Order"}),
         "INSERT INTO Patient_data..tbmaster (idnum, LastName, [Order]) VALUES (?, ?, ?)"},
        {insertRecordStatement("Patient_data", "tbmaster", {}),
         "INSERT INTO Patient_data..tbmaster DEFAULT VALUES"},
        // Names and texts that would otherwise end the literal or the name.
        {defaultDatabaseStatement("sa", "O'Neil"), " Exec sp_defaultdb @loginame='sa', @defdb='O''Neil'"},
        {defaultDatabaseStatement("d'Arcy", "Billing"),
         " Exec sp_defaultdb @loginame='d''Arcy', @defdb='Billing'"},
        {objectIdQuery("My DB", "a]b"), "Select OBJECT_ID('[My DB]..[a]]b]')"},
        {useStatement("My DB"), "Use [My DB]"},
        {mirrorTableQuery("x' OR 1=1 --"), "select * from sys.tables where name='x'' OR 1=1 --'"},
        {rangeQuery("db", "t", "1'", "2"), "select * from db..t where idnum >= '1''' and idnum <= '2'"},
        {recordQuery("db", "Table", "ü"), "Select * from   db..[Table] where idnum = N'ü' "},
    };
    for (const Statement &c : cases)
        EXPECT_EQ(c.built, QString::fromUtf8(c.expected));
}

TEST(NameBlockStatements, KeepTheirExactText) {
    const Statement cases[] = {
        {keyedReadStatement("Patient_data..tbmaster", {"id"}, {"LastName", "FirstName"}, false),
         "SELECT TOP (?) id, LastName, FirstName FROM Patient_data..tbmaster ORDER BY id"},
        {keyedReadStatement("Patient_data..tbmaster", {"id"}, {"LastName"}, true),
         "SELECT TOP (?) id, LastName FROM Patient_data..tbmaster WHERE id > ? ORDER BY id"},
        // A key of three columns goes on after the last record read, column by column; names by the rule.
        {keyedReadStatement("[Billing].[dbo].[t]", {"ward", "bed no", "day"}, {"Name"}, true),
         "SELECT TOP (?) ward, [bed no], day, Name FROM [Billing].[dbo].[t] WHERE ward > ? OR (ward = ? AND "
         "[bed no] > ?) OR (ward = ? AND [bed no] = ? AND day > ?) ORDER BY ward, [bed no], day"},
        {keyedUpdateStatement("Patient_data..tbmaster", {"id"}, {"LastName", "First Name"}, 2),
         "UPDATE t SET LastName = COALESCE(v.LastName, t.LastName), [First Name] = COALESCE(v.[First Name], "
         "t.[First Name]) FROM Patient_data..tbmaster AS t JOIN (VALUES (?, ?, ?), (?, ?, ?)) AS v (id, "
         "LastName, [First Name]) ON t.id = v.id"},
        {keyedUpdateStatement("db..t", {"a", "b"}, {"Name"}, 1),
         "UPDATE t SET Name = COALESCE(v.Name, t.Name) FROM db..t AS t JOIN (VALUES (?, ?, ?)) AS v (a, b, "
         "Name) ON t.a = v.a AND t.b = v.b"},
    };
    for (const Statement &c : cases)
        EXPECT_EQ(c.built, QString::fromUtf8(c.expected));
}

TEST(RecordRangeStatements, LogLines) {
    EXPECT_EQ(recordsAddedLine("tbmaster", 11, 0), "Records added to tbmaster: 11  exist:0");
    EXPECT_EQ(recordsAddedLine("t", 0, 40000), "Records added to t: 0  exist:40000");
    EXPECT_EQ(tableNotFoundLine("tbOnlyHere"), "table not found in database 2 tbOnlyHere");
    EXPECT_EQ(fieldCopyErrorLine("Remark", "Invalid."),
              "fieldRemark may not exists on left databaseInvalid.");
    EXPECT_EQ(fieldTypesLine(4, -9), "4 -9");
}

TEST(WorkListParse, LinesWordsAndBlanks) {
    struct Case {
        const char *text;
        std::vector<QStringList> rows;
    };
    const Case cases[] = {
        {"", {}},
        {"db..t A B C\r\n", {{"db..t", "A", "B", "C"}}},
        {"db..t A B C", {{"db..t", "A", "B", "C"}}},
        {"db..t\r\n", {{"db..t"}}},
        // A trailing blank adds no cell; a leading one leaves the table cell empty.
        {"db..t A \r\n", {{"db..t", "A"}}},
        {" db..t A\r\n", {{"", "db..t", "A"}}},
        // Two blanks make an empty cell and shift the rest one column to the right.
        {"db..t  A B\r\n", {{"db..t", "", "A", "B"}}},
        // A blank line is an empty row.
        {"a..t X\r\n\r\nb..t Y\r\n", {{"a..t", "X"}, {}, {"b..t", "Y"}}},
    };
    for (const Case &c : cases) {
        const WorkList list = parseWorkList(QString::fromUtf8(c.text));
        EXPECT_EQ(list.rows, c.rows) << c.text;
        EXPECT_TRUE(list.excess.empty()) << c.text;
    }
}

TEST(WorkListParse, WordsBeyondTheFifthAreSetApart) {
    const WorkList list = parseWorkList("x a b c d\r\nt a b c d e f\r\n");
    ASSERT_EQ(list.rows.size(), 2u);
    EXPECT_EQ(list.rows[1], (QStringList{"t", "a", "b", "c", "d"}));
    ASSERT_EQ(list.excess.size(), 2u);
    EXPECT_EQ(list.excess[0].row, 1);
    EXPECT_EQ(list.excess[0].word, "e");
    EXPECT_EQ(list.excess[1].word, "f");
}

TEST(NameLists, EntriesOfTheBoxes) {
    EXPECT_EQ(nameEntries(""), QStringList{});
    EXPECT_EQ(nameEntries("Drake\r\nSullivan\r\n"), (QStringList{"Drake", "Sullivan"}));
    EXPECT_EQ(nameEntries("Drake\r\n\r\nBOY NAMES \r\nLast"),
              (QStringList{"Drake", "", "BOY NAMES ", "Last"}));

    const QStringList last = nameEntries(builtInLastNames());
    const QStringList first = nameEntries(builtInFirstNames());
    ASSERT_EQ(last.size(), 1000);
    ASSERT_EQ(first.size(), 1004);
    EXPECT_EQ(last.first(), "Drake");
    EXPECT_EQ(last.last(), "Jacobs");
    EXPECT_EQ(first.mid(97, 4), (QStringList{"Related Post", "BOY NAMES ", "THAT START ", "WITH C"}));
    EXPECT_EQ(first.mid(999), (QStringList{"Jayvion", "Leroy", "Briar", "Jaydon", "Antoine"}));
}

TEST(Confirmation, ShowsTheConnectionStringWithoutItsPassword) {
    EXPECT_EQ(anonymizeConfirmation("Provider=SQLOLEDB;Persist Security Info=True;Server=mirror;UID=sa;"
                                    "Database=MASTER ;Password=s3cr;et=x"),
              "Are you sure you want to anonymize Provider=SQLOLEDB;Persist Security Info=True;Server=mirror;"
              "UID=sa;Database=MASTER ;Password=********?");
    EXPECT_EQ(anonymizeConfirmation("Server=m;UID=sa;Database=MASTER ;Password="),
              "Are you sure you want to anonymize Server=m;UID=sa;Database=MASTER ;Password=?");
    EXPECT_EQ(anonymizeConfirmation(""), "Are you sure you want to anonymize ?");
}

TEST(NameDraw, StaysWithinTheFirst999EntriesAndWithinAShortList) {
    struct Case {
        qsizetype size;
        int highest; // the largest index a draw may give
    };
    for (const Case c : {Case{1004, 998}, Case{1000, 998}, Case{999, 998}, Case{3, 2}, Case{1, 0}}) {
        NameDraw draw(42);
        std::set<int> seen;
        for (int i = 0; i < 20000; ++i) {
            const int index = draw.index(c.size);
            ASSERT_GE(index, 0);
            ASSERT_LE(index, c.highest) << c.size;
            seen.insert(index);
        }
        // Small ranges are covered in full, and 20,000 draws over 999 entries reach the last ones.
        EXPECT_EQ(*seen.rbegin(), c.highest) << c.size;
        EXPECT_EQ(*seen.begin(), 0) << c.size;
    }
    NameDraw draw(7);
    EXPECT_EQ(draw.index(0), -1);
}

TEST(ProductionGuard, TheDatabaseEachTableNames) {
    const std::pair<const char *, const char *> cases[] = {
        {"Patient_data..tbmaster", "Patient_data"},
        {"Billing.dbo.tbA", "Billing"},
        {"[Patient data].[dbo].[tb.x]", "Patient data"},
        {"\"Odd]]Name\"..t", "Odd]]Name"},
        {"[Odd]]Name]..t", "Odd]Name"},
        {"srv.Billing.dbo.t", "Billing"},
        {"dbo.tbA", ""},
        {"tbA", ""},
        {" Billing..tbA ", "Billing"},
    };
    for (const auto &[table, db] : cases)
        EXPECT_EQ(tableDatabase(QString::fromUtf8(table)).toStdString(), db) << table;
    EXPECT_EQ(databasesOf({"Billing..a", "tbB", "billing..c", "Radiology..d", "dbo.e"}),
              (QStringList{"Billing", "", "Radiology"}));
}

TEST(ProductionGuard, TheRoleReadAndTheRefusal) {
    EXPECT_EQ(
        mirroringRoleStatement("Patient_data"),
        "SELECT mirroring_role_desc FROM sys.database_mirroring WHERE database_id = DB_ID(N'Patient_data')");
    EXPECT_EQ(
        mirroringRoleStatement("O'Brien"),
        "SELECT mirroring_role_desc FROM sys.database_mirroring WHERE database_id = DB_ID(N'O''Brien')");
    EXPECT_EQ(mirroringRoleStatement(""),
              "SELECT mirroring_role_desc FROM sys.database_mirroring WHERE database_id = DB_ID()");
    EXPECT_EQ(
        principalRefusal("Billing", "db2,1433"),
        "The database Billing on db2,1433 is the principal of a mirroring session: it is the copy in use, "
        "not a test copy. Nothing was anonymized.");
    EXPECT_EQ(
        principalRefusal("", "db2"),
        "The current database on db2 is the principal of a mirroring session: it is the copy in use, not a "
        "test copy. Nothing was anonymized.");
}
