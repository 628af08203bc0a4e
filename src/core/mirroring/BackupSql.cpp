#include "core/mirroring/BackupSql.h"

#include "core/db/SqlQuote.h"

namespace quorix {

namespace {

const QString kMainShare = QStringLiteral("x:\\MIR\\");
const QString kMirrorShare = QStringLiteral("y:\\MIR\\");

QString backupStatement(const QString &verb, const QString &db, const QString &file) {
    return verb + sqlName(db) + QStringLiteral(" TO DISK = ") + sqlLiteral(file) +
           QStringLiteral("   WITH FORMAT");
}

} // namespace

QString backupDatabaseStatement(const QString &db, const QString &folder) {
    return backupStatement(QStringLiteral("BACKUP DATABASE "), db,
                           folder + backupFileName(db, BackupKind::Full));
}

QString backupLogStatement(const QString &db, const QString &folder) {
    return backupStatement(QStringLiteral("BACKUP Log  "), db, folder + backupFileName(db, BackupKind::Log));
}

QString backupFileName(const QString &db, BackupKind kind) {
    return db + (kind == BackupKind::Full ? QStringLiteral(".BAK") : QStringLiteral("_log.BAK"));
}

CopyDirection copyDirectionOf(int index) {
    return index == 1 ? CopyDirection::MirrorToMain : CopyDirection::MainToMirror;
}

CopyPaths backupCopyPaths(const QString &db, BackupKind kind, CopyDirection direction) {
    const QString file = backupFileName(db, kind);
    if (direction == CopyDirection::MirrorToMain)
        return {kMirrorShare + file, kMainShare + file};
    return {kMainShare + file, kMirrorShare + file};
}

std::optional<CopyPaths> certificateCopyPaths(int index) {
    if (index == 0)
        return CopyPaths{kMainShare + QStringLiteral("SERVER1.cer"),
                         kMirrorShare + QStringLiteral("SERVER1.cer")};
    if (index == 1)
        return CopyPaths{kMirrorShare + QStringLiteral("SERVER2.cer"),
                         kMainShare + QStringLiteral("SERVER2.cer")};
    return std::nullopt;
}

} // namespace quorix
