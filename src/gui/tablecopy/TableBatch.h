#pragma once

// What the table tools of the Copy tab share: the selected table of the table browser (Grid2), the batch
// runner that turns one press into a run for the selected table or, with "All Tables" ticked, for every
// table of the browser, and the two steps some tools send straight on Main's session rather than through
// OpenQuery (the "use" of the current database and a table's existence check).

#include "core/tablecopy/TableCopySql.h"

#include <QString>
#include <functional>
#include <optional>

namespace quorix {

struct Form;
class ServerSessions;
class LogPanes;

// Logged when a tool that works on the selected table is pressed while the browser has no current row.
inline constexpr const char *kNoTableSelected = "No table selected";

// The browser's current row as a table of the current database; none when there is no current row.
std::optional<TableRef> selectedTable(const Form &form);

// How a button runs through the batch runner.
struct TableTool {
    bool switchFirst = true;      // "Use {db}" through OpenQuery before the first table
    QString closingLine;          // logged after the run; empty for none
    bool followsAllTables = true; // false: the selected table only, whatever "All Tables" says
};

// One press: logs the selected table, switches to the current database when the tool does, then runs
// perTable for the selected table or, with "All Tables", for every row of Grid2 in order (STOP is looked at
// before each; Grid2's current row is moved to the table being worked on), then logs the closing line.
// perTable gets its table (with the press's database) taken once at the step's start. Without a database
// named, or without a selected table for a single-table press, nothing is sent. With "All Tables", Main's
// session reconnects before a table when its link was lost (sending the switch again when the tool makes
// it), and a table whose work the lost link cut short is logged as failed and counted.
void runTableBatch(Form &form, ServerSessions &sessions, const LogPanes &log, const TableTool &tool,
                   const std::function<void(const TableRef &)> &perTable);

// Sends "use {db}" straight on Main's session. A failure is logged as OpenQuery logs one (description,
// blank, statement) and gives false.
bool useDirectly(ServerSessions &sessions, const LogPanes &log, const QString &db);

// Whether name (as tableName() gives it) is a user table of the session's current database, read into a
// result set of its own on Main's session. A failure is logged like useDirectly's and gives no answer.
std::optional<bool> userTableExists(ServerSessions &sessions, const LogPanes &log, const QString &name);

} // namespace quorix
