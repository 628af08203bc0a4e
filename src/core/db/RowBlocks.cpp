#include "core/db/RowBlocks.h"

#include "core/db/DbError.h"
#include "core/db/SqlQuote.h"

#include <algorithm>

namespace quorix {

int rowsPerBlock(int parametersPerRow) {
    if (parametersPerRow <= 0)
        return kMaxBlockRows;
    return std::clamp(kMaxBlockParameters / parametersPerRow, 1, kMaxBlockRows);
}

qint64 valueBytes(const QVariant &value) {
    switch (value.typeId()) {
    case QMetaType::QString:
        return 2 * static_cast<qint64>(value.toString().size()) + 16;
    case QMetaType::QByteArray:
        return static_cast<qint64>(value.toByteArray().size()) + 16;
    default:
        return 16;
    }
}

QString valuesMarkers(int rows, int width) {
    const QString row = QLatin1Char('(') +
                        QStringList(width, QStringLiteral("?")).join(QStringLiteral(", ")) + QLatin1Char(')');
    return QStringList(rows, row).join(QStringLiteral(", "));
}

QString blockInsertStatement(const QString &qualifiedTable, const QStringList &columns, int rows) {
    QStringList names;
    for (const QString &c : columns)
        names << sqlName(c);
    return QStringLiteral("INSERT INTO ") + qualifiedTable + QStringLiteral(" (") +
           names.join(QStringLiteral(", ")) + QStringLiteral(") VALUES ") +
           valuesMarkers(rows, static_cast<int>(columns.size()));
}

BlockStatement::BlockStatement(ServerConnection &connection, Text text, QStringList rowTypes)
    : m_connection(&connection), m_text(std::move(text)), m_rowTypes(std::move(rowTypes)),
      m_maxRows(rowsPerBlock(static_cast<int>(m_rowTypes.size()))),
      m_single(connection, m_text(1), m_rowTypes) {}

bool endsTheRows(const DbError &e, ServerConnection &connection) {
    for (const DiagRecord &r : e.records())
        if (r.state.startsWith(QLatin1String("08")))
            return true;
    return e.hasState(QStringLiteral("HY008")) || e.hasState(QStringLiteral("HYT00")) ||
           connection.linkLost();
}

PreparedStatement &BlockStatement::statementFor(int rows) {
    const auto found = m_blocks.find(rows);
    if (found != m_blocks.end())
        return found->second;
    // Only the full size stays for good; any other size gives way to the next one needed.
    std::erase_if(m_blocks, [this](const auto &b) { return b.first != m_maxRows; });
    QStringList types;
    types.reserve(static_cast<qsizetype>(rows) * m_rowTypes.size());
    for (int i = 0; i < rows; ++i)
        types << m_rowTypes;
    PreparedStatement &block =
        m_blocks.emplace(rows, PreparedStatement(*m_connection, m_text(rows), types)).first->second;
    // The journal shows a block as the statement of one row; its line gives the rows.
    block.setJournalText(m_text(1));
    return block;
}

qint64 BlockStatement::executeBlock(const std::vector<std::vector<QVariant>> &rows) {
    if (!isOpen())
        throw closedObjectError();
    if (rows.empty())
        return 0;
    if (m_single.collected()) { // counted per row, journaled as one block
        qint64 count = 0;
        for (const PreparedStatement::RowResult &r : m_single.executeEach(rows))
            count += r.count;
        return count;
    }
    const bool filled = !m_filler.empty();
    const int n = filled ? m_maxRows : static_cast<int>(rows.size());
    std::vector<QVariant> values;
    values.reserve(static_cast<size_t>(n) * static_cast<size_t>(m_rowTypes.size()));
    for (const std::vector<QVariant> &row : rows)
        values.insert(values.end(), row.begin(), row.end());
    for (size_t i = rows.size(); i < static_cast<size_t>(n); ++i)
        values.insert(values.end(), m_filler.begin(), m_filler.end());
    return statementFor(n).execute(values);
}

std::vector<PreparedStatement::RowResult>
BlockStatement::execute(const std::vector<std::vector<QVariant>> &rows) {
    std::vector<PreparedStatement::RowResult> out(rows.size());
    if (rows.size() == 1) // the statement of one row is the block
        return m_single.executeEach(rows);
    try {
        executeBlock(rows);
        return out;
    } catch (const DbError &e) {
        if (endsTheRows(e, *m_connection)) {
            const Outcome failed = Outcome::failed(e);
            for (PreparedStatement::RowResult &r : out)
                r.outcome = failed;
            return out;
        }
    }
    return m_single.executeEach(rows);
}

std::vector<PreparedStatement::RowResult>
BlockStatement::executeAll(const std::vector<std::vector<QVariant>> &rows) {
    std::vector<PreparedStatement::RowResult> out;
    out.reserve(rows.size());
    for (size_t from = 0; from < rows.size(); from += static_cast<size_t>(m_maxRows)) {
        const auto end = rows.begin() + static_cast<std::ptrdiff_t>(
                                            std::min(rows.size(), from + static_cast<size_t>(m_maxRows)));
        const std::vector<std::vector<QVariant>> block(rows.begin() + static_cast<std::ptrdiff_t>(from), end);
        for (PreparedStatement::RowResult &r : execute(block))
            out.push_back(std::move(r));
    }
    return out;
}

} // namespace quorix
