#include "gui/tablecopy/TableBatch.h"

#include "core/db/DbError.h"
#include "core/db/Recordset.h"
#include "core/db/ServerSessions.h"
#include "core/db/SqlQuote.h"
#include "gui/ui/DatabaseWalk.h"
#include "gui/ui/Form.h"
#include "gui/ui/LogPanes.h"
#include "gui/ui/widgets/Grid.h"

#include <QCheckBox>
#include <QLineEdit>

namespace quorix {

namespace {

constexpr int kMain = 0;
constexpr int kNameColumn = 0;
constexpr int kSchemaColumn = 1;

void logFailure(const LogPanes &log, const DbError &e, const QString &sql) {
    log.LogLine(e.description() + QLatin1Char(' ') + sql);
}

} // namespace

std::optional<TableRef> selectedTable(const Form &form) {
    const int row = form.Grid2->row();
    if (row < 0 || row >= form.Grid2->rows())
        return std::nullopt;
    return TableRef{form.txtDB->text(), form.Grid2->textMatrix(row, kSchemaColumn),
                    form.Grid2->textMatrix(row, kNameColumn)};
}

void runTableBatch(Form &form, ServerSessions &sessions, const LogPanes &log, const TableTool &tool,
                   const std::function<void(const TableRef &)> &perTable) {
    // The database is the press's, and each table the step's, from its start to its last statement:
    // a click on a list or on Grid2 meanwhile counts from the next press.
    const QString db = form.txtDB->text();
    if (!databaseNamed(db, log))
        return;
    const bool allTables = tool.followsAllTables && form.chkAllTables->isChecked();
    const std::optional<TableRef> current = selectedTable(form);
    // A single-table press must never fall on a table the user did not pick.
    if (!allTables && !current) {
        log.LogLine(QLatin1String(kNoTableSelected));
        return;
    }
    if (current)
        log.LogLine(current->table);
    if (tool.switchFirst)
        sessions.OpenQuery(kMain, useStatement(db), false);
    if (!allTables) {
        perTable(*current);
    } else {
        // The row count is read again before each table: nothing in the run rebinds the browser. STOP is
        // looked at before each table and stays ticked. A session that lost its link reconnects before the
        // next table and is put back in the database by the same USE; a table the drop cut short failed.
        std::optional<TableRef> table;
        const WalkItems tables{.count = [&form] { return form.Grid2->rows(); },
                               .reread = true,
                               .take = [&form, &db, &table](int i) -> std::optional<QString> {
                                   form.Grid2->setRow(i);
                                   table = TableRef{db, form.Grid2->textMatrix(i, kSchemaColumn),
                                                    form.Grid2->textMatrix(i, kNameColumn)};
                                   return table->table;
                               }};
        runWalk(
            tables,
            [&](int) {
                log.LogLine(table->table);
                perTable(*table);
                tableCutOff(sessions, log, {kMain}, table->table);
                return WalkOn::Next;
            },
            {.stopOnStop = true, .untickStop = false, .followAll = false, .stopFirst = true},
            tableWalk(form, sessions, {kMain}, [&](int) {
                if (tool.switchFirst)
                    sessions.OpenQuery(kMain, useStatement(db), false);
            }));
    }
    if (!tool.closingLine.isEmpty())
        log.LogLine(tool.closingLine);
}

bool useDirectly(ServerSessions &sessions, const LogPanes &log, const QString &db) {
    const QString sql = useDirectStatement(db);
    try {
        sessions.connection(kMain).execute(sql);
        return true;
    } catch (const DbError &e) {
        logFailure(log, e, sql);
        return false;
    }
}

std::optional<bool> userTableExists(ServerSessions &sessions, const LogPanes &log, const QString &name) {
    const QString sql = existenceCheck(name);
    try {
        Recordset found = sessions.connection(kMain).openRecordset(sql);
        return found.isOpen() && !found.eof();
    } catch (const DbError &e) {
        logFailure(log, e, sql);
        return std::nullopt;
    }
}

} // namespace quorix
