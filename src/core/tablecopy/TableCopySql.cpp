#include "core/tablecopy/TableCopySql.h"

#include "core/db/DbError.h"
#include "core/db/ParamType.h"
#include "core/db/SqlQuote.h"
#include "core/db/TableColumns.h"

#include <algorithm>

namespace quorix {

namespace {

bool defaultSchema(const QString &schema) {
    return schema.isEmpty() || schema.compare(QLatin1String("dbo"), Qt::CaseInsensitive) == 0;
}

// "db..name" in the default schema, "db.schema.name" in any other.
QString qualified(const QString &db, const QString &schema, const QString &name) {
    if (defaultSchema(schema))
        return sqlName(db) + QStringLiteral("..") + sqlName(name);
    return sqlName(db) + QLatin1Char('.') + sqlName(schema) + QLatin1Char('.') + sqlName(name);
}

QString inSchema(const QString &schema, const QString &name) {
    return defaultSchema(schema) ? sqlName(name) : sqlName(schema) + QLatin1Char('.') + sqlName(name);
}

// "schema.name" with the schema always written: dbo when the browser gives none.
QString withSchema(const QString &schema, const QString &name) {
    return sqlName(schema.isEmpty() ? QStringLiteral("dbo") : schema) + QLatin1Char('.') + sqlName(name);
}

QString new2Of(const QString &table) {
    return table + QStringLiteral("_NEW2");
}

} // namespace

QString tableName(const TableRef &t) {
    return inSchema(t.schema, t.table);
}

QString sourceTable(const TableRef &t) {
    return qualified(t.db, t.schema, t.table);
}

QString secondTable(const TableRef &t) {
    return qualified(t.db + QLatin1Char('2'), t.schema, t.table);
}

QString new2Table(const TableRef &t) {
    return qualified(t.db, t.schema, new2Of(t.table));
}

QString new2TableName(const TableRef &t) {
    return inSchema(t.schema, new2Of(t.table));
}

QString useDirectStatement(const QString &db) {
    return QStringLiteral("use ") + sqlName(db);
}

QString useSecondStatement(const QString &db) {
    return useStatement(db + QLatin1Char('2'));
}

QString existenceCheck(const QString &name) {
    return QStringLiteral("SELECT * FROM sys.objects WHERE object_id = OBJECT_ID(") +
           sqlUnicodeLiteral(name) + QStringLiteral(") AND type in (N'U')");
}

QString identityInsert(const QString &qualifiedTable, bool on) {
    return QStringLiteral("SET IDENTITY_INSERT ") + qualifiedTable +
           (on ? QStringLiteral(" ON") : QStringLiteral(" OFF"));
}

QString secondIdentityTable(const TableRef &t) {
    return sqlName(t.db + QLatin1Char('2')) + QLatin1Char('.') + withSchema(t.schema, t.table);
}

QString new2IdentityTable(const TableRef &t) {
    return withSchema(t.schema, new2Of(t.table));
}

QString createSecondByRecord(const TableRef &t) {
    return QStringLiteral("SELECT top 1 * INTO ") + secondTable(t) + QStringLiteral(" FROM ") +
           sourceTable(t);
}

QString truncateSecond(const TableRef &t) {
    return QStringLiteral("truncate table ") + secondTable(t) + QLatin1Char(' ');
}

QString selectAllFrom(const QString &qualifiedTable) {
    return QStringLiteral("SELECT * FROM ") + qualifiedTable;
}

QString dropNew2(const TableRef &t) {
    return QStringLiteral("drop table ") + new2Table(t) + QLatin1Char(' ');
}

QString readFirstRow(const TableRef &t) {
    return QStringLiteral("select top 1 * from  ") + sourceTable(t);
}

QString createNew2(const TableRef &t) {
    return QStringLiteral("select top  1 * into ") + new2Table(t) + QStringLiteral("  from ") +
           sourceTable(t);
}

QString truncateNew2(const TableRef &t) {
    return QStringLiteral("truncate table ") + new2Table(t) + QStringLiteral("  ");
}

QString readFirstRowBare(const TableRef &t) {
    return QStringLiteral("select top 1 * from  ") + tableName(t);
}

QString bracketedColumns(const QStringList &names) {
    QStringList out;
    for (const QString &n : names)
        out << QLatin1Char('[') + bracketInner(n) + QLatin1Char(']');
    return out.join(QLatin1Char(','));
}

QString bareColumns(const QStringList &names) {
    QStringList out;
    for (const QString &n : names)
        out << sqlName(n);
    return out.join(QLatin1Char(','));
}

QString copyIntoStatement(const TableRef &t, const QString &cols) {
    return QStringLiteral("INSERT into ") + secondTable(t) + QStringLiteral(" (") + cols +
           QStringLiteral(") SELECT ") + cols + QStringLiteral(" from ") + sourceTable(t);
}

QString cloneStatement(const TableRef &t, const QString &cols) {
    return QStringLiteral("INSERT INTO ") + secondTable(t) + QStringLiteral(" (") + cols +
           QStringLiteral(") SELECT ") + cols + QStringLiteral("    From ") + sourceTable(t);
}

QString copyStructure(const TableRef &t) {
    return QStringLiteral("select  * into ") + secondTable(t) + QStringLiteral("  from ") + sourceTable(t);
}

QString dropSecond(const TableRef &t) {
    return QStringLiteral("drop table ") + secondTable(t) + QLatin1Char(' ');
}

QString truncateTable(const TableRef &t) {
    return QStringLiteral("Truncate Table   ") + tableName(t) + QLatin1Char(' ');
}

QString checkTable(const TableRef &t) {
    return QStringLiteral("DBCC CHECKtable(") + sqlLiteral(tableName(t)) + QLatin1Char(')');
}

QString singleUserStatement(const QString &db) {
    return QStringLiteral("ALTER DATABaSE ") + sqlName(db) +
           QStringLiteral(" SET SINGLE_USER WITH ROLLBACK IMMEDIATE");
}

QString multiUserStatement(const QString &db) {
    return QStringLiteral("ALTER DATABaSE ") + sqlName(db) + QStringLiteral(" SET MULTI_USER ");
}

QString rowCountStatement(const TableRef &t) {
    return QStringLiteral("SELECT CONVERT(bigint, rows) as RCNT from sysindexes WHERE id = OBJECT_ID(") +
           sqlLiteral(tableName(t)) + QStringLiteral(") AND indid < 2");
}

QString parameterType(const ColumnInfo &column) {
    const QString type = column.typeName.section(QLatin1Char(' '), 0, 0).toLower(); // "int identity"
    if (type == QLatin1String("timestamp") || type == QLatin1String("rowversion"))
        return {};
    // The spatial and hierarchy types arrive as their bytes, which the server converts back.
    if (type == QLatin1String("geometry") || type == QLatin1String("geography") ||
        type == QLatin1String("hierarchyid"))
        return QStringLiteral("varbinary(max)");
    const QString declared = parameterTypeOf(column);
    try {
        ParamType::parse(declared);
        return declared;
    } catch (const DbError &) {
        // xml, sql_variant and the rest travel as text the server converts.
        return QStringLiteral("nvarchar(max)");
    }
}

InsertPlan insertPlan(const QString &target, const std::vector<ColumnInfo> &targetColumns,
                      int sourceColumns) {
    InsertPlan plan;
    const int paired = std::min(sourceColumns, static_cast<int>(targetColumns.size()));
    plan.refusedPerRow = sourceColumns - paired;
    for (int i = 0; i < paired; ++i) {
        const ColumnInfo &c = targetColumns[static_cast<size_t>(i)];
        const QString type = c.computed || c.rowversion ? QString() : parameterType(c);
        if (type.isEmpty()) {
            ++plan.refusedPerRow;
            continue;
        }
        plan.columns << c.name;
        plan.types << type;
        plan.sources.push_back(i);
    }
    if (!plan.columns.isEmpty())
        plan.sql = insertStatement(target, plan.columns);
    return plan;
}

} // namespace quorix
