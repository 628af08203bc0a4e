#include "gui/tablecopy/RecordCopy.h"

#include "core/db/BulkCopy.h"
#include "core/db/DbError.h"
#include "core/db/RowBlocks.h"
#include "core/db/ServerReader.h"
#include "core/db/ServerSessions.h"
#include "core/db/TableColumns.h"
#include "core/tablecopy/TableCopySql.h"
#include "gui/tablecopy/TableBatch.h"
#include "gui/ui/Form.h"
#include "gui/ui/LogPanes.h"
#include "gui/ui/Operations.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QLabel>
#include <QPushButton>
#include <optional>

namespace quorix {

namespace {

constexpr int kMain = 0;
constexpr qint64 kProgressEvery = 100;

// The source columns whose values cannot be set in the target, for the one line that names them.
QString leftOutColumns(const QStringList &sourceNames, const InsertPlan &plan) {
    QStringList out;
    for (int i = 0; i < sourceNames.size(); ++i)
        if (std::find(plan.sources.begin(), plan.sources.end(), i) == plan.sources.end())
            out << sourceNames[i];
    return out.join(QStringLiteral(", "));
}

} // namespace

RecordCopy::RecordCopy(Form &form, ServerSessions &sessions, const LogPanes &log)
    : m_form(form), m_sessions(sessions), m_log(log) {
    Operations::onClick(m_form.cmdCopyTables, [this] { cmdCopyTables_Click(); });
}

void RecordCopy::cmdCopyTables_Click() {
    runTableBatch(m_form, m_sessions, m_log,
                  {.switchFirst = true, .closingLine = QStringLiteral("Done copying")},
                  [this](const TableRef &t) { CopyTableByRecord(t); });
}

void RecordCopy::CopyTableByRecord(const TableRef &t) {
    const QString target = secondTable(t);
    // Fails, logged, when the target exists already; the copy then refills the existing table.
    m_sessions.OpenQuery(kMain, createSecondByRecord(t), false);
    m_sessions.OpenQuery(kMain, truncateSecond(t), false);
    const Counts counts = copyRows(sourceTable(t), target, false, [&] {
        // Fails silently on a table without an identity column.
        m_sessions.OpenQuery(kMain, identityInsert(secondIdentityTable(t), true), true);
        m_form.lblCnt->setText(QStringLiteral("0"));
    });
    logCounts(counts);
    m_sessions.OpenQuery(kMain, identityInsert(secondIdentityTable(t), false), true);
}

void RecordCopy::CopyRecords(const QString &source, const QString &target) {
    logCounts(copyRows(source, target, true, [] {}));
}

void RecordCopy::ShowCopyProgress(qint64 count) {
    m_form.lblWorking->setHidden(!m_form.lblWorking->isHidden());
    QCoreApplication::processEvents();
    m_form.lblCnt->setText(QString::number(count));
}

void RecordCopy::logCounts(const Counts &counts) {
    m_log.LogLine(QStringLiteral("copied ") + QString::number(counts.copied));
    m_log.LogLine(QStringLiteral("errors ") + QString::number(counts.errors));
}

RecordCopy::Counts RecordCopy::copyRows(const QString &source, const QString &target, bool logFailures,
                                        const std::function<void()> &beforeRows) {
    Counts counts;
    auto failed = [&](const DbError &e) {
        ++counts.errors;
        if (logFailures)
            m_log.LogLine(e.description());
    };

    // The source on the reader beside the session: the session's connection stays free for the inserts.
    ServerReader reader(m_sessions.target(kMain));
    bool sourceOpen = false;
    try {
        reader.setCommandTimeout(m_sessions.connection(kMain).commandTimeout());
        reader.open(selectAllFrom(source));
        sourceOpen = true;
    } catch (const DbError &e) {
        failed(e);
    }

    // The target: its columns, then the INSERT of a block of rows prepared on the session.
    BlockStatement insert;
    InsertPlan plan;
    std::vector<ColumnInfo> targetColumns;
    if (sourceOpen) {
        try {
            targetColumns = tableColumns(m_sessions.connection(kMain), target);
            plan = insertPlan(target, targetColumns, reader.fieldCount());
            if (plan.sql.isEmpty()) {
                ++counts.errors;
                m_log.LogLine(QStringLiteral("No row copied into ") + target +
                              QStringLiteral(": none of its columns can take a value of ") + source);
            } else {
                insert = BlockStatement(
                    m_sessions.connection(kMain),
                    [target, columns = plan.columns](int rows) {
                        return blockInsertStatement(target, columns, rows);
                    },
                    plan.types);
                if (logFailures && plan.refusedPerRow > 0)
                    m_log.LogLine(QStringLiteral("Left out of every row (no column of ") + target +
                                  QStringLiteral(" takes them): ") +
                                  leftOutColumns(reader.fieldNames(), plan));
            }
        } catch (const DbError &e) {
            failed(e);
        }
    }

    beforeRows();
    // Rows are walked only when they have somewhere to go, and the walk ends for good at the first row the
    // reader cannot move past.
    if (!insert.isOpen())
        return counts;
    std::unique_ptr<BulkCopy> bulk = startBulk(target, targetColumns, plan, insert);
    // A batch of the bulk path: the rows it did not take, or the whole batch when the server refused it,
    // go through the blocks; a load that cannot go on leaves every later row to them.
    const auto copyBlock = [&](const std::vector<std::vector<QVariant>> &rows) {
        if (!bulk)
            return insert.execute(rows);
        const BulkCopy::Sent sent = bulk->send(rows);
        const size_t stored = sent.refused || sent.ended ? 0 : sent.taken;
        if (sent.ended)
            bulk.reset();
        std::vector<PreparedStatement::RowResult> out(stored);
        if (stored < rows.size()) {
            std::vector<PreparedStatement::RowResult> rest =
                insert.executeAll({rows.begin() + static_cast<std::ptrdiff_t>(stored), rows.end()});
            // A refused batch whose every row the blocks then stored was refused as a load, not for its
            // rows: the server does not take these loads, and the rest of the copy goes without them.
            if (sent.refused &&
                std::all_of(rest.begin(), rest.end(), [](const auto &r) { return r.outcome.ok(); }))
                bulk.reset();
            std::move(rest.begin(), rest.end(), std::back_inserter(out));
        }
        return out;
    };
    // Each block of rows is one INSERT, one round trip to the server; a block the server refuses is tried
    // again row by row, so that each refused row is counted once and the others still go. STOP is looked
    // at before each block; the progress shows at the block's end (after every 100th row within it), when
    // the window also takes a click.
    std::vector<std::vector<QVariant>> block;
    std::optional<DbError> moveFailure;
    try {
        while (!moveFailure && !reader.eof() && !m_form.chkStop->isChecked()) {
            block.clear();
            qint64 bytes = 0;
            while (static_cast<int>(block.size()) < (bulk ? m_bulkBatchRows : insert.maxRows()) &&
                   bytes < kMaxBlockBytes && !reader.eof()) {
                const std::vector<QVariant> &row = reader.row();
                std::vector<QVariant> values(plan.sources.size());
                for (size_t k = 0; k < values.size(); ++k) {
                    values[k] = row[static_cast<size_t>(plan.sources[k])];
                    bytes += valueBytes(values[k]);
                }
                block.push_back(std::move(values));
                try {
                    reader.moveNext();
                } catch (const DbError &e) {
                    moveFailure = e; // the rows read so far still go; the walk ends after them
                    break;
                }
            }
            for (const PreparedStatement::RowResult &row : copyBlock(block)) {
                counts.errors += plan.refusedPerRow;
                if (const DbError *e = row.outcome.serverError())
                    failed(*e);
                ++counts.copied;
                if (counts.copied % kProgressEvery == 0)
                    ShowCopyProgress(counts.copied);
            }
        }
        if (moveFailure)
            failed(*moveFailure);
    } catch (const DbError &e) {
        failed(e); // the end of the source could not be read
    }
    return counts;
}

std::unique_ptr<BulkCopy> RecordCopy::startBulk(const QString &target, const std::vector<ColumnInfo> &columns,
                                                const InsertPlan &plan, const BlockStatement &insert) {
    // "Script only" shows the statement of a row, as without the bulk path.
    if (!m_bulkAllowed || insert.collected())
        return nullptr;
    const std::optional<std::vector<BcpRow::Column>> bulkColumns =
        BulkCopy::columnsFor(columns, plan.columns, plan.types);
    if (!bulkColumns)
        return nullptr;
    const bool identity = std::any_of(columns.begin(), columns.end(), [&](const ColumnInfo &c) {
        return c.identity && plan.columns.contains(c.name, Qt::CaseInsensitive);
    });
    auto bulk = std::make_unique<BulkCopy>(m_sessions.connection(kMain));
    switch (bulk->start(BulkCopy::tableName(target), *bulkColumns, plan.columns, identity)) {
    case BulkCopy::Started::Yes:
        return bulk;
    case BulkCopy::Started::NoFunctions:
        if (!m_toldNoBulk)
            m_log.LogLine(QStringLiteral("The ODBC driver offers no bulk copy: rows are copied in blocks"));
        m_toldNoBulk = true;
        return nullptr;
    case BulkCopy::Started::Failed:
        break; // the blocks meet whatever stopped it, and report it as they do
    }
    return nullptr;
}

} // namespace quorix
