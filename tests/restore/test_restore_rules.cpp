// The renaming rules, case by case, and the restore statement onto Main (its other cases are checked on
// the window).

#include "TestText.h"
#include "db/RestoreFiles.h"
#include "restore/BackupRename.h"
#include "restore/FolderRestoreSql.h"

#include <gtest/gtest.h>

using namespace quorix;

TEST(DateFreeBackupName, CutsAtTheFirstYearMarkerAndClosesWithBak) {
    const std::vector<std::pair<const char *, const char *>> renamed = {
        {"Billing_20150312.bak", "Billing.bak"},
        {"Billing_20260101.bak", "Billing.bak"},
        {"Billing_20150312_0100.trn.bak", "Billing.bak"},
        {"Billing_2015.03.bak", "Billing.bak"},
        {"Pay_roll_2016.bak", "Pay_roll.bak"},
        {"Lab_1990.BAK", "Lab.bak"},
        {"Lab_2099x.bak", "Lab.bak"},
        {"Lab_12_19991231_2015.bak", "Lab_12.bak"},
    };
    for (const auto &[name, expected] : renamed)
        EXPECT_EQ(dateFreeBackupName(name), std::optional<QString>(expected)) << name;
    // No year from 1990 to 2099 right after an underscore, or nothing left before it.
    for (const char *name : {"Billing.bak", "Lab_1989.bak", "Lab_2100.bak", "Lab_201.bak", "Lab2015.bak",
                             "Lab-2015.bak", "Lab_x2015.bak", "_20150312.bak"})
        EXPECT_EQ(dateFreeBackupName(name), std::nullopt) << name;
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
