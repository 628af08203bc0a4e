#include "gui/mirroring/Backup.h"

#include "core/db/ServerSessions.h"
#include "core/mirroring/BackupSql.h"
#include "core/shares/FileAccess.h"
#include "gui/ui/BackupFileLists.h"
#include "gui/ui/DatabaseWalk.h"
#include "gui/ui/Form.h"
#include "gui/ui/Hourglass.h"
#include "gui/ui/LogPanes.h"
#include "gui/ui/Operations.h"
#include "gui/ui/RunAside.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QLineEdit>
#include <QPushButton>

namespace quorix {

namespace {

// The first failed copy ends the whole run; it travels out of the database walk as this.
struct CopyFailed {
    QString description;
};

void copyOrFail(const CopyPaths &paths) {
    const Outcome result = copyAside(paths.source.toStdString(), paths.target.toStdString());
    if (!result.ok())
        throw CopyFailed{QString::fromStdString(result.error())};
}

} // namespace

Backup::Backup(Form &form, ServerSessions &sessions, const LogPanes &log)
    : m_form(form), m_sessions(sessions), m_log(log) {
    for (int slot = 0; slot < 2; ++slot) {
        const auto i = static_cast<size_t>(slot);
        Operations::onClick(m_form.cmdBackup[i], [this, slot] { cmdBackup_Click(slot); });
        Operations::onClick(m_form.cmdCopy[i], [this, slot] { cmdCopy_Click(slot); });
    }
}

void Backup::cmdBackup_Click(int slot) {
    forCurrentOrAllDatabases(m_form, slot, [this, slot] { backupCurrent(slot); });
}

void Backup::backupCurrent(int slot) {
    if (!databaseNamed(m_form, m_log))
        return;
    // The name and the folder are read as each statement is built: a value typed meanwhile counts.
    if (!m_form.chkLogOnly->isChecked())
        m_sessions.ExecuteOnServer(
            slot, backupDatabaseStatement(m_form.txtDB->text(), m_form.txtBackupDrive->text()));
    m_sessions.ExecuteOnServer(slot, backupLogStatement(m_form.txtDB->text(), m_form.txtBackupDrive->text()));
    RefreshBackupFileLists(m_form);
}

void Backup::cmdCopy_Click(int index) {
    Hourglass hourglass;
    m_form.txtBuffer->setFocus();
    QCoreApplication::processEvents();
    try {
        forCurrentOrAllDatabases(m_form, index, [this, index] { copyCurrent(index); });
    } catch (const CopyFailed &failure) {
        hourglass.restore();
        m_log.LogLine(failure.description + QLatin1Char(' ') + m_form.txtDB->text());
    }
}

void Backup::copyCurrent(int index) {
    if (!databaseNamed(m_form, m_log))
        return;
    const CopyDirection direction = copyDirectionOf(index);
    if (!m_form.chkLogOnly->isChecked())
        copyOrFail(backupCopyPaths(m_form.txtDB->text(), BackupKind::Full, direction));
    copyOrFail(backupCopyPaths(m_form.txtDB->text(), BackupKind::Log, direction));
    m_log.LogLine(QStringLiteral("Copied"));
    RefreshBackupFileLists(m_form);
}

} // namespace quorix
