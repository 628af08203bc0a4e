#include "gui/mirroring/MirrorRestore.h"

#include "core/db/ServerSessions.h"
#include "core/mirroring/RestoreSql.h"
#include "gui/ui/DatabaseLists.h"
#include "gui/ui/DatabaseWalk.h"
#include "gui/ui/Form.h"
#include "gui/ui/LogPanes.h"
#include "gui/ui/Operations.h"
#include "gui/ui/RestoreFileList.h"
#include "gui/ui/widgets/FileList.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>

namespace quorix {

MirrorRestore::MirrorRestore(Form &form, ServerSessions &sessions, const LogPanes &log, DatabaseLists &lists,
                             RestoreFileList &files)
    : m_form(form), m_sessions(sessions), m_log(log), m_lists(lists), m_files(files) {
    for (int slot = 0; slot < 2; ++slot) {
        const auto i = static_cast<size_t>(slot);
        Operations::onClick(m_form.cmdRestoreFileList[i], [this, slot] { cmdRestoreFileList_Click(slot); });
        Operations::onClick(m_form.cmdRestore[i], [this, slot] { cmdRestore_Click(slot); });
    }
}

void MirrorRestore::cmdRestoreFileList_Click(int slot) {
    if (!databaseNamed(m_form, m_log))
        return;
    m_files.read(m_sessions, m_log, slot, m_form.txtDB->text(), m_form.txtBackupDrive->text());
}

void MirrorRestore::cmdRestore_Click(int slot) {
    if (!m_form.chkALL->isChecked()) {
        restoreCurrent(slot, m_form.txtDB->text());
        return;
    }
    // The Mirror's backup folder, whichever slot restores: that is where "Copy ->" put the files.
    const QStringList files = m_form.FileB->entries();
    walkNames(
        m_form, m_sessions, files,
        [this, slot](const QString &file) {
            // A file of the backup folder that names no database ends the walk.
            if (!file.contains(QLatin1Char('.'))) {
                m_log.LogLine(QStringLiteral("No database name in backup file ") + file);
                return WalkOn::End;
            }
            m_form.txtDB->setText(databaseNameOfBackupFile(file));
            const QString db = m_form.txtDB->text();
            if (!restoreWalkPassesOver(db, m_form.chkLogOnly->isChecked()))
                restoreCurrent(slot, db);
            return WalkOn::Next;
        },
        {.stopOnStop = true, .untickStop = false, .followAll = true}, databaseNameOfBackupFile);
}

void MirrorRestore::restoreCurrent(int slot, const QString &db) {
    if (!databaseNamed(db, m_log))
        return;
    // The database and the folder are the step's from here to its last statement, whatever is clicked or
    // typed meanwhile.
    const QString folder = m_form.txtBackupDrive->text();
    m_files.read(m_sessions, m_log, slot, db, folder);
    const QString moves = moveList(m_files.entries(), restoreDataDrive(m_form, db, slot),
                                   m_form.txtLogDrive[static_cast<size_t>(slot)]->text());
    if (!m_form.chkLogOnly->isChecked()) {
        m_log.LogLine(restoreDatabaseTail(db, folder, moves));
        m_sessions.ExecuteOnServer(slot, restoreDatabaseStatement(db, folder, moves));
    }
    const int failedBefore = m_sessions.failures();
    m_sessions.ExecuteOnServer(slot, restoreLogStatement(db, folder, moves, slot));
    // On Main the log restore is what recovers the database. When it fails (no log backup, or one the
    // server refuses), the database would stay restoring and unusable: it comes online from its full
    // backup instead. The Mirror's database stays restoring on purpose, to be partnered.
    if (slot == 0 && m_sessions.failures() > failedBefore)
        m_sessions.ExecuteOnServer(0, recoverFromFullBackupStatement(db));
    m_lists.cmdRefreshDB_Click(slot);
}

} // namespace quorix
