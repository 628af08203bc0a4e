#pragma once

// The main window. It builds every control (filling the Form record), keeps the remembered boxes in the
// settings store, runs start-up, owns the two timers and the feature objects, and holds no operation logic:
// each feature connects its own handlers to its own buttons (see wireFeatures()).

#include "gui/ui/Form.h"
#include "gui/ui/RestoreFileList.h"

#include <QMainWindow>
#include <QTimer>
#include <array>
#include <functional>
#include <memory>
#include <optional>

namespace quorix {

class AnonymizerDefault;
class Journal;
class SaveLog;
class AttachDetach;
class BackupRenames;
class DatabaseLists;
class FolderRestore;
class LogPanes;
class MirroringScripts;
class Backup;
class MirrorRestore;
class MirroringStatus;
class NetworkShares;
class Partnering;
class Preflight;
class ScriptOnlySwitch;
class RecordRangeCopy;
class Anonymizer;
class ServerSessions;
class SpeedTest;
class RecordCopy;
class CopyToNew2;
class SecondDb;
class TableMaintenance;
class SqlToStringTab;
class WindowHost;

class frmMain : public QMainWindow {
    Q_OBJECT
public:
    explicit frmMain(QWidget *parent = nullptr);
    ~frmMain() override;

    Form &form() { return m_form; }
    const Form &form() const { return m_form; }

    // Start-up: shows the window, loads the remembered boxes, lists the databases of each server that has a
    // password, points the file lists at the servers' shares and fills in the defaults. Runs once.
    void Form_Load();
    bool loaded() const { return m_loaded; }

    // Lists one slot's databases ("RefreshDB"). Start-up calls it for each slot whose password box is not
    // empty. It stays empty until the database-list feature sets it in wireFeatures(); while empty, start-up
    // contacts no server.
    std::function<void(int slot)> refreshDatabases;

    const LogPanes &log() const { return *m_log; }
    // The audit journal of what the sessions send (its folder: --journal-dir, else the user's data folder).
    Journal &journal() { return *m_journal; }
    RecordCopy &recordCopy() { return *m_recordCopy; }
    ServerSessions &sessions() { return *m_sessions; }
    // The certificate a slot's server may present when its check fails (--trust-certificate): trusted then.
    void acceptFingerprint(int slot, const QString &sha256);
    // A password for this run only (automation): start-up puts it in txtPW(slot) instead of the remembered
    // one, and it is not remembered. One typed or set afterwards is remembered as ever.
    void useRunPassword(int slot, const QString &password);
    DatabaseLists &databaseLists() { return *m_lists; }
    MirroringScripts &mirroringScripts() { return *m_scripts; }
    MirrorRestore &mirrorRestore() { return *m_mirrorRestore; }
    const Preflight &preflight() const { return *m_preflight; }

    // Reads the folder typed into txtRestoreDir now when typing has not paused long enough yet for it to be
    // read (automation does this before each step, operations before they start).
    void readRestoreDirNow();

    // A control by its name ("cmdBackup(0)", "txtDB", "SSTab1"); nullptr when there is none.
    QWidget *control(const QString &name) const;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void buildLayout();
    void createTimers();
    void wireFeatures();
    void runStartUp();
    void txtRestoreDir_Change();
    void SSTab1_Click(int tab);
    void Timer1_Timer();
    void logSettingsProblem(const QString &problem);

    Form m_form;
    bool m_loaded = false;
    std::array<std::optional<QString>, 2> m_runPasswords;
    QTimer *m_restoreDirPause = nullptr; // txtRestoreDir is read once typing pauses

    std::unique_ptr<LogPanes> m_log;           // before the features: they report to it until they are gone
    std::unique_ptr<WindowHost> m_sessionHost; // the sessions' host: boxes, message boxes, hourglass
    std::unique_ptr<Journal> m_journal;        // before the sessions, which report to it
    RestoreFileList m_restoreFiles;            // of the backup whose file list was read last, for any restore

    // Features, in the order they are wired.
    std::unique_ptr<ServerSessions> m_sessions;
    std::unique_ptr<ScriptOnlySwitch> m_scriptOnly;
    std::unique_ptr<SaveLog> m_saveLog;
    std::unique_ptr<NetworkShares> m_shares;
    std::unique_ptr<DatabaseLists> m_lists;
    std::unique_ptr<SqlToStringTab> m_sqlToString;
    std::unique_ptr<AnonymizerDefault> m_anonymizerDefault;
    std::unique_ptr<MirroringScripts> m_scripts;
    std::unique_ptr<AttachDetach> m_attachDetach;
    std::unique_ptr<Backup> m_backup;
    std::unique_ptr<MirrorRestore> m_mirrorRestore;
    std::unique_ptr<Partnering> m_partnering;
    std::unique_ptr<BackupRenames> m_backupRenames;
    std::unique_ptr<FolderRestore> m_folderRestore;
    std::unique_ptr<SpeedTest> m_speedTest;
    std::unique_ptr<MirroringStatus> m_status;
    std::unique_ptr<Preflight> m_preflight;
    std::unique_ptr<RecordCopy> m_recordCopy;
    std::unique_ptr<CopyToNew2> m_copyToNew2;
    std::unique_ptr<SecondDb> m_secondDb;
    std::unique_ptr<TableMaintenance> m_tableMaintenance;
    std::unique_ptr<RecordRangeCopy> m_recordRangeCopy;
    std::unique_ptr<Anonymizer> m_anonymizer;
};

} // namespace quorix
