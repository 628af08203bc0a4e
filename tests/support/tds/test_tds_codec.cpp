// Values and text on the wire: what a result set column sends is what a parameter of that type reads back.

#include "tds/Codec.h"
#include "tds/RuleFile.h"
#include "tds/Text.h"

#include <gtest/gtest.h>

#include <sstream>

using namespace quorix::tds;

namespace {

// Encodes `value` as a column of `sqlType` and decodes it as a parameter would be.
Value roundTrip(const std::string &sqlType, const Value &value) {
    const Column column = makeColumn("c", sqlType);
    const std::vector<Row> rows{{value}};
    const TypeDesc written = describeColumn(column, &rows, 0);
    Bytes b;
    putTypeInfo(b, written);
    putValue(b, written, value);
    Cursor c(b);
    const TypeDesc read = readTypeInfo(c);
    EXPECT_EQ(read.type, column.type) << sqlType;
    const Value out = readValue(c, read);
    EXPECT_TRUE(c.atEnd()) << sqlType;
    return out;
}

TEST(TdsCodec, EveryTypeRoundTrips) {
    const std::vector<std::tuple<std::string, std::string, std::string>> cases = {
        {"int", "-2147483648", "-2147483648"},
        {"bigint", "9223372036854775807", "9223372036854775807"},
        {"smallint", "-5", "-5"},
        {"tinyint", "255", "255"},
        {"bit", "true", "1"},
        {"float", "0.1", "0.1"},
        {"real", "1.25", "1.25"},
        {"decimal(10,2)", "-12.5", "-12.50"},
        {"decimal(38,4)", "1234567890123456789012345678901234.5678",
         "1234567890123456789012345678901234.5678"},
        {"numeric(5,3)", "1.2345", "1.235"}, // rounded like the server rounds
        {"money", "-922337203685477.5808", "-922337203685477.5808"},
        {"money", "12.5", "12.5000"},
        {"datetime", "2024-02-29 13:45:00.123", "2024-02-29 13:45:00.123"},
        {"datetime", "1999-12-31 23:59:59.999", "2000-01-01 00:00:00.000"}, // 1/300 s ticks round up
        {"datetime", "1753-01-01", "1753-01-01 00:00:00.000"},
        {"date", "0001-01-01", "0001-01-01"},
        {"date", "9999-12-31", "9999-12-31"},
        {"time(0)", "23:59:59", "23:59:59"},
        {"time", "01:02:03.1234567", "01:02:03.1234567"},
        {"datetime2(3)", "2024-01-31 13:45:00.5", "2024-01-31 13:45:00.500"},
        // The moment travels in UTC with its offset, and comes back as the local time and the offset.
        {"datetimeoffset", "2021-03-04 05:06:07.1234567 +05:45", "2021-03-04 05:06:07.1234567 +05:45"},
        {"datetimeoffset(0)", "0001-01-01T00:00:00-05:45", "0001-01-01 00:00:00 -05:45"},
        {"datetimeoffset(3)", "9999-12-31 23:59:59.999Z", "9999-12-31 23:59:59.999 +00:00"},
        {"char(4)", "ab", "ab  "},
        {"varchar(10)", "caf\xC3\xA9 \xE2\x82\xAC", "caf\xC3\xA9 \xE2\x82\xAC"},
        {"nchar(3)", "\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80 "},
        {"nvarchar(20)", "\xE6\xBC\xA2\xF0\x9F\x98\x80", "\xE6\xBC\xA2\xF0\x9F\x98\x80"},
        {"binary(3)", "0xAB", "0xAB0000"},
        {"varbinary(8)", "0x00ff", "0x00FF"},
        {"varchar(max)", "", ""},
        {"nvarchar(max)", std::string(70000, 'z'), std::string(70000, 'z')}, // several PLP chunks
    };
    for (const auto &[type, in, out] : cases)
        EXPECT_EQ(roundTrip(type, in), out) << type << " " << in.substr(0, 40);
    for (const char *type :
         {"int", "bit", "decimal(9,1)", "money", "datetime", "date", "time(3)", "datetime2", "datetimeoffset",
          "char(2)", "nvarchar(5)", "varbinary(max)", "nvarchar(max)"})
        EXPECT_EQ(roundTrip(type, std::nullopt), std::nullopt) << type;
}

TEST(TdsCodec, ColumnsGrowToTheirLongestValue) {
    const std::vector<Row> rows{{"abc"}, {std::nullopt}, {"abcdefghij"}};
    EXPECT_EQ(describeColumn(makeColumn("c", "varchar(4)"), &rows, 0).maxLen, 10);
    EXPECT_EQ(describeColumn(makeColumn("c", "nvarchar(4)"), &rows, 0).maxLen, 20);
    EXPECT_EQ(describeColumn(makeColumn("c", "nvarchar"), &rows, 0).maxLen, 8000);
    EXPECT_EQ(describeColumn(makeColumn("c", "char"), &rows, 0).maxLen, 10);
    const std::vector<Row> huge{{std::string(8001, 'x')}};
    EXPECT_THROW(describeColumn(makeColumn("c", "varchar(10)"), &huge, 0), std::invalid_argument);
}

TEST(TdsCodec, BadValuesAreRefused) {
    const auto encode = [](const std::string &type, const std::string &value) {
        const TypeDesc d = describeColumn(makeColumn("c", type), nullptr, 0);
        Bytes b;
        putValue(b, d, value);
    };
    EXPECT_THROW(encode("int", "12a"), std::invalid_argument);
    EXPECT_THROW(encode("int", "2147483648"), std::invalid_argument);
    EXPECT_THROW(encode("tinyint", "-1"), std::invalid_argument);
    EXPECT_THROW(encode("decimal(4,2)", "100.00"), std::invalid_argument);
    EXPECT_THROW(encode("date", "2023-02-30"), std::invalid_argument);
    EXPECT_THROW(encode("time", "24:00:00"), std::invalid_argument);
    EXPECT_THROW(encode("datetimeoffset", "2021-03-04 05:06:07 +14:01"), std::invalid_argument);
    EXPECT_THROW(encode("datetimeoffset", "0001-01-01 00:00:00 +00:01"),
                 std::invalid_argument); // before 0001 in UTC
    EXPECT_THROW(encode("varbinary(4)", "0xABC"), std::invalid_argument);
    EXPECT_THROW(encode("bit", "yes"), std::invalid_argument);
    EXPECT_THROW(makeColumn("c", "geography"), std::invalid_argument);
}

TEST(TdsCodec, TextConversions) {
    const std::string smile = "\xF0\x9F\x98\x80";
    EXPECT_EQ(utf8ToUtf16(smile), Bytes("\x3D\xD8\x00\xDE", 4));
    EXPECT_EQ(utf16Units(smile + "a"), 3u);
    EXPECT_EQ(utf16ToUtf8(utf8ToUtf16("a" + smile + "\xC3\xA9")), "a" + smile + "\xC3\xA9");
    EXPECT_EQ(utf16ToUtf8(Bytes("\x3D\xD8"
                                "a\x00",
                                4)),
              "\xEF\xBF\xBD"
              "a"); // a lone surrogate
    EXPECT_EQ(utf8ToCp1252("\xE2\x82\xAC\xC3\xA9\xE6\xBC\xA2"), Bytes("\x80\xE9?", 3));
    EXPECT_EQ(cp1252ToUtf8(Bytes("\x80\xE9", 2)), "\xE2\x82\xAC\xC3\xA9");
}

TEST(TdsRuleFile, ParsesAndNamesTheBadLine) {
    ScriptedServer server;
    std::istringstream good("login sa pw\n"
                            "databases master Billing\n"
                            "exact SELECT 1\n"
                            "  columns x:int name:nvarchar(10)\n"
                            "  row 1|a\\|b\n"
                            "  row NULL|NULL\n"
                            "pattern DROP .*\n"
                            "  error 3701 16 1 Cannot drop it.\n");
    EXPECT_NO_THROW(loadRules(good, server));
    EXPECT_EQ(server.databases(), (std::vector<std::string>{"master", "Billing"}));

    std::istringstream bad("exact SELECT 1\n  columns x:int\n  row 1\n  rows 2\n");
    try {
        loadRules(bad, server);
        ADD_FAILURE() << "no exception";
    } catch (const std::invalid_argument &e) {
        EXPECT_EQ(std::string(e.what()), "line 4: unknown keyword 'rows'");
    }
    std::istringstream badPattern("pattern (\n");
    EXPECT_THROW(loadRules(badPattern, server), std::invalid_argument);
}

} // namespace
