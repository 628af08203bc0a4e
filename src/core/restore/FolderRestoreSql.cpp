#include "core/restore/FolderRestoreSql.h"

#include "core/db/SqlQuote.h"

namespace quorix {

QString backupStemOf(const QString &listedName) {
    static const QLatin1String bak(".bak");
    return listedName.endsWith(bak, Qt::CaseInsensitive) ? listedName.chopped(bak.size()) : listedName;
}

QString restoreOntoMainStatement(const QString &db, const QString &backupPath, const QString &moves) {
    return QStringLiteral("RESTORE DATABASE  ") + sqlName(db) + QStringLiteral(" FROM DISK = ") +
           sqlLiteral(backupPath) + QStringLiteral(" With  ") + moves + QStringLiteral(" Replace ");
}

} // namespace quorix
