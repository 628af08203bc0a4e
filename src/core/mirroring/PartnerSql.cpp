#include "core/mirroring/PartnerSql.h"

#include "core/db/SqlQuote.h"

namespace quorix {

QString setPartnerStatement(const QString &db, const QString &partnerAddress) {
    return QStringLiteral("ALTER DATABASE [") + bracketInner(db) + QStringLiteral("] SET PARTNER = ") +
           sqlLiteral(QStringLiteral("TCP://") + partnerAddress + QLatin1Char(':') +
                      QString::number(kMirroringPort)) +
           QStringLiteral("  ");
}

QString setSafetyOffStatement(const QString &db) {
    return QStringLiteral("ALTER DATABASE [") + bracketInner(db) +
           QStringLiteral("] SET PARTNER SAFETY OFF  ");
}

QString partnerOffStatement(const QString &db) {
    return QStringLiteral("ALTER DATABASE ") + sqlName(db) + QStringLiteral(" SET PARTNER OFF ");
}

QString recoverDatabaseStatement(const QString &db) {
    return QStringLiteral("RESTORE DATABASE ") + sqlName(db) + QStringLiteral(" WITH RECOVERY  ");
}

QString fullRecoveryStatement(const QString &db) {
    return QStringLiteral("ALTER DATABASE ") + sqlName(db) + QStringLiteral(" SET RECOVERY FULL");
}

QStringList makeOnlineStatements(const QString &db) {
    return {partnerOffStatement(db), recoverDatabaseStatement(db), fullRecoveryStatement(db)};
}

QString clearConnectionsBatch(const QString &db) {
    return QStringLiteral("USE master ") + QStringLiteral(";  ") +
           QStringLiteral("DECLARE @dbname nvarchar(128), @spid varchar(10), @start datetime ") +
           QStringLiteral("SELECT @start = current_timestamp, @dbname = ") + sqlLiteral(db) +
           QStringLiteral(" ") +
           QStringLiteral("while(exists(Select * FROM sysprocesses WHERE dbid = db_id(@dbname)) AND ") +
           QStringLiteral(" datediff(mi, @start, current_timestamp) < 5) ") + QStringLiteral("    BEGIN ") +
           QStringLiteral("     DECLARE spids CURSOR FOR ") +
           QStringLiteral("      SELECT convert(varchar, spid) FROM sysprocesses ") +
           QStringLiteral("       WHERE dbid = db_id(@dbname) ") + QStringLiteral("     OPEN spids ") +
           QStringLiteral("     While (1 = 1) ") + QStringLiteral("     BEGIN ") +
           QStringLiteral("      FETCH spids INTO @spid ") +
           QStringLiteral("      IF @@fetch_status < 0 BREAK ") +
           QStringLiteral("      exec('kill ' + @spid) ") + QStringLiteral("     End ") +
           QStringLiteral("     DEALLOCATE spids ") + QStringLiteral("End ");
}

QString dropDatabaseStatement(const QString &db) {
    return QStringLiteral("DROP DATABASE ") + sqlName(db) + QStringLiteral(" ");
}

} // namespace quorix
