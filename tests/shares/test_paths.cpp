#include "core/shares/Paths.h"

#include <gtest/gtest.h>

using namespace quorix::shares;

TEST(SharesPaths, DriveUncAndLocalPathsDropTrailingBlanksAndDots) {
    ParsedPath drive = parsePath("x:\\MIR\\D.BAK  ");
    EXPECT_EQ(drive.kind, PathKind::Drive);
    EXPECT_EQ(drive.drive, 'X');
    EXPECT_EQ(drive.parts, (std::vector<std::string>{"MIR", "D.BAK"}));
    EXPECT_EQ(formatPath(drive, '\\'), "X:\\MIR\\D.BAK");

    ParsedPath unc = parsePath("\\\\srv\\backup \\MIR.\\a b.bak ");
    EXPECT_EQ(unc.kind, PathKind::Unc);
    EXPECT_EQ(unc.server, "srv");
    EXPECT_EQ(unc.share, "backup");
    EXPECT_EQ(unc.parts, (std::vector<std::string>{"MIR", "a b.bak"}));
    EXPECT_EQ(formatPath(unc, '/'), "//srv/backup/MIR/a b.bak");

    ParsedPath noServer = parsePath("\\\\\\backup");
    EXPECT_EQ(noServer.kind, PathKind::Unc);
    EXPECT_EQ(noServer.server, "");
    EXPECT_EQ(noServer.share, "backup");

    ParsedPath local = parsePath("/tmp/restore\\Billing.bak ");
    EXPECT_EQ(local.kind, PathKind::Local);
    EXPECT_EQ(formatPath(local, '/'), "/tmp/restore/Billing.bak");
    EXPECT_EQ(formatPath(parsePath("rel/../a.  "), '/'), "rel/../a");
    EXPECT_EQ(formatPath(parentOf(parsePath("y:\\MIR\\x.bak")), '\\'), "Y:\\MIR");
    EXPECT_EQ(formatPath(parsePath("Y:"), '\\'), "Y:\\");
}

TEST(SharesPaths, PatternsIgnoreCaseAndFollowWindowsRules) {
    EXPECT_TRUE(matchesPatterns("Billing.BAK", "*.bak"));
    EXPECT_TRUE(matchesPatterns("Billing_log.bak", "*.bak"));
    EXPECT_FALSE(matchesPatterns("Billing.bak.~1.tmp", "*.bak"));
    EXPECT_FALSE(matchesPatterns("Billing.bak2", "*.bak"));
    EXPECT_TRUE(matchesPatterns("DATA.LDF", "*.mdf;*.ldf"));
    EXPECT_TRUE(matchesPatterns("data.mdf", " *.mdf ; *.ldf"));
    EXPECT_FALSE(matchesPatterns("data.ndf", "*.mdf;*.ldf"));
    EXPECT_TRUE(matchesPatterns("README", "*.*"));
    EXPECT_TRUE(matchesPatterns("a.b.c", "*.*"));
    EXPECT_TRUE(matchesPatterns("x1.bak", "x?.BAK"));
    EXPECT_FALSE(matchesPatterns("x12.bak", "x?.bak"));
    EXPECT_TRUE(matchesPatterns("anything", ""));
    EXPECT_TRUE(wildcardMatch("*a*b*c", "xxaybzzc"));
    EXPECT_FALSE(wildcardMatch("*a*b*c", "xxaybzzcd"));

    std::vector<std::string> names{"b.bak", "A.bak", "a.BAK", "C.bak", "b.bak"};
    sortNames(names);
    EXPECT_EQ(names, (std::vector<std::string>{"A.bak", "a.BAK", "b.bak", "C.bak"}));
}
