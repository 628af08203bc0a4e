#include "gui/masking/AddedRecords.h"

#include "core/db/Recordset.h"
#include "core/db/ServerConnection.h"
#include "core/db/TableColumns.h"
#include "core/masking/RecordRangeSql.h"
#include "gui/ui/LogPanes.h"

#include <QRegularExpression>
#include <algorithm>

namespace quorix {

namespace {

DbError notWritable() {
    return DbError::ofText(QStringLiteral("HY000"), 0,
                           QStringLiteral("The field cannot be written: the server makes its values."));
}

// A type no parameter can carry (xml, sql_variant, ...).
std::optional<DbError> undeclarable(const ColumnInfo &column) {
    try {
        ParamType::parse(parameterTypeOf(column));
        return std::nullopt;
    } catch (const DbError &e) {
        return e;
    }
}

// A value the field's type cannot take: a data exception, or a value the driver cannot convert.
bool typeState(const DiagRecord &r) {
    return r.state.startsWith(QLatin1String("22")) || r.state == QLatin1String("07006");
}
bool typeFailure(const DbError &error) {
    return std::ranges::any_of(error.records(), typeState);
}

// The parameter whose value could not be converted, 1-based, as the data layer names it; 0 when the
// failure names none (the server's own refusals do not).
int failedParameter(const DbError &error) {
    static const QRegularExpression named(QStringLiteral(R"(^Parameter (\d+):)"));
    for (const DiagRecord &r : error.records())
        if (typeState(r))
            if (const QRegularExpressionMatch m = named.match(r.message); m.hasMatch())
                return m.captured(1).toInt();
    return 0;
}

} // namespace

AddedRecords::AddedRecords(ServerConnection &main, QString db, QString table, const LogPanes &log)
    : m_main(main), m_db(std::move(db)), m_table(std::move(table)), m_log(log) {}

const std::vector<ColumnInfo> &AddedRecords::columns() {
    if (!m_columns) {
        m_columns = tableColumns(m_main, qualifiedTable(m_db, m_table));
    }
    return *m_columns;
}

const ColumnInfo *AddedRecords::column(const QString &name) {
    for (const ColumnInfo &c : columns())
        if (c.name.compare(name, Qt::CaseInsensitive) == 0)
            return &c;
    return nullptr;
}

PreparedStatement &AddedRecords::insertFor(const std::vector<Copied> &copied) {
    QStringList names;
    for (const Copied &c : copied)
        names << c.column->name;
    auto it = m_inserts.find(names);
    if (it == m_inserts.end()) {
        QStringList types;
        for (const Copied &c : copied)
            types << parameterTypeOf(*c.column);
        it =
            m_inserts
                .emplace(names, PreparedStatement(m_main, insertRecordStatement(m_db, m_table, names), types))
                .first;
    }
    return it->second;
}

AddedRecords::Report AddedRecords::report(const Recordset &source, int field, const ColumnInfo *column,
                                          const DbError &error) const {
    Report r{field, {fieldCopyErrorLine(source.fieldName(field), error.description())}};
    if (column && typeFailure(error))
        r.lines << fieldTypesLine(column->sqlType, source.field(field).sqlType);
    return r;
}

void AddedRecords::add(const Recordset &source) {
    columns(); // before the record is started: a table without columns cannot take one
    std::vector<Copied> copied;
    std::vector<Report> reports;
    const int count = source.fieldCount();
    for (int i = 0; i < count; ++i) {
        const ColumnInfo *c = column(source.fieldName(i));
        if (!c)
            reports.push_back(
                report(source, i, nullptr,
                       DbError::ofText(QStringLiteral("42S22"), 0, QLatin1String(dbtext::itemNotFound))));
        else if (c->identity || c->computed || c->rowversion)
            reports.push_back(report(source, i, c, notWritable()));
        else if (std::optional<DbError> refused = undeclarable(*c))
            reports.push_back(report(source, i, c, *refused));
        else
            copied.push_back({i, c, source.value(i)});
    }
    // A value its field's type cannot take is refused when the record is written; that field is left out
    // and the record written again without it, as if its assignment had failed.
    for (;;) {
        std::vector<QVariant> values;
        for (const Copied &c : copied)
            values.push_back(c.value);
        try {
            insertFor(copied).execute(values);
            break;
        } catch (const DbError &e) {
            const auto p = static_cast<size_t>(failedParameter(e));
            if (p >= 1 && p <= copied.size()) {
                reports.push_back(report(source, copied[p - 1].field, copied[p - 1].column, e));
                copied.erase(copied.begin() + static_cast<std::ptrdiff_t>(p - 1));
                continue;
            }
            const int last = count - 1;
            Report r = report(source, last, last >= 0 ? column(source.fieldName(last)) : nullptr, e);
            r.field = count; // after the fields' own reports
            reports.push_back(r);
            break;
        }
    }
    std::ranges::stable_sort(reports, {}, &Report::field);
    for (const Report &r : reports)
        for (const QString &line : r.lines)
            m_log.LogError(line);
}

} // namespace quorix
