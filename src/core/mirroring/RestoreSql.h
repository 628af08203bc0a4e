#pragma once

// Restores of a database's full and log backups: the RESTORE statements on the Mirror and on Main. The file
// list and the MOVE list they carry are in db/RestoreFiles.h.
// D is the database name, P the backup folder as the server sees it (given with its closing backslash).
// Texts are written as sqlLiteral writes them: 'x' as shown below, N'x' when x holds a character outside
// ASCII.

#include "core/db/RestoreFiles.h"

#include <QString>

namespace quorix {

// The part after "RESTORE DATABASE " (logged on its own before the restore runs):
// " D FROM DISK = 'PD.bak' With   " + moves + " NORECOVERY   ". The database stays restoring on either
// slot so that its log backup can follow.
QString restoreDatabaseTail(const QString &db, const QString &folder, const QString &moves);
// The part after "RESTORE LOG ": " D FROM DISK = 'PD_log.bak' With  " + moves, closed by " NORECOVERY  "
// on the Mirror (slot 1, to be partnered) and by " RECOVERY  " on Main (any other slot, ready for use).
QString restoreLogTail(const QString &db, const QString &folder, const QString &moves, int slot);

// "RESTORE DATABASE D WITH RECOVERY": brings Main's database online from its full backup when its log
// backup could not be restored, so that it is never left restoring.
QString recoverFromFullBackupStatement(const QString &db);

// "RESTORE DATABASE " + restoreDatabaseTail(...).
QString restoreDatabaseStatement(const QString &db, const QString &folder, const QString &moves);
// "RESTORE LOG " + restoreLogTail(...).
QString restoreLogStatement(const QString &db, const QString &folder, const QString &moves, int slot);

// Whether a restore walk over backup files passes over this database name: without Log Only each
// database is restored once, from its full backup, so names holding "_log" (exact case) are passed over.
bool restoreWalkPassesOver(const QString &db, bool logOnly);

} // namespace quorix
