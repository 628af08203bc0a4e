#include "core/mirroring/AttachSql.h"

#include "core/db/SqlQuote.h"

namespace quorix {

QString joinFolder(const QString &folder, const QString &fileName) {
    const bool closed = folder.endsWith(QLatin1Char('\\')) || folder.endsWith(QLatin1Char('/'));
    return closed ? folder + fileName : folder + QLatin1Char('\\') + fileName;
}

AttachFile attachFileOf(const QString &fileName) {
    const qsizetype dot = fileName.indexOf(QLatin1Char('.'));
    if (dot < 0)
        return {fileName, false};
    return {fileName.left(dot), fileName.mid(dot + 1).toLower() == QLatin1String("mdf")};
}

QString attachStatement(const QString &db, const QString &folder) {
    return QStringLiteral("EXEC sp_attach_db @dbname = ") + sqlUnicodeLiteral(db) +
           QStringLiteral(" ,@filename1=") +
           sqlUnicodeLiteral(joinFolder(folder, db + QStringLiteral(".mdf"))) + QStringLiteral("  ") +
           QStringLiteral(" ,@filename2=") +
           sqlUnicodeLiteral(joinFolder(folder, db + QStringLiteral(".ldf"))) + QStringLiteral("  ");
}

QString detachStatement(const QString &db) {
    return QStringLiteral("EXEC sp_detach_db ") + sqlLiteral(db) + QStringLiteral(",'true'");
}

} // namespace quorix
