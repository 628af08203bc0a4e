#include "core/db/PreparedStatement.h"

#include "core/db/ScriptOnly.h"
#include "core/db/ServerConnectionSlot.h"
#include "core/db/odbc/OdbcStatement.h"

namespace quorix {

namespace {

std::vector<ParamType> parsed(const QStringList &types) {
    std::vector<ParamType> out;
    out.reserve(static_cast<size_t>(types.size()));
    for (const QString &t : types)
        out.push_back(ParamType::parse(t));
    return out;
}

} // namespace

PreparedStatement::PreparedStatement(ServerConnection &connection, const QString &statement,
                                     const QStringList &typeTexts) {
    std::vector<ParamType> types = parsed(typeTexts);
    const QString sql = castTextMarkers(statement, types);
    if ((m_collected = connection.collects(sql, typeTexts)))
        return;
    auto slot = connection.m_slot;
    ServerConnection::Slot *s = slot.get();
    const int timeout = connection.commandTimeout();
    m_stmt = slot->run([s, &sql, &types, timeout] {
        return std::make_shared<odbc::Statement>(s->conn, sql, std::move(types), timeout);
    });
    m_slot = std::move(slot);
}

PreparedStatement::PreparedStatement(PreparedStatement &&other) noexcept
    : m_slot(std::move(other.m_slot)), m_stmt(std::move(other.m_stmt)),
      m_collected(std::move(other.m_collected)) {}

PreparedStatement &PreparedStatement::operator=(PreparedStatement &&other) noexcept {
    if (this != &other) {
        close();
        m_slot = std::move(other.m_slot);
        m_stmt = std::move(other.m_stmt);
        m_collected = std::move(other.m_collected);
    }
    return *this;
}

qint64 PreparedStatement::execute(const std::vector<QVariant> &values) {
    if (m_collected)
        return m_collected->execute(values);
    if (!m_stmt)
        throw closedObjectError();
    odbc::Statement *stmt = m_stmt.get();
    return m_slot->run([stmt, &values] { return stmt->execute(values); });
}

std::vector<PreparedStatement::RowResult>
PreparedStatement::executeEach(const std::vector<std::vector<QVariant>> &rows) {
    if (m_collected) {
        std::vector<RowResult> out(rows.size());
        for (size_t i = 0; i < rows.size(); ++i)
            out[i].count = m_collected->execute(rows[i]);
        return out;
    }
    if (!m_stmt)
        throw closedObjectError();
    odbc::Statement *stmt = m_stmt.get();
    return m_slot->run([stmt, &rows] {
        std::vector<RowResult> out(rows.size());
        for (size_t i = 0; i < rows.size(); ++i) {
            try {
                out[i].count = stmt->execute(rows[i]);
            } catch (const DbError &e) {
                out[i].outcome = Outcome::failed(e);
                // Cancelled, timed out or cut off: the rows after it are not tried.
                if (e.hasState(QStringLiteral("HY008")) || e.hasState(QStringLiteral("HYT00")) ||
                    stmt->connectionLost()) {
                    for (size_t rest = i + 1; rest < rows.size(); ++rest)
                        out[rest].outcome = out[i].outcome;
                    break;
                }
            }
        }
        return out;
    });
}

std::vector<std::vector<QVariant>> PreparedStatement::query(const std::vector<QVariant> &values) {
    if (m_collected) // reads are never kept back; a statement kept back returns nothing
        return {};
    if (!m_stmt)
        throw closedObjectError();
    odbc::Statement *stmt = m_stmt.get();
    return m_slot->run([stmt, &values] { return stmt->query(values); });
}

std::vector<ColumnInfo> PreparedStatement::columns() {
    if (m_collected)
        return {};
    if (!m_stmt)
        throw closedObjectError();
    odbc::Statement *stmt = m_stmt.get();
    const std::vector<odbc::Statement::Described> described =
        m_slot->run([stmt] { return stmt->describe(); });
    std::vector<ColumnInfo> out;
    for (const odbc::Statement::Described &d : described) {
        ColumnInfo c;
        c.name = d.column.name;
        c.typeName = d.column.typeName;
        c.sqlType = d.column.sqlType;
        c.size = static_cast<qint64>(d.column.size);
        c.precision = static_cast<int>(d.precision);
        c.scale = d.column.scale;
        c.nullable = d.column.nullable;
        c.identity = d.identity;
        out.push_back(std::move(c));
    }
    return out;
}

void PreparedStatement::close() noexcept {
    m_collected.reset();
    if (!m_stmt)
        return;
    // The statement belongs to the worker's thread; nobody waits for its release.
    try {
        m_slot->worker.post([stmt = std::move(m_stmt)] { stmt->close(); });
    } catch (...) {
    }
    m_stmt.reset();
    m_slot.reset();
}

} // namespace quorix
