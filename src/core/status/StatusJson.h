#pragma once

// The Status grid and the pre-flight checklist as JSON, for scripts: the same words as the grid and the
// log, one object per row or per check.

#include "core/status/PreflightChecks.h"

#include <QJsonArray>
#include <QStringList>
#include <vector>

namespace quorix::status {

// One object per row, each cell under its column's header ("Database", "Check", "Main state", ...).
QJsonArray rowsJson(const QStringList &headers, const std::vector<QStringList> &rows);

// One object per check: "result" ("ok" or "FAIL"), "check", "problem" and "fix" ("" where the log line
// has none).
QJsonArray checklistJson(const std::vector<CheckLine> &lines);

} // namespace quorix::status
