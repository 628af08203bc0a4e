// The speed test's texts to the letter, and how the elapsed seconds read.

#include "core/dbautils/SpeedTestSql.h"

#include <gtest/gtest.h>

using namespace quorix;

TEST(SpeedTestSql, StatementsToTheLetter) {
    struct Case {
        QString db, create, insert, remove, read;
    } cases[] = {
        {"QRIX", "CREATE TABLE QRIX..SpeedTest (DESC2 varchar(100))",
         "insert into QRIX..SpeedTest (DESC2) VALUES ('4711')", "delete top (1) from QRIX..SpeedTest ",
         "select top 5000 * from QRIX..SpeedTest"},
        // No database: a name the server refuses, never the table of the connection's default database.
        {"", "CREATE TABLE []..SpeedTest (DESC2 varchar(100))",
         "insert into []..SpeedTest (DESC2) VALUES ('4711')", "delete top (1) from []..SpeedTest ",
         "select top 5000 * from []..SpeedTest"},
        // A name that is not an ordinary identifier can only be a name.
        {"My DB]x", "CREATE TABLE [My DB]]x]..SpeedTest (DESC2 varchar(100))",
         "insert into [My DB]]x]..SpeedTest (DESC2) VALUES ('4711')",
         "delete top (1) from [My DB]]x]..SpeedTest ", "select top 5000 * from [My DB]]x]..SpeedTest"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.db.toStdString());
        EXPECT_EQ(createSpeedTestStatement(c.db), c.create);
        EXPECT_EQ(insertSpeedTestStatement(c.db, 4711), c.insert);
        EXPECT_EQ(deleteSpeedTestStatement(c.db), c.remove);
        EXPECT_EQ(readSpeedTestStatement(c.db), c.read);
    }
    EXPECT_EQ(insertSpeedTestStatement("QRIX", 1), "insert into QRIX..SpeedTest (DESC2) VALUES ('1')");
}

TEST(SpeedTestSql, ConnectionStringHasNoBlankBeforeThePassword) {
    EXPECT_EQ(speedTestConnectionString("db1\\MAIN,1433"),
              "Provider=SQLOLEDB;Persist Security Info=True;Server=db1\\MAIN,1433;UID=sa;Database=MASTER;"
              "Password=garden@584");
}

TEST(SpeedTestSql, SecondsToTheMicrosecondWithoutTrailingZeros) {
    const std::pair<double, const char *> cases[] = {
        {1.25, "1.25"},         {3.0, "3"},           {0.0, "0"},
        {0.000731, "0.000731"}, {0.0000004, "0"},     {12.3456789, "12.345679"},
        {2.5000004, "2.5"},     {86400.5, "86400.5"},
    };
    for (const auto &[seconds, text] : cases)
        EXPECT_EQ(secondsText(seconds), text) << seconds;
}
