// The renaming rules, case by case, and the restore statement onto Main (its other cases are checked on
// the window).

#include "TestText.h"
#include "core/db/RestoreFiles.h"
#include "core/restore/BackupRename.h"
#include "core/restore/FolderRestoreSql.h"

#include <gtest/gtest.h>

using namespace quorix;

// Only a whole calendar date right after an "_" is cut: a year alone is an archive's name, not a date.
TEST(DateFreeBackupName, CutsAtTheFirstWholeDateAndClosesWithBak) {
    const std::vector<std::pair<const char *, std::optional<QString>>> cases = {
        {"Billing_20150312.bak", "Billing.bak"},
        {"Billing_20260101_0100.bak", "Billing.bak"},
        {"Billing_20150312_0100.trn.bak", "Billing.bak"},
        {"Pay_2019_20150312.bak", "Pay_2019.bak"},
        {"Pay_roll_20160229.bak", "Pay_roll.bak"}, // a leap day
        {"Lab_19900101.BAK", "Lab.bak"},
        {"Lab_20991231x.bak", "Lab.bak"},
        {"Lab_20150230_20150301.bak", "Lab_20150230.bak"}, // the first real date counts
        {"Lab_20150312", "Lab.bak"},                       // nothing after the date
        {"Accounting_2012.bak", std::nullopt},
        {"Pay_2019.bak", std::nullopt},
        {"X_20150230.bak", std::nullopt},   // no such day
        {"X_20150229.bak", std::nullopt},   // 2015 is no leap year
        {"X_20151301.bak", std::nullopt},   // no thirteenth month
        {"X_20150300.bak", std::nullopt},   // no day 0
        {"X_19891231.bak", std::nullopt},   // before 1990
        {"X_21000101.bak", std::nullopt},   // after 2099
        {"X_201503121.bak", std::nullopt},  // a ninth digit: no date
        {"X_2015031.bak", std::nullopt},    // seven digits
        {"X_2015.03.12.bak", std::nullopt}, // dots inside
        {"X20150312.bak", std::nullopt},    // no "_"
        {"X-20150312.bak", std::nullopt},   // nor another mark
        {"_20150312.bak", std::nullopt},    // nothing would be left of the name
        {"Billing.bak", std::nullopt},
        {"X_\u0662\u0660\u0661\u0665\u0660\u0663\u0661\u0662.bak", std::nullopt}, // not ASCII digits
    };
    for (const auto &[name, expected] : cases)
        EXPECT_EQ(dateFreeBackupName(QString::fromUtf8(name)), expected) << name;
}

TEST(CutAtSeparator, CutsBeforeTheFirstDotAndKeepsTheRest) {
    using Kind = SeparatorCut::Kind;
    struct Case {
        const char *name, *separator;
        Kind kind;
        const char *newName;
    };
    const std::vector<Case> cases = {
        {"Billing_20150312.bak", "_201", Kind::Rename, "Billing.bak"},
        {"Pay_roll_2016.bak", "_201", Kind::Rename, "Pay_roll.bak"},
        {"Billing_2015.03.bak", "_201", Kind::Rename, "Billing.03.bak"},
        {"Billing_2015_log.ldf", "_201", Kind::Rename, "Billing.ldf"},
        {"Billing-x-2015.mdf", "-x-", Kind::Rename, "Billing.mdf"},
        {"NoDot_2015", "_201", Kind::Rename, "NoDot"},
        {"Billing.bak", "_201", Kind::Leave, ""},
        {"billing_X.bak", "_x", Kind::Leave, ""}, // case-sensitive
        {"_2015.bak", "_201", Kind::Leave, ""},   // nothing would be left of the name
        {"Billing.bak", "", Kind::Leave, ""},
        {"Billing.x_2015.bak", "_201", Kind::AfterFirstDot, ""},
    };
    for (const Case &c : cases) {
        const SeparatorCut cut = cutAtSeparator(c.name, c.separator);
        EXPECT_EQ(cut.kind, c.kind) << c.name;
        EXPECT_EQ(cut.newName, c.newName) << c.name;
    }
}

TEST(FolderRestoreStatement, TheListedFileOntoMainWithReplace) {
    const RestoreFileEntries files = {{"Billing_Data", "Billing.mdf"}, {"Billing_Log", "Billing_log.LDF"}};
    const std::vector<std::pair<QString, QString>> cases = {
        {restoreOntoMainStatement("Billing", "p:\\backup\\Billing.bak", moveList(files, "C", "")),
         "RESTORE DATABASE  Billing FROM DISK = 'p:\\backup\\Billing.bak' With   MOVE  'Billing_Data' TO "
         "'C:\\db\\Billing.mdf',  MOVE  'Billing_Log' TO 'C:\\db\\Billing_log.LDF',  Replace "},
        // Without MOVE entries: three blanks between With and Replace.
        {restoreOntoMainStatement("Billing", "p:\\backup\\Billing.bak", QString()),
         "RESTORE DATABASE  Billing FROM DISK = 'p:\\backup\\Billing.bak' With   Replace "},
        {restoreOntoMainStatement("Больница", "p:\\backup\\Больница.bak", QString()),
         "RESTORE DATABASE  Больница FROM DISK = N'p:\\backup\\Больница.bak' With   Replace "},
    };
    for (const auto &[built, expected] : cases)
        EXPECT_EQ(built, expected);
}
