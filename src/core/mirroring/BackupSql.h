#pragma once

// Backups of a database and the copies of its backup files between the two servers' backup shares.
// D is the database name, P the backup folder as the server sees it (given with its closing backslash).
// Texts are written as sqlLiteral writes them: 'x' as shown below, N'x' when x holds a character outside
// ASCII.

#include <QString>

#include <optional>

namespace quorix {

enum class BackupKind { Full, Log };

// "BACKUP DATABASE D TO DISK = 'PD.BAK'   WITH FORMAT".
QString backupDatabaseStatement(const QString &db, const QString &folder);
// "BACKUP Log  D TO DISK = 'PD_log.BAK'   WITH FORMAT".
QString backupLogStatement(const QString &db, const QString &folder);

// D + ".BAK" or D + "_log.BAK": the names the backups are written under.
QString backupFileName(const QString &db, BackupKind kind);

// "Copy ->" copies Main's share (X:) to the Mirror's (Y:), "<- Copy" the other way.
enum class CopyDirection { MainToMirror, MirrorToMain };
// Button index 0 is "Copy ->", 1 is "<- Copy".
CopyDirection copyDirectionOf(int index);

struct CopyPaths {
    QString source;
    QString target;
};

// "x:\MIR\" + file and "y:\MIR\" + file, ordered by direction. The old path texts carried trailing blanks
// that Windows drops; they are left off here so every platform copies the same file.
CopyPaths backupCopyPaths(const QString &db, BackupKind kind, CopyDirection direction);

// Certificate exchange of the scripts' frames: 0 copies Main's SERVER1.cer to the Mirror, 1 the Mirror's
// SERVER2.cer to Main; any other frame copies nothing.
std::optional<CopyPaths> certificateCopyPaths(int index);

} // namespace quorix
