#include "core/dbautils/SqlToString.h"

#include <gtest/gtest.h>

using quorix::sqlToVbSource;
using quorix::vbSourceToSql;

TEST(SqlToString, TwoLinesBecomeTwoSourceLines) {
    EXPECT_EQ(sqlToVbSource("SELECT *\r\nFROM t"), "SQLStr = \" SELECT *\" & _ \r\n\"FROM t\"");
}

TEST(SqlToString, EmptyTextAndTrailingLineBreak) {
    EXPECT_EQ(sqlToVbSource(""), "SQLStr = \" \"");
    const QString out = sqlToVbSource("x\r\n");
    EXPECT_TRUE(out.endsWith("\r\n\"\"")) << out.toStdString(); // last source line: two double quotes
    EXPECT_EQ(out, "SQLStr = \" x\" & _ \r\n\"\"");
}

TEST(SqlToString, OnlyWholeCrLfPairsJoinAndQuotesAreCopied) {
    EXPECT_EQ(sqlToVbSource("a\nb\rc"), "SQLStr = \" a\nb\rc\"");
    EXPECT_EQ(sqlToVbSource("WHERE n = \"x\""), "SQLStr = \" WHERE n = \"x\"\"");
    EXPECT_EQ(sqlToVbSource("a\r\n\r\nb"), "SQLStr = \" a\" & _ \r\n\"\" & _ \r\n\"b\"");
}

TEST(SqlToString, ClearSqlRemovesContinuationsAndEveryQuote) {
    const QString sql = "SELECT \"a\"\r\nFROM t";
    EXPECT_EQ(vbSourceToSql(sqlToVbSource(sql)), "SQLStr =  SELECT a  \r\nFROM t");
    EXPECT_EQ(vbSourceToSql("x &_ y & _z"), "x &_ y z");
    EXPECT_EQ(vbSourceToSql(""), "");
}
