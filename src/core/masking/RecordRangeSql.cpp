#include "core/masking/RecordRangeSql.h"

#include "core/db/SqlQuote.h"

namespace quorix {

QString qualifiedTable(const QString &db, const QString &table) {
    return sqlName(db) + QStringLiteral("..") + sqlName(table);
}

QString defaultDatabaseStatement(const QString &login, const QString &db) {
    return QStringLiteral(" Exec sp_defaultdb @loginame=") + sqlLiteral(login) + QStringLiteral(", @defdb=") +
           sqlLiteral(db);
}

QString objectIdQuery(const QString &db, const QString &table) {
    return QStringLiteral("Select OBJECT_ID(") + sqlLiteral(qualifiedTable(db, table)) + QStringLiteral(")");
}

QString idnumColumnQuery(const QString &objectId) {
    return QStringLiteral("Select * From sys.columns where object_id = ") + sqlLiteral(objectId) +
           QStringLiteral("  and name ='idnum' ");
}

QString mirrorTableQuery(const QString &table) {
    return QStringLiteral("select * from sys.tables where name=") + sqlLiteral(table);
}

QString rangeQuery(const QString &db, const QString &table, const QString &start, const QString &end) {
    return QStringLiteral("select * from ") + qualifiedTable(db, table) + QStringLiteral(" where idnum >= ") +
           sqlLiteral(start) + QStringLiteral(" and idnum <= ") + sqlLiteral(end);
}

QString recordQuery(const QString &db, const QString &table, const QString &id) {
    return QStringLiteral("Select * from   ") + qualifiedTable(db, table) +
           QStringLiteral(" where idnum = ") + sqlLiteral(id) + QStringLiteral(" ");
}

QString insertRecordStatement(const QString &db, const QString &table, const QStringList &columns) {
    if (columns.isEmpty())
        return QStringLiteral("INSERT INTO ") + qualifiedTable(db, table) + QStringLiteral(" DEFAULT VALUES");
    return insertStatement(qualifiedTable(db, table), columns);
}

QString recordsAddedLine(const QString &table, qint64 added, qint64 existing) {
    return QStringLiteral("Records added to ") + table + QStringLiteral(": ") + QString::number(added) +
           QStringLiteral("  exist:") + QString::number(existing);
}

QString tableNotFoundLine(const QString &table) {
    return QStringLiteral("table not found in database 2 ") + table;
}

QString fieldCopyErrorLine(const QString &field, const QString &description) {
    return QStringLiteral("field") + field + QStringLiteral(" may not exists on left database") + description;
}

QString fieldTypesLine(int typeInDatabase1, int typeInDatabase2) {
    return QString::number(typeInDatabase1) + QLatin1Char(' ') + QString::number(typeInDatabase2);
}

} // namespace quorix
