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
#include <optional>

namespace quorix {

namespace {

// What went wrong, when the copy failed.
std::optional<QString> copyFailure(const CopyPaths &paths) {
    const Outcome result = copyAside(paths.source.toStdString(), paths.target.toStdString());
    if (result.ok())
        return std::nullopt;
    return QString::fromStdString(result.error());
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
    forCurrentOrAllDatabases(m_form, m_sessions, slot, [this, slot](const QString &db) {
        backupCurrent(slot, db);
        return WalkOn::Next;
    });
}

void Backup::backupCurrent(int slot, const QString &db) {
    if (!databaseNamed(db, m_log))
        return;
    // The folder is taken with the database, at the step's start: the full and the log backup of one
    // database go to one place, whatever is typed meanwhile.
    const QString folder = m_form.txtBackupDrive->text();
    if (!m_form.chkLogOnly->isChecked())
        m_sessions.ExecuteOnServer(slot, backupDatabaseStatement(db, folder));
    m_sessions.ExecuteOnServer(slot, backupLogStatement(db, folder));
    RefreshBackupFileLists(m_form);
}

void Backup::cmdCopy_Click(int index) {
    Hourglass hourglass;
    m_form.txtBuffer->setFocus();
    QCoreApplication::processEvents();
    // The first failed copy ends the whole run.
    std::optional<QString> failure;
    QString failedDb;
    forCurrentOrAllDatabases(m_form, m_sessions, index,
                             [this, index, &failure, &failedDb](const QString &db) {
                                 failure = copyCurrent(index, db);
                                 failedDb = db;
                                 return failure ? WalkOn::End : WalkOn::Next;
                             });
    if (failure) {
        hourglass.restore();
        m_log.LogLine(*failure + QLatin1Char(' ') + failedDb);
    }
}

std::optional<QString> Backup::copyCurrent(int index, const QString &db) {
    if (!databaseNamed(db, m_log))
        return std::nullopt;
    const CopyDirection direction = copyDirectionOf(index);
    if (!m_form.chkLogOnly->isChecked())
        if (std::optional<QString> failure = copyFailure(backupCopyPaths(db, BackupKind::Full, direction)))
            return failure;
    if (std::optional<QString> failure = copyFailure(backupCopyPaths(db, BackupKind::Log, direction)))
        return failure;
    m_log.LogLine(QStringLiteral("Copied"));
    RefreshBackupFileLists(m_form);
    return std::nullopt;
}

} // namespace quorix
