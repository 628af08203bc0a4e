#include "db/RestoreFileList.h"

#include "db/DbError.h"
#include "db/LogPanes.h"
#include "db/ServerSessions.h"

namespace quorix {

void RestoreFileList::read(ServerSessions &sessions, const LogPanes &log, int slot, const QString &db,
                           const QString &folder) {
    // A failure is already logged by OpenQuery; reading the closed result then reports the second line.
    sessions.OpenQuery(slot, restoreFileListStatement(db, folder), false);
    m_entries.clear();
    try {
        Recordset &rs = sessions.rs();
        while (!rs.eof()) {
            m_entries.append({rs.value(0).toString(), barePhysicalName(rs.value(1).toString())});
            rs.moveNext();
        }
    } catch (const DbError &e) {
        log.LogLine(e.description());
    }
}

} // namespace quorix
