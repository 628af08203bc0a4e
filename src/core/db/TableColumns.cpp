#include "core/db/TableColumns.h"

#include "core/db/Recordset.h"
#include "core/db/SqlQuote.h"

namespace quorix {

TableName splitTableName(const QString &qualifiedTable) {
    QStringList parts{QString()};
    const QString &s = qualifiedTable;
    for (qsizetype i = 0; i < s.size(); ++i) {
        const QChar c = s[i];
        if (c == QLatin1Char('[') || c == QLatin1Char('"')) {
            const QChar close = c == QLatin1Char('[') ? QLatin1Char(']') : c;
            for (++i; i < s.size(); ++i) {
                if (s[i] == close) {
                    if (i + 1 < s.size() && s[i + 1] == close)
                        ++i; // a doubled closing character is one of itself
                    else
                        break;
                }
                parts.last() += s[i];
            }
        } else if (c == QLatin1Char('.')) {
            parts << QString();
        } else if (!c.isSpace()) {
            parts.last() += c;
        }
    }
    TableName name;
    name.table = parts.value(parts.size() - 1);
    if (parts.size() >= 2)
        name.schema = parts[parts.size() - 2];
    if (parts.size() >= 3)
        name.database = parts[parts.size() - 3];
    return name;
}

QString tableColumnsCatalogQuery(const QString &qualifiedTable) {
    const QString database = splitTableName(qualifiedTable).database;
    const QString columns = database.isEmpty() ? QStringLiteral("sys.columns")
                                               : sqlName(database) + QStringLiteral(".sys.columns");
    // rowversion (and its older name timestamp) is system type 189 whatever the column's alias type.
    return QStringLiteral("SELECT c.name, c.is_identity, c.is_computed, CAST(CASE WHEN c.system_type_id = "
                          "189 THEN 1 ELSE 0 END AS bit) AS is_rowversion FROM ") +
           columns + QStringLiteral(" AS c WHERE c.object_id = OBJECT_ID(") +
           sqlUnicodeLiteral(qualifiedTable) + QStringLiteral(") ORDER BY c.column_id");
}

QString parameterTypeOf(const ColumnInfo &column) {
    // Some drivers add to the type's name ("int identity").
    const QString type = column.typeName.section(QLatin1Char(' '), 0, 0).toLower();
    static const QStringList sized{"char", "varchar", "nchar", "nvarchar", "binary", "varbinary"};
    if (sized.contains(type)) {
        const bool max = column.size <= 0 || column.size > 8000; // drivers report (max) as 0 or huge
        return type + (max ? QStringLiteral("(max)") : QStringLiteral("(%1)").arg(column.size));
    }
    if (type == QLatin1String("decimal") || type == QLatin1String("numeric"))
        return QStringLiteral("%1(%2,%3)").arg(type).arg(column.precision).arg(column.scale);
    if (type == QLatin1String("datetime2") || type == QLatin1String("time") ||
        type == QLatin1String("datetimeoffset"))
        return QStringLiteral("%1(%2)").arg(type).arg(column.scale);
    if (type == QLatin1String("text"))
        return QStringLiteral("varchar(max)");
    if (type == QLatin1String("ntext"))
        return QStringLiteral("nvarchar(max)");
    if (type == QLatin1String("image"))
        return QStringLiteral("varbinary(max)");
    return type;
}

std::vector<ColumnInfo> tableColumns(ServerConnection &connection, const QString &qualifiedTable) {
    // The driver's description gives the types as the driver will bind them; the catalog gives the flags
    // the description leaves out or gets wrong (a computed column looks like any other).
    std::vector<ColumnInfo> columns =
        PreparedStatement(connection, QStringLiteral("SELECT TOP 0 * FROM ") + qualifiedTable, QStringList{})
            .columns();
    if (columns.empty()) // a server describes every table it has with at least one column
        throw DbError::ofText(QStringLiteral("42S02"), 208,
                              QStringLiteral("Invalid object name '%1'.").arg(qualifiedTable));
    Recordset catalog;
    catalog.open(connection, tableColumnsCatalogQuery(qualifiedTable));
    const auto find = [&columns](const QString &name) -> ColumnInfo * {
        for (ColumnInfo &c : columns)
            if (c.name == name)
                return &c;
        for (ColumnInfo &c : columns) // a case-insensitive catalog may spell it otherwise
            if (c.name.compare(name, Qt::CaseInsensitive) == 0)
                return &c;
        return nullptr;
    };
    for (; catalog.isOpen() && !catalog.eof(); catalog.moveNext()) {
        ColumnInfo *c = find(catalog.value(0).toString());
        if (!c)
            continue;
        c->identity = catalog.value(1).toBool();
        c->computed = catalog.value(2).toBool();
        c->rowversion = catalog.value(3).toBool();
    }
    return columns;
}

} // namespace quorix
