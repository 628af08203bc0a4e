#pragma once

// "Restore File list" and "Restore" of the "Main Tools" tab: the file list of the current database's full
// backup, and the restore of its full and log backups on a server slot, each file moved to the drive its
// category selects. On the Mirror both restores leave the database restoring, ready to be partnered; on
// Main the log restore recovers it. With ALL DBS the restore walks the Mirror's backup folder list FileB.

#include <QString>

namespace quorix {

struct Form;
class ServerSessions;
class LogPanes;
class DatabaseLists;
class RestoreFileList;

class MirrorRestore {
public:
    // Wires cmdRestoreFileList(0/1) and cmdRestore(0/1).
    // files is the window's restore file list, which this class reads and the folder restore shares.
    MirrorRestore(Form &form, ServerSessions &sessions, const LogPanes &log, DatabaseLists &lists,
                  RestoreFileList &files);

    // Reads the file list of the full backup of txtDB in the folder of txtBackupDrive on server slot into
    // restoreFileList() (failures as RestoreFileList::read logs them).
    void cmdRestoreFileList_Click(int slot);
    // Restores on server slot the database of txtDB, or with ALL DBS the database of every file of FileB
    // (passing over log backups unless Log Only is ticked); then reloads the slot's database list. STOP or
    // unticking ALL DBS ends the walk after the current file; STOP stays ticked.
    void cmdRestore_Click(int slot);

    // The files of the backup whose list was read last, by this class or by the folder restore onto Main.
    const RestoreFileList &restoreFileList() const { return m_files; }

private:
    // One step: the database given and the folder as the step starts, to its last statement.
    void restoreCurrent(int slot, const QString &db);

    Form &m_form;
    ServerSessions &m_sessions;
    const LogPanes &m_log;
    DatabaseLists &m_lists;
    RestoreFileList &m_files;
};

} // namespace quorix
