#pragma once

// The drive a database's data files are restored onto, chosen from its name: financial databases, clinical
// databases and all others each have a drive box per server slot.

#include <QString>

#include <array>

namespace quorix {

// The values index the three drive boxes of a slot.
enum class DriveCategory { Financial = 0, Clinical = 1, Other = 2 };

// 1-based position of the upper-cased keyword inside upperName, 0 when absent.
int keywordPosition(const QString &upperName, const QString &keyword);

// Category of a database name: the first keyword of the table contained in the name (letter case
// ignored) decides, all financial keywords before any clinical one; no match is Other.
DriveCategory driveCategoryOf(const QString &name);

// The text of the drive box for name's category: boxes[3..5] for slot 1, boxes[0..2] for any other slot,
// ordered financial, clinical, other; returned unchanged. Replaces name by its upper-case form, so
// callers pass a copy of the database name.
QString RestoreDriveFor(QString &name, int slot, const std::array<QString, 6> &boxes);

} // namespace quorix
