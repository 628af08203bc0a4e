#include "gui/tablecopy/CopyToNew2.h"

#include "core/db/ServerSessions.h"
#include "core/tablecopy/TableCopySql.h"
#include "gui/tablecopy/RecordCopy.h"
#include "gui/tablecopy/TableBatch.h"
#include "gui/ui/Form.h"
#include "gui/ui/LogPanes.h"
#include "gui/ui/Operations.h"

#include <QPushButton>

namespace quorix {

namespace {

constexpr int kMain = 0;

} // namespace

CopyToNew2::CopyToNew2(Form &form, ServerSessions &sessions, const LogPanes &log, RecordCopy &copy)
    : m_form(form), m_sessions(sessions), m_log(log), m_copy(copy) {
    Operations::onClick(m_form.cmdCopytoNEW, [this] { cmdCopytoNEW_Click(); });
}

void CopyToNew2::cmdCopytoNEW_Click() {
    runTableBatch(m_form, m_sessions, m_log,
                  {.switchFirst = true, .closingLine = {}, .followsAllTables = false},
                  [this](const TableRef &t) { copySelected(t); });
}

void CopyToNew2::copySelected(const TableRef &t) {
    if (!useDirectly(m_sessions, m_log, t.db))
        return;
    const std::optional<bool> oldCopy = userTableExists(m_sessions, m_log, new2TableName(t));
    if (!oldCopy)
        return;
    const QString target = new2Table(t);
    if (*oldCopy)
        m_sessions.OpenQuery(kMain, dropNew2(t), false);
    m_sessions.OpenQuery(kMain, readFirstRow(t), false);
    m_sessions.OpenQuery(kMain, createNew2(t), false);
    // On before the table is emptied, so the row loop can insert explicit identity values.
    m_sessions.OpenQuery(kMain, identityInsert(new2IdentityTable(t), true), true);
    m_sessions.OpenQuery(kMain, truncateNew2(t), false);
    m_copy.CopyRecords(sourceTable(t), target);
    m_sessions.OpenQuery(kMain, identityInsert(new2IdentityTable(t), false), true);
}

} // namespace quorix
