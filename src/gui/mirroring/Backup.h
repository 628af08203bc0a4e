#pragma once

// "Backup" and the two copy buttons of the "Main Tools" tab: full and log backups of the current database
// (or of every database of the slot's list with ALL DBS) into the server's backup folder, and the copies of
// those backup files between the two servers' backup shares.

#include <QString>
#include <optional>

namespace quorix {

struct Form;
class ServerSessions;
class LogPanes;

class Backup {
public:
    // Wires cmdBackup(0), cmdBackup(1), cmdCopy(0) and cmdCopy(1).
    Backup(Form &form, ServerSessions &sessions, const LogPanes &log);

    // Backs up on server slot: BACKUP DATABASE (unless Log Only), then BACKUP Log, then the backup file
    // lists are refreshed; with ALL DBS for every database of GridDB(slot). A failed statement is logged
    // and the next one still runs.
    void cmdBackup_Click(int slot);
    // "Copy ->" (0) copies D.BAK and D_log.BAK from x:\MIR\ to y:\MIR\, "<- Copy" (1) the other way; with
    // ALL DBS for every database of GridDB(index). The first failed copy ends the whole run with the line
    // "<error description> <D>".
    void cmdCopy_Click(int index);

private:
    // One step: the database given and the folder as the step starts, to its last statement.
    void backupCurrent(int slot, const QString &db);
    // The copies of the step's database; what failed, when one did.
    std::optional<QString> copyCurrent(int index, const QString &db);

    Form &m_form;
    ServerSessions &m_sessions;
    const LogPanes &m_log;
};

} // namespace quorix
