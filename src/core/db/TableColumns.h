#pragma once

// A table's columns as the row-level tools need them to build an INSERT that names exactly the columns
// a target can take: the driver's description of the table's result (name, type, size, precision,
// scale, nullable) joined with the server's catalog, which alone says reliably which columns are
// identity, computed or rowversion.

#include "core/db/PreparedStatement.h"
#include "core/db/ServerConnection.h"

#include <QString>
#include <vector>

namespace quorix {

// The parts of a table name as written: "db..t", "db.schema.t", "[db].[dbo].[t]", "schema.t" or "t".
// Brackets and double quotes are taken off ("]]" inside brackets is one "]"); a part not written is
// empty.
struct TableName {
    QString database;
    QString schema;
    QString table;
};
TableName splitTableName(const QString &qualifiedTable);

// The columns of qualifiedTable (any form above, passed to the server as written) in column order.
// Two statements on the connection: the description of "SELECT TOP 0 * FROM <table>" and a read of
// <db>.sys.columns for the table's object id. Reads only. Throws DbError (also for a table that does
// not exist).
std::vector<ColumnInfo> tableColumns(ServerConnection &connection, const QString &qualifiedTable);

// The column's type as a parameter declaration for PreparedStatement ("nvarchar(50)", "decimal(10,2)",
// "varchar(max)", "datetime2(3)"); text, ntext and image are declared as their (max) successors, which
// the server converts to them. Types a parameter cannot carry (xml, sql_variant, ...) come back as their
// name, which PreparedStatement refuses.
QString parameterTypeOf(const ColumnInfo &column);

// The catalog read tableColumns sends: one row per column, in column order, with the columns name,
// is_identity, is_computed, is_rowversion.
QString tableColumnsCatalogQuery(const QString &qualifiedTable);

} // namespace quorix
