#pragma once

// The unique keys of a table, for work that names a record by its key instead of walking a cursor: the
// table's unique indexes that name exactly one record each (not filtered, not disabled, not hypothetical),
// from the server's catalog.

#include "core/db/ServerConnection.h"

#include <QStringList>
#include <vector>

namespace quorix {

// The catalog read uniqueKeys sends: one row per key column (index_id, name) of each such index of
// qualifiedTable, the primary key first, each index's columns in key order.
QString uniqueKeysCatalogQuery(const QString &qualifiedTable);

// The key columns of each such index, the primary key first; none for a table without one. Reads only.
// Throws DbError.
std::vector<QStringList> uniqueKeys(ServerConnection &connection, const QString &qualifiedTable);

} // namespace quorix
