#include "core/masking/NameBlocks.h"

#include "core/db/Recordset.h"
#include "core/db/SqlQuote.h"
#include "core/db/TableColumns.h"
#include "core/db/TableKeys.h"

namespace quorix {

namespace {

QString names(const QStringList &columns, const QString &prefix = QString()) {
    QStringList out;
    for (const QString &c : columns)
        out << prefix + sqlName(c);
    return out.join(QStringLiteral(", "));
}

QString baseType(const ColumnInfo &c) {
    return c.typeName.section(QLatin1Char(' '), 0, 0).toLower(); // "int identity"
}

// A key column's values must come back exactly as the server compares them, or a record would be missed
// or read twice: no floating or legacy date-time types, no (max) types.
bool exactKey(const ColumnInfo &c) {
    static const QStringList exact{"tinyint", "smallint",  "int",     "bigint",          "decimal",
                                   "numeric", "char",      "varchar", "nchar",           "nvarchar",
                                   "binary",  "varbinary", "date",    "uniqueidentifier"};
    const QString type = parameterTypeOf(c);
    return !c.nullable && exact.contains(baseType(c)) && !type.endsWith(QLatin1String("(max)"));
}

bool nameColumn(const ColumnInfo &c) {
    static const QStringList text{"char", "varchar", "nchar", "nvarchar", "text", "ntext"};
    return text.contains(baseType(c)) && !c.computed && !c.identity && !c.rowversion;
}

const ColumnInfo *columnNamed(const std::vector<ColumnInfo> &columns, const QString &name) {
    for (const ColumnInfo &c : columns)
        if (c.name.compare(name, Qt::CaseInsensitive) == 0)
            return &c;
    return nullptr;
}

} // namespace

QString keyedReadStatement(const QString &table, const QStringList &keys, const QStringList &fields,
                           bool after) {
    QString sql = QStringLiteral("SELECT TOP (?) ") + names(keys + fields) + QStringLiteral(" FROM ") + table;
    if (after) {
        // k1 > ? OR (k1 = ? AND k2 > ?) OR ...: the records after the last one read, in key order.
        QStringList terms;
        for (qsizetype i = 0; i < keys.size(); ++i) {
            QStringList parts;
            for (qsizetype j = 0; j < i; ++j)
                parts << sqlName(keys[j]) + QStringLiteral(" = ?");
            parts << sqlName(keys[i]) + QStringLiteral(" > ?");
            terms << (i == 0 ? parts.join(QString())
                             : QLatin1Char('(') + parts.join(QStringLiteral(" AND ")) + QLatin1Char(')'));
        }
        sql += QStringLiteral(" WHERE ") + terms.join(QStringLiteral(" OR "));
    }
    return sql + QStringLiteral(" ORDER BY ") + names(keys);
}

QString keyedUpdateStatement(const QString &table, const QStringList &keys, const QStringList &fields,
                             int rows) {
    QStringList set, on;
    for (const QString &f : fields)
        set << QStringLiteral("%1 = COALESCE(v.%1, t.%1)").arg(sqlName(f));
    for (const QString &k : keys)
        on << QStringLiteral("t.%1 = v.%1").arg(sqlName(k));
    return QStringLiteral("UPDATE t SET ") + set.join(QStringLiteral(", ")) + QStringLiteral(" FROM ") +
           table + QStringLiteral(" AS t JOIN (VALUES ") +
           valuesMarkers(rows, static_cast<int>(keys.size() + fields.size())) + QStringLiteral(") AS v (") +
           names(keys + fields) + QStringLiteral(") ON ") + on.join(QStringLiteral(" AND "));
}

QVariant NameRecord::current(int field) const {
    const auto f = static_cast<size_t>(field);
    return assigned[f] ? QVariant(*assigned[f]) : fields[f];
}

bool NameRecord::changed() const {
    for (const std::optional<QString> &a : assigned)
        if (a)
            return true;
    return false;
}

std::optional<NameBlocks> NameBlocks::plan(ServerConnection &session, const QString &table,
                                           const QStringList &lineNames) {
    std::vector<ColumnInfo> columns;
    std::vector<QStringList> keys;
    try {
        columns = tableColumns(session, table);
        keys = uniqueKeys(session, table);
    } catch (const DbError &) {
        return std::nullopt;
    }
    NameBlocks plan;
    QStringList fieldTypes;
    for (const QString &name : lineNames) {
        if (name.isEmpty()) {
            plan.m_fieldOf.push_back(-1);
            continue;
        }
        const ColumnInfo *c = columnNamed(columns, name);
        if (!c || !nameColumn(*c))
            return std::nullopt;
        const qsizetype known = plan.m_fields.indexOf(c->name);
        plan.m_fieldOf.push_back(static_cast<int>(known >= 0 ? known : plan.m_fields.size()));
        if (known < 0) {
            plan.m_fields << c->name;
            fieldTypes << parameterTypeOf(*c);
        }
    }
    QStringList keyTypes;
    for (const QStringList &key : keys) {
        QStringList types;
        for (const QString &k : key) {
            const ColumnInfo *c = columnNamed(columns, k);
            if (!c || !exactKey(*c) || plan.m_fields.contains(c->name, Qt::CaseInsensitive))
                break;
            types << parameterTypeOf(*c);
        }
        if (types.size() == key.size()) {
            plan.m_keys = key;
            keyTypes = types;
            break;
        }
    }
    if (plan.m_keys.isEmpty() || plan.m_fields.isEmpty()) // a line without names only walks: the cursor
        return std::nullopt;
    try {
        QStringList afterTypes{QStringLiteral("bigint")};
        for (qsizetype i = 0; i < keyTypes.size(); ++i)
            afterTypes << keyTypes.mid(0, i + 1);
        plan.m_session = &session;
        plan.m_table = table;
        plan.m_first =
            PreparedStatement(session, keyedReadStatement(table, plan.m_keys, plan.m_fields, false),
                              {QStringLiteral("bigint")});
        plan.m_next = PreparedStatement(session, keyedReadStatement(table, plan.m_keys, plan.m_fields, true),
                                        afterTypes);
        plan.m_updateTypes = keyTypes + fieldTypes;
    } catch (const DbError &) {
        return std::nullopt;
    }
    return plan;
}

int NameBlocks::fieldOf(int nameColumn) const {
    return nameColumn >= 0 && nameColumn < static_cast<int>(m_fieldOf.size())
               ? m_fieldOf[static_cast<size_t>(nameColumn)]
               : -1;
}

qint64 NameBlocks::count() {
    Recordset rs;
    rs.open(*m_session, QStringLiteral("SELECT COUNT_BIG(*) FROM ") + m_table);
    if (!rs.isOpen() || rs.eof())
        throw DbError::ofText(QStringLiteral("HY000"), 0,
                              QStringLiteral("The server did not count the records of %1.").arg(m_table));
    return rs.value(0).toLongLong();
}

std::vector<NameRecord> NameBlocks::read(int n) {
    if (m_end || n <= 0)
        return {};
    std::vector<QVariant> values{QVariant(static_cast<qlonglong>(n))};
    for (size_t i = 0; i < m_lastKey.size(); ++i)
        values.insert(values.end(), m_lastKey.begin(), m_lastKey.begin() + static_cast<qsizetype>(i) + 1);
    const std::vector<std::vector<QVariant>> rows = (m_lastKey.empty() ? m_first : m_next).query(values);
    const size_t keys = static_cast<size_t>(m_keys.size());
    std::vector<NameRecord> out;
    out.reserve(rows.size());
    for (const std::vector<QVariant> &row : rows) {
        if (row.size() < keys + static_cast<size_t>(m_fields.size()))
            throw DbError::ofText(QStringLiteral("HY000"), 0,
                                  QStringLiteral("The server left out fields of %1.").arg(m_table));
        NameRecord r;
        r.key.assign(row.begin(), row.begin() + static_cast<qsizetype>(keys));
        r.fields.assign(row.begin() + static_cast<qsizetype>(keys), row.end());
        r.assigned.resize(r.fields.size());
        out.push_back(std::move(r));
    }
    // A server that does not go on past the last key would hand the same records out again and again.
    if (!out.empty() && out.front().key == m_lastKey)
        out.clear();
    if (static_cast<int>(out.size()) < n)
        m_end = true;
    if (!out.empty())
        m_lastKey = out.back().key;
    return out;
}

std::vector<QVariant> NameBlocks::valuesOf(const NameRecord &record) const {
    std::vector<QVariant> values = record.key;
    for (const std::optional<QString> &a : record.assigned)
        values.push_back(a ? QVariant(*a) : QVariant());
    return values;
}

BlockStatement &NameBlocks::update() {
    if (!m_update) {
        const QString table = m_table;
        const QStringList keys = m_keys, fields = m_fields;
        m_update.emplace(
            *m_session,
            [table, keys, fields](int rows) { return keyedUpdateStatement(table, keys, fields, rows); },
            m_updateTypes);
        // A row of NULLs joins no record: short blocks are filled with it and share the full block's
        // statement.
        m_update->setFiller(std::vector<QVariant>(static_cast<size_t>(m_updateTypes.size())));
    }
    return *m_update;
}

void NameBlocks::write(const std::vector<NameRecord> &records) {
    std::vector<std::vector<QVariant>> rows;
    for (const NameRecord &r : records)
        if (r.changed())
            rows.push_back(valuesOf(r));
    if (!rows.empty())
        update().executeBlock(rows);
}

void NameBlocks::writeOne(const NameRecord &record) {
    if (record.changed())
        update().executeRow(valuesOf(record));
}

} // namespace quorix
