#include "core/db/TableKeys.h"

#include "core/db/Recordset.h"
#include "core/db/SqlQuote.h"
#include "core/db/TableColumns.h"

namespace quorix {

QString uniqueKeysCatalogQuery(const QString &qualifiedTable) {
    const QString database = splitTableName(qualifiedTable).database;
    const QString sys =
        database.isEmpty() ? QStringLiteral("sys.") : sqlName(database) + QStringLiteral(".sys.");
    return QStringLiteral("SELECT i.index_id, c.name FROM %1indexes AS i JOIN %1index_columns AS ic ON "
                          "ic.object_id = i.object_id AND ic.index_id = i.index_id JOIN %1columns AS c ON "
                          "c.object_id = ic.object_id AND c.column_id = ic.column_id WHERE i.object_id = "
                          "OBJECT_ID(%2) AND i.is_unique = 1 AND i.has_filter = 0 AND i.is_disabled = 0 AND "
                          "i.is_hypothetical = 0 AND ic.key_ordinal > 0 ORDER BY i.is_primary_key DESC, "
                          "i.index_id, ic.key_ordinal")
        .arg(sys, sqlUnicodeLiteral(qualifiedTable));
}

std::vector<QStringList> uniqueKeys(ServerConnection &connection, const QString &qualifiedTable) {
    Recordset catalog;
    catalog.open(connection, uniqueKeysCatalogQuery(qualifiedTable));
    std::vector<QStringList> keys;
    QVariant index;
    for (; catalog.isOpen() && !catalog.eof(); catalog.moveNext()) {
        if (keys.empty() || catalog.value(0) != index)
            keys.emplace_back();
        index = catalog.value(0);
        keys.back() << catalog.value(1).toString();
    }
    return keys;
}

} // namespace quorix
