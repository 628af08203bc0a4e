#pragma once

// The record-range copy's statements and log lines. db is the selected database, table a table name of the
// table browser, start/end the range boxes' texts and id an idnum value as text. Names follow the quoting
// rule and texts become literals, so an ordinary name reads exactly as the statements always have.

#include <QString>
#include <QStringList>

namespace quorix {

// db + ".." + table
QString qualifiedTable(const QString &db, const QString &table);
// " Exec sp_defaultdb @loginame='" + login + "', @defdb='" + db + "'", sent on both servers for the
// session's own login ('sa' unless another is set; never for a Windows login, which the server maps itself).
QString defaultDatabaseStatement(const QString &login, const QString &db);
// The object id of db..table on Main, as a one-row, one-column result (NULL when there is no such table).
QString objectIdQuery(const QString &db, const QString &table);
// "Select * From sys.columns where object_id = '" + objectId + "'  and name ='idnum' "
QString idnumColumnQuery(const QString &objectId);
// "select * from sys.tables where name='" + table + "'"
QString mirrorTableQuery(const QString &table);
// "select * from " + db + ".." + table + " where idnum >= '" + start + "' and idnum <= '" + end + "'"
QString rangeQuery(const QString &db, const QString &table, const QString &start, const QString &end);
// "Select * from   " + db + ".." + table + " where idnum = '" + id + "' "
QString recordQuery(const QString &db, const QString &table, const QString &id);

// "INSERT INTO db..table (a, b) VALUES (?, ?)": a record added by naming the fields that were set
// ("... DEFAULT VALUES" for none).
QString insertRecordStatement(const QString &db, const QString &table, const QStringList &columns);

// "Records added to " + table + ": " + added + "  exist:" + existing
QString recordsAddedLine(const QString &table, qint64 added, qint64 existing);
// "table not found in database 2 " + table
QString tableNotFoundLine(const QString &table);
// "field" + field + " may not exists on left database" + description
QString fieldCopyErrorLine(const QString &field, const QString &description);
// The two fields' ODBC SQL type codes: database 1's, a blank, database 2's.
QString fieldTypesLine(int typeInDatabase1, int typeInDatabase2);

} // namespace quorix
