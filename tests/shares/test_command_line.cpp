#include "core/shares/CommandLine.h"

#include <gtest/gtest.h>

using namespace quorix::shares;

// The quoting CommandLineToArgvW undoes: each case is what the started program receives as one argument.
TEST(SharesCommandLine, EachArgumentArrivesWhole) {
    const struct {
        std::string arg;
        std::string quoted;
    } cases[] = {
        {"/delete", "/delete"},
        {"*", "*"},
        {"\\\\SQL01\\backup", "\\\\SQL01\\backup"},
        {"\\\\SQL 01\\backup", "\"\\\\SQL 01\\backup\""},
        {"", "\"\""},
        {"a\"b", "\"a\\\"b\""},
        {"tab\there", "\"tab\there\""},
        {"C:\\dir with blank\\", "\"C:\\dir with blank\\\\\""},
        {"back\\\"quote x", "\"back\\\\\\\"quote x\""},
        {"\\\\srv\\backup\" /e,C:", "\"\\\\srv\\backup\\\" /e,C:\""},
    };
    for (const auto &c : cases)
        EXPECT_EQ(quoteArgument(c.arg), c.quoted) << c.arg;
}

TEST(SharesCommandLine, TheProgramIsQuotedByItsFullPath) {
    EXPECT_EQ(commandLine("C:\\Windows\\explorer.exe", {"\\\\SQL01\\backup"}),
              "\"C:\\Windows\\explorer.exe\" \\\\SQL01\\backup");
    EXPECT_EQ(commandLine("C:\\Windows\\system32\\net.exe", {"use", "*", "/delete"}),
              "\"C:\\Windows\\system32\\net.exe\" use * /delete");
    EXPECT_EQ(commandLine("C:\\Windows\\system32\\cmd.exe", {}), "\"C:\\Windows\\system32\\cmd.exe\"");
    EXPECT_EQ(commandLine("C:\\Windows\\explorer.exe", {"\\\\SQL01\\backup"}, true),
              "\"C:\\Windows\\explorer.exe\" \"\\\\SQL01\\backup\"");
    EXPECT_EQ(quoteArgument("\\\\SQL01\\backup", true), "\"\\\\SQL01\\backup\"");
    EXPECT_EQ(commandLine("C:\\Windows\\explorer.exe", {"\\\\my server\\backup"}),
              "\"C:\\Windows\\explorer.exe\" \"\\\\my server\\backup\"");
}
