#include "core/db/RestoreDrive.h"

namespace quorix {

namespace {

struct Keyword {
    const char *text;
    DriveCategory category;
};

// Order matters: the first keyword found wins.
constexpr Keyword kKeywords[] = {
    {"Accounting", DriveCategory::Financial},   {"Billing", DriveCategory::Financial},
    {"FixedAsset", DriveCategory::Financial},   {"Inventory", DriveCategory::Financial},
    {"Payroll", DriveCategory::Financial},      {"ACCT", DriveCategory::Financial},
    {"BRENIX", DriveCategory::Financial},       {"Cardio", DriveCategory::Clinical},
    {"Clinical_Area", DriveCategory::Clinical}, {"Doctors", DriveCategory::Clinical},
    {"Hemodialysis", DriveCategory::Clinical},  {"Laboratory", DriveCategory::Clinical},
    {"Nuclear", DriveCategory::Clinical},       {"Radiology", DriveCategory::Clinical},
    {"Station", DriveCategory::Clinical},       {"Transplant", DriveCategory::Clinical},
};

DriveCategory categoryOfUpper(const QString &upperName) {
    for (const Keyword &k : kKeywords) {
        if (keywordPosition(upperName, QString::fromLatin1(k.text)) > 0)
            return k.category;
    }
    return DriveCategory::Other;
}

} // namespace

int keywordPosition(const QString &upperName, const QString &keyword) {
    return static_cast<int>(upperName.indexOf(keyword.toUpper(), 0, Qt::CaseSensitive)) + 1;
}

DriveCategory driveCategoryOf(const QString &name) {
    return categoryOfUpper(name.toUpper());
}

QString RestoreDriveFor(QString &name, int slot, const std::array<QString, 6> &boxes) {
    name = name.toUpper();
    const std::size_t base = slot == 1 ? 3 : 0;
    return boxes[base + static_cast<std::size_t>(categoryOfUpper(name))];
}

} // namespace quorix
