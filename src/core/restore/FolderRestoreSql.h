#pragma once

// The restore of one backup file of a folder onto Main, as the server reads it: the database comes out
// ready for use, replacing any database of that name, with its files moved by the MOVE list of
// db/RestoreFiles.h (log files beside the data files).

#include <QString>

namespace quorix {

// Main's own path of its shared "backup" folder, which the workstation reaches as \\server\backup.
inline const QString kMainBackupFolder = QStringLiteral("p:\\backup\\");

// A listed backup file without its closing ".bak" (any letter case): "Patient.data.BAK" gives
// "Patient.data". The file list query and the restore read folder + this + ".bak", which is the listed file
// itself (the server's file system ignores letter case).
QString backupStemOf(const QString &listedName);

// "RESTORE DATABASE  D FROM DISK = 'F' With  " + moves + " Replace ", F being the backup file's whole path
// as the server sees it. D follows the quoting rule and F is a literal.
QString restoreOntoMainStatement(const QString &db, const QString &backupPath, const QString &moves);

} // namespace quorix
