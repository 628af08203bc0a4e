#pragma once

// The restore file list: the logical and bare physical names of the files of one full backup, as the server
// lists them. The window owns one; "Restore File list", the mirror restore and the folder restore onto Main
// read it, and what was read last stays for the next restore to move its files by.

#include "core/db/RestoreFiles.h"

namespace quorix {

struct Form;
class LogPanes;
class ServerSessions;

class RestoreFileList {
public:
    // Reads the files of the backup folder + db + ".bak" on server slot, replacing what was read before.
    // A failed query is logged by OpenQuery (and leaves the list empty) after which reading the closed
    // result logs a second line with the reading error. Nothing is logged on success.
    void read(ServerSessions &sessions, const LogPanes &log, int slot, const QString &db,
              const QString &folder);

    const RestoreFileEntries &entries() const { return m_entries; }
    qsizetype size() const { return m_entries.size(); }
    bool isEmpty() const { return m_entries.isEmpty(); }
    const RestoreFileEntry &operator[](qsizetype i) const { return m_entries[i]; }

private:
    RestoreFileEntries m_entries;
};

// The drive onto which a restore on slot puts db's data files: RestoreDriveFor over the six restore drive
// boxes of the Options tab as they read now (db itself is left as it is).
QString restoreDataDrive(const Form &form, const QString &db, int slot);

} // namespace quorix
