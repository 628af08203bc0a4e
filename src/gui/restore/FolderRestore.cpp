#include "gui/restore/FolderRestore.h"

#include "core/db/ServerSessions.h"
#include "core/restore/BackupRename.h"
#include "core/restore/FolderRestoreSql.h"
#include "gui/ui/DatabaseLists.h"
#include "gui/ui/DatabaseWalk.h"
#include "gui/ui/Form.h"
#include "gui/ui/LogPanes.h"
#include "gui/ui/Operations.h"
#include "gui/ui/RestoreFileList.h"
#include "gui/ui/widgets/FileList.h"

#include <QLineEdit>
#include <QMainWindow>
#include <QPushButton>

namespace quorix {

namespace {

constexpr int kMain = 0;

} // namespace

FolderRestore::FolderRestore(Form &form, ServerSessions &sessions, const LogPanes &log, DatabaseLists &lists,
                             RestoreFileList &files)
    : m_form(form), m_sessions(sessions), m_log(log), m_lists(lists), m_files(files) {
    Operations::onClick(m_form.cmdRestoreMain, [this] { cmdRestoreMain_Click(); });
    Operations::onClick(m_form.cmdRestoretoMain, [this] { cmdRestoretoMain_Click(); });
    QObject::connect(m_form.File1, &FileList::doubleClicked1, m_form.File1,
                     [this] { Operations::run(QStringLiteral("File1"), [this] { File1_DblClick(); }); });
}

void FolderRestore::cmdRestoreMain_Click() {
    walk(m_form.File1->entries(), [this](const QString &name) { RestoreBackupFile(name); });
}

void FolderRestore::File1_DblClick() {
    const int index = m_form.File1->listIndex();
    if (index >= 0)
        RestoreBackupFile(m_form.File1->list(index));
}

void FolderRestore::RestoreBackupFile(const QString &fileName) {
    restoreFile(kMainBackupFolder, fileName, true);
}

void FolderRestore::cmdRestoretoMain_Click() {
    const QStringList names = m_form.File2[0]->entries();
    if (names.isEmpty())
        return;
    // The server would read an empty folder as its own default backup folder, which may hold other backups
    // of these databases.
    const QString typed = m_form.txtRestoreDir->text();
    if (typed.trimmed().isEmpty()) {
        m_log.LogLine(QStringLiteral("Nothing restored: no restore folder given"));
        return;
    }
    const QString folder = withClosingBackslash(typed);
    walk(names, [this, &folder](const QString &name) { restoreFile(folder, name, false); });
}

void FolderRestore::walk(const QStringList &names, const std::function<void(const QString &)> &restore) {
    walkNames(
        m_form, m_sessions, names,
        [&restore](const QString &name) {
            restore(name);
            return WalkOn::Next;
        },
        {.stopOnStop = true, .untickStop = true, .followAll = false}, databaseNameOfBackupFile);
}

void FolderRestore::restoreFile(const QString &folder, const QString &fileName, bool reloadList) {
    const QString db = databaseNameOfBackupFile(fileName);
    if (db.isEmpty()) {
        m_log.LogLine(QStringLiteral("No database name in backup file ") + fileName +
                      QStringLiteral(", not restored"));
        return;
    }
    m_form.txtDB->setText(db);
    // The listed file itself, also when its name holds more dots than the one before "bak".
    const QString stem = backupStemOf(fileName);
    const QString path = folder + stem + QStringLiteral(".bak");
    m_files.read(m_sessions, m_log, kMain, stem, folder);
    // Without its file list the backup would be restored over whatever files its recorded paths name on
    // Main. A backup always holds at least one file, so an empty list is one that could not be read.
    if (m_files.isEmpty()) {
        m_log.LogLine(QStringLiteral("Not restored, its file list could not be read: ") + path);
        return;
    }
    // Log files go into \db\ beside the data files, whatever the log drive box holds.
    const QString moves = moveList(m_files.entries(), restoreDataDrive(m_form, db, kMain), QString());
    m_sessions.ExecuteOnServer(kMain, restoreOntoMainStatement(db, path, moves));
    if (reloadList)
        m_lists.cmdRefreshDB_Click(kMain);
}

} // namespace quorix
