#include "gui/tablecopy/SecondDb.h"

#include "core/db/ServerSessions.h"
#include "core/db/SqlQuote.h"
#include "core/tablecopy/TableCopySql.h"
#include "gui/tablecopy/TableBatch.h"
#include "gui/ui/Form.h"
#include "gui/ui/LogPanes.h"
#include "gui/ui/Operations.h"

#include <QPushButton>

namespace quorix {

namespace {

constexpr int kMain = 0;
const QString kDoneCopying = QStringLiteral("Done copying");

// The source's column names from the shared recordset after a successful read of its first row; none
// after a failed one.
QStringList columnsRead(ServerSessions &sessions, const QString &failure) {
    if (!failure.isEmpty() || !sessions.rs().isOpen())
        return {};
    return sessions.rs().fieldNames();
}

// "use {db}" straight on the session, then whether the table is a user table there; a failure of either is
// logged and counts as not found.
bool isUserTableAfterUse(ServerSessions &sessions, const LogPanes &log, const TableRef &t) {
    if (!useDirectly(sessions, log, t.db))
        return false;
    return userTableExists(sessions, log, tableName(t)).value_or(false);
}

// The line that replaces an INSERT without columns.
QString noColumnsLine(const TableRef &t) {
    return QStringLiteral("No columns read from ") + sourceTable(t) +
           QStringLiteral(": nothing inserted into ") + secondTable(t);
}

} // namespace

SecondDb::SecondDb(Form &form, ServerSessions &sessions, const LogPanes &log)
    : m_form(form), m_sessions(sessions), m_log(log) {
    Operations::onClick(m_form.cmdCopyInto, [this] { cmdCopyInto_Click(); });
    Operations::onClick(m_form.cmdCloneTable, [this] { cmdCloneTable_Click(); });
    Operations::onClick(m_form.cmdCopyTablesDB2, [this] { cmdCopyTablesDB2_Click(); });
    Operations::onClick(m_form.cmdDropTableDB2, [this] { cmdDropTableDB2_Click(); });
}

void SecondDb::cmdCopyInto_Click() {
    runTableBatch(m_form, m_sessions, m_log, {.switchFirst = true, .closingLine = kDoneCopying},
                  [this](const TableRef &t) { CopyIntoSecondDatabase(t); });
}

void SecondDb::cmdCloneTable_Click() {
    runTableBatch(m_form, m_sessions, m_log, {.switchFirst = true, .closingLine = {}},
                  [this](const TableRef &t) { CloneTableRecords(t); });
}

void SecondDb::cmdCopyTablesDB2_Click() {
    runTableBatch(m_form, m_sessions, m_log, {.switchFirst = true, .closingLine = kDoneCopying},
                  [this](const TableRef &t) { CopyStructureToSecondDatabase(t); });
}

void SecondDb::cmdDropTableDB2_Click() {
    runTableBatch(m_form, m_sessions, m_log,
                  {.switchFirst = false, .closingLine = QStringLiteral("Done Drop")},
                  [this](const TableRef &t) { DropSecondDatabaseTable(t); });
}

void SecondDb::CopyIntoSecondDatabase(const TableRef &t) {
    m_sessions.OpenQuery(kMain, useStatement(t.db), false);
    const QString read = m_sessions.OpenQuery(kMain, readFirstRowBare(t), false);
    const QString cols = bracketedColumns(columnsRead(m_sessions, read));
    m_sessions.OpenQuery(kMain, truncateSecond(t), false);
    m_sessions.OpenQuery(kMain, identityInsert(secondIdentityTable(t), true), true);
    if (isUserTableAfterUse(m_sessions, m_log, t)) {
        if (cols.isEmpty()) {
            // A failed table of an All Tables run: the error pane lists it with the others.
            m_log.LogLine(noColumnsLine(t));
            m_log.LogError(noColumnsLine(t));
        } else {
            const QString failure = m_sessions.OpenQuery(kMain, copyIntoStatement(t, cols), false);
            if (!failure.isEmpty())
                m_log.LogError(sourceTable(t) + QLatin1Char(' ') + failure);
        }
    }
    // Only one table of a session may take explicit identity values at a time: always switched off again.
    m_sessions.OpenQuery(kMain, identityInsert(secondIdentityTable(t), false), true);
}

void SecondDb::CloneTableRecords(const TableRef &t) {
    m_sessions.OpenQuery(kMain, truncateSecond(t), false);
    const QString read = m_sessions.OpenQuery(kMain, readFirstRow(t), false);
    const QString cols = bareColumns(columnsRead(m_sessions, read));
    m_sessions.OpenQuery(kMain, identityInsert(secondIdentityTable(t), true), true);
    if (cols.isEmpty())
        m_log.LogLine(noColumnsLine(t));
    else
        m_sessions.OpenQuery(kMain, cloneStatement(t, cols), false);
    m_sessions.OpenQuery(kMain, identityInsert(secondIdentityTable(t), false), true);
}

void SecondDb::CopyStructureToSecondDatabase(const TableRef &t) {
    m_sessions.OpenQuery(kMain, useStatement(t.db), false);
    if (!isUserTableAfterUse(m_sessions, m_log, t))
        return;
    const QString failure = m_sessions.OpenQuery(kMain, copyStructure(t), false);
    if (!failure.isEmpty())
        m_log.LogError(sourceTable(t) + QLatin1Char(' ') + failure);
}

void SecondDb::DropSecondDatabaseTable(const TableRef &t) {
    m_sessions.OpenQuery(kMain, useSecondStatement(t.db), false);
    // The table is looked up in the current database, so one that exists only in the second is kept.
    if (isUserTableAfterUse(m_sessions, m_log, t))
        m_sessions.OpenQuery(kMain, dropSecond(t), false);
}

} // namespace quorix
