#pragma once

// What every restore of a full backup needs: the query that lists the backup's files, the bare file names
// it gives, and the MOVE list that puts each file on its drive. D is the database name, P the backup
// folder as the server sees it (given with its closing backslash).

#include <QList>
#include <QString>

namespace quorix {

// One file of a backup as the server lists it.
struct RestoreFileEntry {
    QString logicalName;  // the backup's name for the file
    QString physicalName; // bare file name, folder removed
};
using RestoreFileEntries = QList<RestoreFileEntry>;

// " RESTORE FILELISTONLY  FROM DISK = 'PD.bak' WITH FILE = 1".
QString restoreFileListStatement(const QString &db, const QString &folder);

// The server's physical path without everything up to and including its last backslash.
QString barePhysicalName(const QString &physicalPath);

// One " MOVE  'L' TO 'X:\db\F', " per entry, in order. X is dataDrive, except that a file whose upper-cased
// name contains ".LDF" goes to logDrive + ":\LDF\" when logDrive is not empty. Pass an empty logDrive to
// keep log files beside the data files.
QString moveList(const RestoreFileEntries &files, const QString &dataDrive, const QString &logDrive);

// The database a backup file belongs to: its name before the first "." (all of it without one).
QString databaseNameOfBackupFile(const QString &fileName);

} // namespace quorix
