#include "SqlShape.h"
#include "core/db/RestoreDrive.h"

#include <gtest/gtest.h>

using namespace quorix;

namespace {
const std::array<QString, 6> kBoxes = {"F0", "C0", "O0", "F1", "C1", "O1"};

QString driveFor(const char *name, int slot) {
    QString copy = QString::fromLatin1(name);
    return RestoreDriveFor(copy, slot, kBoxes);
}
} // namespace

TEST(RestoreDrive, CategoryByKeywordAnywhereInTheName) {
    EXPECT_EQ(driveFor("billing_2015", 0), "F0");
    EXPECT_EQ(driveFor("BILLING", 0), "F0");
    EXPECT_EQ(driveFor("Patient_data", 0), "O0");
    EXPECT_EQ(driveFor("CardioLab", 0), "C0");
    EXPECT_EQ(driveFor("RadiologyArchive", 0), "C0");
    EXPECT_EQ(driveFor("old_clinical_area", 0), "C0");
    // Short keywords inside longer words.
    EXPECT_EQ(driveFor("ACCTG", 0), "F0");
    EXPECT_EQ(driveFor("WORKSTATION", 0), "C0");
    // Financial keywords are tried before any clinical one.
    EXPECT_EQ(driveFor("LaboratoryBilling", 0), "F0");
    EXPECT_EQ(driveFor("StationPayroll", 0), "F0");
    EXPECT_EQ(driveFor("", 0), "O0");
}

TEST(RestoreDrive, SlotSelectsTheBoxesAndNameIsUpperCased) {
    EXPECT_EQ(driveFor("Billing", 1), "F1");
    EXPECT_EQ(driveFor("Doctors", 1), "C1");
    EXPECT_EQ(driveFor("QRIX", 1), "O1");
    for (int slot : {0, 2, -1, 7})
        EXPECT_EQ(driveFor("Nuclear", slot), "C0") << slot;

    QString name = QStringLiteral("Hemodialysis_2015");
    const std::array<QString, 6> boxes = {" d ", "", "", "", "", ""}; // returned as typed
    EXPECT_EQ(RestoreDriveFor(name, 0, boxes), "");
    EXPECT_EQ(name, "HEMODIALYSIS_2015");
    name = QStringLiteral("inventory");
    EXPECT_EQ(RestoreDriveFor(name, 0, boxes), " d ");
}

TEST(RestoreDrive, KeywordPositionIsOneBased) {
    EXPECT_EQ(keywordPosition("WORKSTATION", "Station"), 5);
    EXPECT_EQ(keywordPosition("ACCTG", "ACCT"), 1);
    EXPECT_EQ(keywordPosition("QRIX", "Billing"), 0);
    EXPECT_EQ(driveCategoryOf("fixedasset"), DriveCategory::Financial);
    EXPECT_EQ(driveCategoryOf("transplant2"), DriveCategory::Clinical);
}
