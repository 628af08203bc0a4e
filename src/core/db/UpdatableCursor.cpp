#include "core/db/UpdatableCursor.h"

#include "core/db/Recordset.h"
#include "core/db/SqlQuote.h"
#include "core/db/TableColumns.h"

#include <atomic>

namespace quorix {

namespace {

// GLOBAL cursors share one name space per connection; a number of the process keeps them apart.
QString nextCursorName() {
    static std::atomic<int> counter{0};
    return QStringLiteral("QuorixCursor%1").arg(++counter);
}

// Declares and opens the cursor, then counts the records. The KEYSET cursor keeps its set of records
// fixed, so a record whose key an update changes is neither met again nor skipped; without a usable
// unique index it would be turned into a read-only static cursor, so such a table is walked DYNAMIC. A
// filtered index leaves records out, and a disabled or hypothetical (statistics only) one holds no keys.
QString openBatch(const QString &name, const QString &table) {
    const QString database = splitTableName(table).database;
    const QString indexes = database.isEmpty() ? QStringLiteral("sys.indexes")
                                               : sqlName(database) + QStringLiteral(".sys.indexes");
    return QStringLiteral("IF EXISTS (SELECT * FROM %1 WHERE object_id = OBJECT_ID(%2) AND is_unique = 1 "
                          "AND has_filter = 0 AND is_disabled = 0 AND is_hypothetical = 0)\n"
                          "DECLARE %3 CURSOR GLOBAL KEYSET OPTIMISTIC FOR SELECT * FROM %4\n"
                          "ELSE\n"
                          "DECLARE %3 CURSOR GLOBAL DYNAMIC OPTIMISTIC FOR SELECT * FROM %4\n"
                          "OPEN %3\n"
                          "SELECT COUNT_BIG(*) FROM %4")
        .arg(indexes, sqlUnicodeLiteral(table), name, table);
}

DbError noCurrentRecord() {
    return DbError::ofText(QStringLiteral("24000"), 3021, QLatin1String(dbtext::noCurrentRecord));
}

} // namespace

UpdatableCursor::UpdatableCursor(ServerConnection &session, const QString &table)
    : m_session(&session), m_table(table), m_name(nextCursorName()) {
    try {
        m_declared = true;
        Recordset count;
        count.open(session, openBatch(m_name, table));
        if (!count.isOpen() || count.eof())
            throw DbError::ofText(QStringLiteral("HY000"), 0,
                                  QStringLiteral("The server did not count the records of %1.").arg(table));
        m_count = count.value(0).toLongLong();
        m_open = true;
        fetch();
    } catch (...) {
        close();
        throw;
    }
}

void UpdatableCursor::fetch() {
    m_pending.clear();
    for (;;) {
        Recordset rs;
        rs.open(*m_session, QStringLiteral("FETCH NEXT FROM ") + m_name);
        if (rs.isOpen() && m_fields.isEmpty())
            m_fields = rs.fieldNames();
        if (rs.isOpen() && !rs.eof()) {
            m_row = rs.row();
            m_eof = false;
            return;
        }
        // No record: the end, or (status -2) a record deleted since the keyset was built, passed over.
        Recordset status;
        status.open(*m_session, QStringLiteral("SELECT @@FETCH_STATUS"));
        if (!status.isOpen() || status.eof() || status.value(0).toInt() != -2) {
            m_row.clear();
            m_eof = true;
            return;
        }
    }
}

int UpdatableCursor::indexOf(const QString &name) const {
    if (!m_open)
        throw closedObjectError();
    for (int i = 0; i < m_fields.size(); ++i)
        if (m_fields[i].compare(name, Qt::CaseInsensitive) == 0)
            return i;
    throw unknownFieldError();
}

void UpdatableCursor::requireRecord() const {
    if (!m_open)
        throw closedObjectError();
    if (m_eof)
        throw noCurrentRecord();
}

QVariant UpdatableCursor::field(const QString &name) const {
    const int index = indexOf(name);
    requireRecord();
    const auto pending = m_pending.find(index);
    if (pending != m_pending.end())
        return pending->second;
    return index < static_cast<int>(m_row.size()) ? m_row[static_cast<size_t>(index)] : QVariant();
}

void UpdatableCursor::setField(const QString &name, const QVariant &value) {
    const int index = indexOf(name);
    requireRecord();
    m_pending[index] = value;
}

PreparedStatement &UpdatableCursor::updateFor(const std::vector<int> &columns) {
    const auto found = m_updates.find(columns);
    if (found != m_updates.end())
        return found->second;
    if (m_columns.empty())
        m_columns = tableColumns(*m_session, m_table);
    QStringList assignments, types;
    for (const int index : columns) {
        const QString &name = m_fields[index];
        const ColumnInfo *info = nullptr;
        for (const ColumnInfo &c : m_columns)
            if (c.name.compare(name, Qt::CaseInsensitive) == 0)
                info = &c;
        if (!info)
            throw unknownFieldError();
        assignments << sqlName(name) + QStringLiteral(" = ?");
        types << parameterTypeOf(*info);
    }
    const QString sql = QStringLiteral("UPDATE %1 SET %2 WHERE CURRENT OF %3")
                            .arg(m_table, assignments.join(QStringLiteral(", ")), m_name);
    return m_updates.emplace(columns, PreparedStatement(*m_session, sql, types)).first->second;
}

void UpdatableCursor::update() {
    requireRecord();
    if (m_pending.empty())
        return;
    std::vector<int> columns;
    std::vector<QVariant> values;
    for (const auto &[index, value] : m_pending) {
        columns.push_back(index);
        values.push_back(value);
    }
    updateFor(columns).execute(values);
    for (auto &[index, value] : m_pending)
        if (index < static_cast<int>(m_row.size()))
            m_row[static_cast<size_t>(index)] = std::move(value);
    m_pending.clear();
}

void UpdatableCursor::moveNext() {
    requireRecord();
    fetch();
}

void UpdatableCursor::close() noexcept {
    m_updates.clear(); // their handles are released on the connection's worker
    m_open = false;
    m_eof = true;
    m_pending.clear();
    m_row.clear();
    if (!std::exchange(m_declared, false))
        return;
    try {
        m_session->execute(QStringLiteral("IF CURSOR_STATUS('global', %1) >= -1 DEALLOCATE %2")
                               .arg(sqlUnicodeLiteral(m_name), m_name));
    } catch (...) { // the connection is gone, and the cursor with it
    }
}

} // namespace quorix
