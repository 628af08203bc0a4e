#pragma once

// The restores of whole folders of full backups onto Main, one database per backup file, each named by the
// text before its file's first dot and restored from that very file, over any database of that name, with
// every file of the backup moved into \db\ on the drive its category selects:
//   "Restore ALL to Main" (cmdRestoreMain) and a double click on File1: the files of Main's backup share,
//   which the server reads as p:\backup\; Main's database list is reloaded after each one.
//   " Restore ALL to Main" (cmdRestoretoMain): the files of File2(0), read by the server from the folder of
//   txtRestoreDir; the database list is not reloaded.
// A walk ends after the database during which STOP was ticked, and unticks it; the status bar shows where
// it stands. txtBackupDrive is left as the user set it.

#include <QString>
#include <QStringList>
#include <functional>

namespace quorix {

struct Form;
class ServerSessions;
class LogPanes;
class DatabaseLists;
class RestoreFileList;

class FolderRestore {
public:
    // Wires cmdRestoreMain, the double click on File1 and cmdRestoretoMain. files is the window's restore
    // file list, which every restore reads into.
    FolderRestore(Form &form, ServerSessions &sessions, const LogPanes &log, DatabaseLists &lists,
                  RestoreFileList &files);

    void cmdRestoreMain_Click();
    void File1_DblClick();
    void cmdRestoretoMain_Click();

    // Restores the listed backup file (a name without folder) of Main's backup share and reloads Main's
    // database list.
    void RestoreBackupFile(const QString &fileName);

private:
    // Restores fileName from folder (as the server sees it, closed by a backslash) onto Main. A file that
    // names no database, or whose file list cannot be read, is passed over with one log line.
    void restoreFile(const QString &folder, const QString &fileName, bool reloadList);
    // Restores every name in turn, showing progress, until STOP.
    void walk(const QStringList &names, const std::function<void(const QString &)> &restore);

    Form &m_form;
    ServerSessions &m_sessions;
    const LogPanes &m_log;
    DatabaseLists &m_lists;
    RestoreFileList &m_files;
};

} // namespace quorix
