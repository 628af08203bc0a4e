#pragma once

// The statements of the table tools of the Copy tab, built from the current database and the table browser's
// row. Every name follows the quoting rule (db/SqlQuote.h): a name that needs no brackets is written as it
// is, so ordinary tables give the tools' usual text byte for byte, and any other name is bracketed with "]"
// doubled. A table of the default schema is named "db..table"; a table of any other schema carries its
// schema ("db.sales.Orders"), so it is never taken for a dbo table of the same name.

#include "core/db/PreparedStatement.h"

#include <QString>
#include <QStringList>
#include <optional>

namespace quorix {

// A table of the current database as the table browser lists it.
struct TableRef {
    QString db;     // the current database (txtDB)
    QString schema; // the browser's SchemaName; empty or "dbo" is the default schema
    QString table;  // the browser's TableName, exactly as shown
};

// The table named within the current database: "Patients", "sales.Orders", "[Order Lines]".
QString tableName(const TableRef &t);
// "QRIX..Patients" and "QRIX2..Patients".
QString sourceTable(const TableRef &t);
QString secondTable(const TableRef &t);
// The fresh copy inside the current database: "QRIX..Patients_NEW2".
QString new2Table(const TableRef &t);
// The fresh copy named within the current database, for its existence check: "Patients_NEW2".
QString new2TableName(const TableRef &t);

QString useDirectStatement(const QString &db); // "use QRIX", straight on the session
QString useSecondStatement(const QString &db); // "Use QRIX2"

// "SELECT * FROM sys.objects WHERE object_id = OBJECT_ID(N'Patients') AND type in (N'U')"; name as
// tableName() or new2TableName() give it.
QString existenceCheck(const QString &name);
// "SET IDENTITY_INSERT QRIX2.dbo.T ON": the table as the names below give it. The statement takes
// [ [ database_name . ] schema_name . ] table_name only, so its name never has the empty schema of "db..T".
QString identityInsert(const QString &qualifiedTable, bool on);
// The table of the second database with its schema written out: "QRIX2.dbo.Patients", "QRIX2.sales.Orders".
QString secondIdentityTable(const TableRef &t);
// The fresh copy, which lies in the session's current database: "dbo.Patients_NEW2". Without a database
// name, which some engines resolve in no database but their own even when it is the current one.
QString new2IdentityTable(const TableRef &t);

// Copy table by record.
QString createSecondByRecord(const TableRef &t); // "SELECT top 1 * INTO QRIX2..T FROM QRIX..T"
QString truncateSecond(const TableRef &t);       // "truncate table QRIX2..T "
// The source of a record copy, read whole.
QString selectAllFrom(const QString &qualifiedTable);

// Copy to _NEW2.
QString dropNew2(const TableRef &t);     // "drop table QRIX..T_NEW2 "
QString readFirstRow(const TableRef &t); // "select top 1 * from  QRIX..T"
QString createNew2(const TableRef &t);   // "select top  1 * into QRIX..T_NEW2  from QRIX..T"
QString truncateNew2(const TableRef &t); // "truncate table QRIX..T_NEW2  "

// Copy Into and Clone Table Records.
QString readFirstRowBare(const TableRef &t);        // "select top 1 * from  T"
QString bracketedColumns(const QStringList &names); // "[a],[b]" with "]" doubled
QString bareColumns(const QStringList &names);      // "a,b", bracketed only where a name needs it
// "INSERT into QRIX2..T ([a],[b]) SELECT [a],[b] from QRIX..T"
QString copyIntoStatement(const TableRef &t, const QString &cols);
// "INSERT INTO QRIX2..T (a,b) SELECT a,b    From QRIX..T"
QString cloneStatement(const TableRef &t, const QString &cols);

// Copy Structure to DBname_2 and Drop table DBname_2.
QString copyStructure(const TableRef &t); // "select  * into QRIX2..T  from QRIX..T"
QString dropSecond(const TableRef &t);    // "drop table QRIX2..T "

// The maintenance commands.
QString truncateTable(const TableRef &t);       // "Truncate Table   T "
QString checkTable(const TableRef &t);          // "DBCC CHECKtable('T')"
QString singleUserStatement(const QString &db); // "ALTER DATABaSE QRIX SET SINGLE_USER WITH ..."
QString multiUserStatement(const QString &db);  // "ALTER DATABaSE QRIX SET MULTI_USER "
QString rowCountStatement(const TableRef &t);   // "SELECT CONVERT(bigint, rows) as RCNT from ..."

// The insert of a record copy. Source column i goes into target column i; a target column that cannot take
// a value (computed, rowversion) and a source column without a target column are left out. Rows go in
// blocks (db/RowBlocks: blockInsertStatement of columns), each row's markers declared with types.
struct InsertPlan {
    QString sql;              // "INSERT INTO QRIX2..T (a, b) VALUES (?, ?)"; empty when no column is left
    QStringList columns;      // the target columns named, one per marker of a row
    QStringList types;        // the parameter types, one per marker of a row
    std::vector<int> sources; // the source column of each marker
    int refusedPerRow = 0;    // columns that cannot be set, counted on every row as failed assignments
};
InsertPlan insertPlan(const QString &target, const std::vector<ColumnInfo> &targetColumns, int sourceColumns);

// The declared parameter type that carries a value of the column without loss, as parameterTypeOf gives it
// ("nvarchar(50)", "decimal(18,4)", "datetime2(7)", "varbinary(max)"); the types a parameter cannot declare
// travel as text or bytes the server converts. Empty for a column that takes no value (rowversion).
QString parameterType(const ColumnInfo &column);

} // namespace quorix
