#include "core/db/GetWord.h"

#include <gtest/gtest.h>

using quorix::GetWord;

TEST(GetWord, TakesItemsInOrderAndEmptiesTheList) {
    QString list = "a,b,c";
    EXPECT_EQ(GetWord(list, ","), "a");
    EXPECT_EQ(list, "b,c");
    list = "c";
    EXPECT_EQ(GetWord(list, ","), "c");
    EXPECT_EQ(list, "");
    EXPECT_EQ(GetWord(list, ","), "");
    EXPECT_EQ(list, "");
}

TEST(GetWord, EmptyItemsAndTwoCharacterSeparators) {
    QString list = ",x";
    EXPECT_EQ(GetWord(list, ","), "");
    EXPECT_EQ(list, "x");
    list = "one\r\ntwo\r\n";
    EXPECT_EQ(GetWord(list, "\r\n"), "one");
    EXPECT_EQ(list, "two\r\n");
    EXPECT_EQ(GetWord(list, "\r\n"), "two");
    EXPECT_EQ(list, "");
}

TEST(GetWord, SeparatorIsCaseSensitive) {
    QString list = "select go\r\nGO\r\nrest";
    EXPECT_EQ(GetWord(list, "GO\r\n"), "select go\r\n");
    EXPECT_EQ(list, "rest");
}
