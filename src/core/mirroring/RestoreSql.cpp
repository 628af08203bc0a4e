#include "core/mirroring/RestoreSql.h"

#include "core/db/SqlQuote.h"

namespace quorix {

namespace {

// " D FROM DISK = 'PD<suffix>' With" + gap + moves: the common start of every restore tail.
QString restoreFrom(const QString &db, const QString &file, const QString &gap, const QString &moves) {
    return QLatin1Char(' ') + sqlName(db) + QStringLiteral(" FROM DISK = ") + sqlLiteral(file) +
           QStringLiteral(" With") + gap + moves;
}

} // namespace

QString restoreDatabaseTail(const QString &db, const QString &folder, const QString &moves) {
    return restoreFrom(db, folder + db + QStringLiteral(".bak"), QStringLiteral("   "), moves) +
           QStringLiteral(" NORECOVERY   ");
}

QString restoreLogTail(const QString &db, const QString &folder, const QString &moves, int slot) {
    return restoreFrom(db, folder + db + QStringLiteral("_log.bak"), QStringLiteral("  "), moves) +
           (slot == 1 ? QStringLiteral(" NORECOVERY  ") : QStringLiteral(" RECOVERY  "));
}

QString recoverFromFullBackupStatement(const QString &db) {
    return QStringLiteral("RESTORE DATABASE ") + sqlName(db) + QStringLiteral(" WITH RECOVERY");
}

QString restoreDatabaseStatement(const QString &db, const QString &folder, const QString &moves) {
    return QStringLiteral("RESTORE DATABASE ") + restoreDatabaseTail(db, folder, moves);
}

QString restoreLogStatement(const QString &db, const QString &folder, const QString &moves, int slot) {
    return QStringLiteral("RESTORE LOG ") + restoreLogTail(db, folder, moves, slot);
}

bool restoreWalkPassesOver(const QString &db, bool logOnly) {
    return !logOnly && db.contains(QLatin1String("_log"), Qt::CaseSensitive);
}

} // namespace quorix
