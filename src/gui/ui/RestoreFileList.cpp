#include "gui/ui/RestoreFileList.h"

#include "core/db/DbError.h"
#include "core/db/RestoreDrive.h"
#include "core/db/ServerSessions.h"
#include "gui/ui/Form.h"
#include "gui/ui/LogPanes.h"

#include <QLineEdit>
#include <array>

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

QString restoreDataDrive(const Form &form, const QString &db, int slot) {
    std::array<QString, 6> boxes;
    for (size_t n = 0; n < boxes.size(); ++n)
        boxes[n] = form.txtRestoreTO[n]->text();
    QString name = db; // RestoreDriveFor upper-cases its argument
    return RestoreDriveFor(name, slot, boxes);
}

} // namespace quorix
