#include "gui/tablecopy/TableMaintenance.h"

#include "core/db/DbError.h"
#include "core/db/ServerSessions.h"
#include "core/tablecopy/TableCopySql.h"
#include "gui/tablecopy/TableBatch.h"
#include "gui/ui/DatabaseWalk.h"
#include "gui/ui/Form.h"
#include "gui/ui/LogPanes.h"
#include "gui/ui/Operations.h"
#include "gui/ui/widgets/Grid.h"

#include <QLineEdit>
#include <QPushButton>

namespace quorix {

namespace {

constexpr int kMain = 0;

} // namespace

TableMaintenance::TableMaintenance(Form &form, ServerSessions &sessions, const LogPanes &log)
    : m_form(form), m_sessions(sessions), m_log(log) {
    Operations::onClick(m_form.cmdTruncate, [this] { cmdTruncate_Click(); });
    Operations::onClick(m_form.cmdCheckTables, [this] { cmdCheckTables_Click(); });
    Operations::onClick(m_form.Command1, [this] { Command1_Click(); });
    Operations::onClick(m_form.Command2, [this] { Command2_Click(); });
    // The count query goes to Main's session, so the click waits its turn like any operation.
    QObject::connect(m_form.Grid2, &Grid::clicked1, m_form.Grid2,
                     [this] { Operations::run(QStringLiteral("Grid2"), [this] { Grid2_Click(); }); });
}

void TableMaintenance::cmdTruncate_Click() {
    runTableBatch(m_form, m_sessions, m_log, {.switchFirst = true, .closingLine = {}},
                  [this](const TableRef &t) { TruncateSelectedTable(t); });
}

void TableMaintenance::cmdCheckTables_Click() {
    runTableBatch(m_form, m_sessions, m_log, {.switchFirst = true, .closingLine = {}},
                  [this](const TableRef &t) { CheckSelectedTable(t); });
}

void TableMaintenance::TruncateSelectedTable(const TableRef &t) {
    m_sessions.OpenQuery(kMain, truncateTable(t), false);
}

void TableMaintenance::CheckSelectedTable(const TableRef &t) {
    m_sessions.OpenQuery(kMain, checkTable(t), false);
}

void TableMaintenance::Command1_Click() {
    if (databaseNamed(m_form, m_log))
        m_sessions.OpenQuery(kMain, singleUserStatement(m_form.txtDB->text()), false);
}

void TableMaintenance::Command2_Click() {
    if (databaseNamed(m_form, m_log))
        m_sessions.OpenQuery(kMain, multiUserStatement(m_form.txtDB->text()), false);
}

void TableMaintenance::Grid2_Click() {
    const std::optional<TableRef> t = selectedTable(m_form);
    if (!t)
        return;
    if (!m_sessions.OpenQuery(kMain, rowCountStatement(*t), false).isEmpty())
        return;
    // From here on failures are ignored: no row, no line.
    try {
        Recordset &rs = m_sessions.rs();
        if (rs.isOpen() && !rs.eof())
            m_log.LogLine(QStringLiteral("ROWS: ") + rs.value(QStringLiteral("RCNT")).toString());
    } catch (const DbError &) {
    }
}

} // namespace quorix
