#include "gui/ui/DatabaseLists.h"

#include "core/db/DbError.h"
#include "core/db/ServerSessions.h"
#include "core/db/SqlQuote.h"
#include "gui/ui/BoxText.h"
#include "gui/ui/DatabaseWalk.h"
#include "gui/ui/Form.h"
#include "gui/ui/GridBinding.h"
#include "gui/ui/LogPanes.h"
#include "gui/ui/Operations.h"
#include "gui/ui/widgets/Grid.h"

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

namespace quorix {

const QString DatabaseLists::kListStatement =
    QStringLiteral("SELECT name FROM sys.databases where database_id >= 5 order by name ");

const QString DatabaseLists::kTableSizeStatement =
    QStringLiteral(" SELECT "
                   "    t.name AS TableName,"
                   "    s.name AS SchemaName,"
                   "    p.rows AS RowCounts,"
                   "    SUM(a.total_pages) * 8 AS TotalSpaceKB, "
                   "    SUM(a.used_pages) * 8 AS UsedSpaceKB, "
                   "    (SUM(a.total_pages) - SUM(a.used_pages)) * 8 AS UnusedSpaceKB"
                   " FROM "
                   "    sys.tables t"
                   " INNER JOIN sys.indexes i ON t.object_id = i.object_id"
                   " INNER JOIN sys.partitions p ON i.object_id = p.object_id AND i.index_id = p.index_id"
                   " INNER JOIN "
                   "    sys.allocation_units a ON p.partition_id = a.container_id"
                   " LEFT OUTER JOIN "
                   "    sys.schemas s ON t.schema_id = s.schema_id"
                   " WHERE "
                   "    t.name NOT LIKE 'dt%' "
                   "    AND t.is_ms_shipped = 0"
                   "    AND i.object_id > 255 "
                   " GROUP BY "
                   "    t.name, s.name, p.rows"
                   " ORDER BY "
                   "    TotalSpaceKB desc");

DatabaseLists::DatabaseLists(Form &form, ServerSessions &sessions, const LogPanes &log)
    : m_form(form), m_sessions(sessions), m_log(log) {
    for (int slot = 0; slot < 2; ++slot) {
        const auto i = static_cast<size_t>(slot);
        Operations::onClick(m_form.cmdRefreshDB[i], [this, slot] { cmdRefreshDB_Click(slot); });
        Operations::onClick(m_form.cmdTableSizes[i], [this, slot] { cmdTableSizes_Click(slot); });
        // A click only names the current database, so it stays live while an operation runs: the running
        // step keeps the database it took, and the next step or press takes the clicked one.
        QObject::connect(m_form.GridDB[i], &Grid::clicked1, m_form.GridDB[i],
                         [this, slot] { GridDB_Click(slot); });
        QObject::connect(m_form.GridDB[i], &Grid::doubleClicked1, m_form.GridDB[i], [this, slot] {
            Operations::run(QStringLiteral("GridDB(%1)").arg(slot), [this, slot] { GridDB_DblClick(slot); });
        });
    }
}

void DatabaseLists::cmdRefreshDB_Click(int slot) {
    const auto i = static_cast<size_t>(slot);
    if (!m_sessions.OpenQuery(slot, kListStatement, false).isEmpty())
        return; // already logged; the list keeps what it showed
    try {
        bindGrid(*m_form.GridDB[i], m_sessions.rs());
        m_form.GridDB[i]->setColWidthTwips(0, 3000);
        m_form.lblDBCount[i]->setText(QString::number(m_form.GridDB[i]->rows()));
    } catch (const DbError &e) {
        m_log.LogLine(e.description());
    }
}

QString DatabaseLists::tablesUseStatement(const QString &db) {
    return QStringLiteral("use ") + sqlName(db);
}

// A click only names the database of the next step or press: a running step took its own at its start.
void DatabaseLists::GridDB_Click(int slot) {
    Grid *grid = m_form.GridDB[static_cast<size_t>(slot)];
    if (grid->rows() == 0 || grid->row() < 0)
        return;
    m_form.txtDB->setText(grid->textMatrix(grid->row(), 0));
}

void DatabaseLists::GridDB_DblClick(int /*slot*/) {
    listTables(m_form.txtDB->text());
}

void DatabaseLists::listTables(const QString &db) {
    if (!databaseNamed(db, m_log))
        return;
    // Always on Main, whichever list was double-clicked: the table tools work on Main's databases.
    m_sessions.OpenQuery(0, tablesUseStatement(db), false);
    if (!m_sessions.OpenQuery(0, kTableSizeStatement, false).isEmpty())
        return; // the browser keeps its previous rows and count
    try {
        bindGrid(*m_form.Grid2, m_sessions.rs());
        m_form.Grid2->setColWidthTwips(0, 2300);
        // The grid shows its headers in the header bar, not as a row, so its row count is the table count.
        m_form.lblcount->setText(QString::number(m_form.Grid2->rows()));
    } catch (const DbError &e) {
        m_log.LogLine(e.description());
    }
}

void DatabaseLists::cmdTableSizes_Click(int slot) {
    m_sessions.ExecuteOnServer(slot, boxText(m_form.txtTableSizes));
}

} // namespace quorix
