#include "gui/app/frmMain.h"

#include "Version.h"
#include "core/audit/Journal.h"
#include "core/db/ServerSessions.h"
#include "core/settings/PasswordStore.h"
#include "core/settings/SettingsStore.h"
#include "gui/app/FormBuilder.h"
#include "gui/app/RememberedBoxes.h"
#include "gui/app/SaveLog.h"
#include "gui/app/ScriptOnlySwitch.h"
#include "gui/app/ShareSettings.h"
#include "gui/dbautils/SpeedTest.h"
#include "gui/dbautils/SqlToStringTab.h"
#include "gui/masking/Anonymizer.h"
#include "gui/masking/AnonymizerDefault.h"
#include "gui/masking/RecordRangeCopy.h"
#include "gui/mirroring/AttachDetach.h"
#include "gui/mirroring/Backup.h"
#include "gui/mirroring/MirrorRestore.h"
#include "gui/mirroring/MirroringScripts.h"
#include "gui/mirroring/Partnering.h"
#include "gui/restore/BackupRenames.h"
#include "gui/restore/FolderRestore.h"
#include "gui/shares/NetworkShares.h"
#include "gui/status/MirroringStatus.h"
#include "gui/status/Preflight.h"
#include "gui/tablecopy/CopyToNew2.h"
#include "gui/tablecopy/RecordCopy.h"
#include "gui/tablecopy/SecondDb.h"
#include "gui/tablecopy/TableMaintenance.h"
#include "gui/ui/BackupFileLists.h"
#include "gui/ui/DatabaseLists.h"
#include "gui/ui/Echo.h"
#include "gui/ui/Hourglass.h"
#include "gui/ui/LogPanes.h"
#include "gui/ui/Operations.h"
#include "gui/ui/RunAside.h"
#include "gui/ui/WindowHost.h"
#include "gui/ui/widgets/FileList.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QIcon>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSplitter>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <exception>

namespace quorix {

namespace {

constexpr int kRestoreDirTab = 5;
constexpr int kTypingPauseMs = 300;

// Start-up from step 6 on: a step that fails is skipped and the next one runs.
template <typename Step> void skipOnFailure(Step &&step) {
    try {
        step();
    } catch (...) {
    }
}

} // namespace

frmMain::frmMain(QWidget *parent) : QMainWindow(parent) {
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("QUORIX DB Tools"));
    setWindowIcon(applicationIcon());
    m_form.frmMain = this;
    buildLayout();
    createTimers();
    statusBar()->showMessage(QString());
    Operations::setWindow(this);

    // The store is opened for each new window, so it follows the environment it is created in.
    settings().open();
    settings().setProblemHandler([this](const QString &problem) { logSettingsProblem(problem); });
    passwords().reopen();
    passwords().setNoteHandler([this](const QString &note) { logSettingsProblem(note); });
    rememberBoxes(m_form, settings());
    connectSharesToWindow(m_form);

    // A share that does not answer costs its time-out on every read, so the folder is read once typing
    // pauses rather than at every keystroke. An operation started meanwhile reads it first.
    m_restoreDirPause = new QTimer(this);
    m_restoreDirPause->setSingleShot(true);
    m_restoreDirPause->setInterval(kTypingPauseMs);
    connect(m_restoreDirPause, &QTimer::timeout, this, [this] { txtRestoreDir_Change(); });
    connect(m_form.txtRestoreDir, &QLineEdit::textChanged, m_restoreDirPause, qOverload<>(&QTimer::start));
    Operations::setBeforeEach([this] { readRestoreDirNow(); });
    connect(m_form.SSTab1, &QTabWidget::currentChanged, this, [this](int tab) { SSTab1_Click(tab); });
    wireFeatures();
}

frmMain::~frmMain() {
    Operations::setBeforeEach({});
    settings().setProblemHandler({});
    passwords().setNoteHandler({});
}

void frmMain::buildLayout() {
    Form &f = m_form;
    f.SSTab1 = new QTabWidget;
    f.SSTab1->setObjectName(QStringLiteral("SSTab1"));
    f.SSTab1->setUsesScrollButtons(false);
    const auto blank = QStringLiteral(" ");
    f.SSTab1->addTab(buildMainToolsTab(f), QStringLiteral("Main Tools"));
    f.SSTab1->addTab(buildCopyTab(f), QStringLiteral("Copy"));
    f.SSTab1->addTab(buildTxtTab(f), QStringLiteral("txt"));
    f.SSTab1->addTab(buildRestoreTab(f), QStringLiteral("Restore"));
    f.SSTab1->addTab(buildTestTab(f), QStringLiteral("TEST"));
    f.SSTab1->addTab(buildRestoreDirTab(f), QStringLiteral("Restore Dir"));
    f.SSTab1->addTab(buildOptionsTab(f), QStringLiteral("Options"));
    f.SSTab1->addTab(buildMirroringTab(f), QStringLiteral("Mirroring"));
    f.SSTab1->addTab(buildSqlToStringTab(f), QStringLiteral("SQL to String"));
    f.SSTab1->addTab(buildAnonymizeTab(f), QStringLiteral("Anonymize"));
    f.SSTab1->addTab(buildEmptyTab(), blank);
    f.SSTab1->addTab(buildEmptyTab(), blank);
    f.SSTab1->addTab(buildWorkListTab(f), blank);
    f.SSTab1->addTab(buildTableSizesTab(f), blank);
    f.SSTab1->addTab(buildStatusTab(f), QStringLiteral("Status"));

    auto *left = new QSplitter(Qt::Vertical);
    left->addWidget(f.SSTab1);
    left->addWidget(buildLogPanel(f));
    left->setStretchFactor(0, 3);
    left->setStretchFactor(1, 2);
    left->setChildrenCollapsible(false);

    auto *central = new QSplitter(Qt::Horizontal);
    central->addWidget(left);
    central->addWidget(buildDatabasePanel(f));
    central->setStretchFactor(0, 5);
    central->setStretchFactor(1, 2);
    central->setChildrenCollapsible(false);
    central->setContentsMargins(6, 6, 6, 0);
    setCentralWidget(central);
    resize(1440, 900);
}

void frmMain::createTimers() {
    // Timer1 never fires by itself; its handler runs through RefreshBackupFileLists().
    m_form.Timer1 = new QTimer(this);
    m_form.Timer1->setObjectName(QStringLiteral("Timer1"));
    m_form.Timer1->setInterval(10000);
    connect(m_form.Timer1, &QTimer::timeout, this, [this] { Timer1_Timer(); });

    m_form.tmrDoEv = new QTimer(this);
    m_form.tmrDoEv->setObjectName(QStringLiteral("tmrDoEv"));
    m_form.tmrDoEv->setInterval(1000);
    connect(m_form.tmrDoEv, &QTimer::timeout, this, [] { QCoreApplication::processEvents(); });
    m_form.tmrDoEv->start();
}

void frmMain::wireFeatures() {
    // Each feature gets the controls it needs and connects its own handlers. Add one line per feature here;
    // a feature that lists databases also sets refreshDatabases.
    m_log = std::make_unique<LogPanes>(m_form.txtLog, m_form.txtErrs);
    m_sessionHost = std::make_unique<WindowHost>(m_form);
    m_journal = std::make_unique<Journal>(*m_log);
    m_journal->setKeepDays(settings()
                               .read(QStringLiteral("MAIN"), QStringLiteral("journal_days"),
                                     QString::number(Journal::kDefaultDays))
                               .toInt());
    m_journal->setControl([] { return Operations::current(); });
    m_sessions = std::make_unique<ServerSessions>(*m_sessionHost, *m_log);
    m_sessions->setJournal(m_journal.get());
    wireSessionButtons(m_form, *m_sessions);
    m_scriptOnly = std::make_unique<ScriptOnlySwitch>(m_form, *m_sessions, *m_log, statusBar());
    m_saveLog = std::make_unique<SaveLog>(m_form, *m_log);
    // Cancel also stops a copy between the backup shares (the sessions cancel the running statement).
    connect(m_form.cmdCancel, &QPushButton::clicked, this, [] { cancelAside(); });
    m_shares = std::make_unique<NetworkShares>(m_form, *m_log);
    m_lists = std::make_unique<DatabaseLists>(m_form, *m_sessions, *m_log);
    refreshDatabases = [this](int slot) { m_lists->cmdRefreshDB_Click(slot); };
    m_sqlToString = std::make_unique<SqlToStringTab>(m_form);
    m_anonymizerDefault = std::make_unique<AnonymizerDefault>(m_form);
    m_scripts = std::make_unique<MirroringScripts>(m_form, *m_sessions, *m_log);
    m_attachDetach = std::make_unique<AttachDetach>(m_form, *m_sessions);
    m_backup = std::make_unique<Backup>(m_form, *m_sessions, *m_log);
    m_mirrorRestore = std::make_unique<MirrorRestore>(m_form, *m_sessions, *m_log, *m_lists, m_restoreFiles);
    m_partnering = std::make_unique<Partnering>(m_form, *m_sessions, *m_log, *m_lists);
    m_backupRenames = std::make_unique<BackupRenames>(m_form, *m_log);
    m_folderRestore = std::make_unique<FolderRestore>(m_form, *m_sessions, *m_log, *m_lists, m_restoreFiles);
    m_speedTest = std::make_unique<SpeedTest>(m_form, *m_log);
    m_status = std::make_unique<MirroringStatus>(m_form, *m_sessions, *m_log);
    m_preflight = std::make_unique<Preflight>(m_form, *m_sessions, *m_log);
    m_recordCopy = std::make_unique<RecordCopy>(m_form, *m_sessions, *m_log);
    m_copyToNew2 = std::make_unique<CopyToNew2>(m_form, *m_sessions, *m_log, *m_recordCopy);
    m_secondDb = std::make_unique<SecondDb>(m_form, *m_sessions, *m_log);
    m_tableMaintenance = std::make_unique<TableMaintenance>(m_form, *m_sessions, *m_log);
    m_recordRangeCopy = std::make_unique<RecordRangeCopy>(m_form, *m_sessions, *m_log, *m_lists);
    m_anonymizer = std::make_unique<Anonymizer>(m_form, *m_sessions, *m_log);
}

void frmMain::logSettingsProblem(const QString &problem) {
    // Reported before the sessions exist too, so straight into the pane.
    prependLine(m_form.txtLog, problem);
    Echo::log(problem);
}

void frmMain::useRunPassword(int slot, const QString &password) {
    m_runPasswords.at(static_cast<size_t>(slot)) = password;
}

void frmMain::acceptFingerprint(int slot, const QString &sha256) {
    m_sessionHost->acceptFingerprint(slot, sha256);
}

void frmMain::Form_Load() {
    if (m_loaded)
        return;
    m_loaded = true;
    // Start-up contacts the servers like any operation: a button pressed meanwhile is refused, not run
    // in between on the same sessions.
    Operations::run(QStringLiteral("start-up"), [this] { runStartUp(); });
}

void frmMain::closeEvent(QCloseEvent *event) {
    // Closing would leave the running statement and the rest of an ALL DBS walk to a window that is gone.
    if (Operations::busy()) {
        event->ignore();
        statusBar()->showMessage(
            QStringLiteral("%1 is still running: STOP or Cancel it, then close the window.")
                .arg(Operations::current()));
        return;
    }
    QMainWindow::closeEvent(event);
}

void frmMain::runStartUp() {
    Form &f = m_form;
    SettingsStore &store = settings();

    // 1, 2: show the first tab and paint before any server is contacted.
    f.SSTab1->setCurrentIndex(0);
    show();
    QCoreApplication::processEvents();
    Hourglass hourglass;
    if (!store.openProblem().isEmpty())
        logSettingsProblem(store.openProblem());

    // 3: the shell services are created by the shares layer on first use.

    // 4: the server boxes, after the passwords an older version left in the settings went to the credential
    // store.
    passwords().moveFromSettings(rememberedSecrets());
    for (int s = 0; s < 2; ++s)
        for (const char *box : {"txtPW", "txtServer", "txtServerPW", "txtServerUser", "txtLogDrive",
                                "txtLogin", "chkWindowsAuth", "cboEncryption"})
            loadRemembered(f, store, box, s);
    // A password handed to this run takes the remembered one's place, unremembered.
    for (int s = 0; s < 2; ++s)
        if (const auto &given = m_runPasswords[static_cast<size_t>(s)]) {
            const QSignalBlocker unremembered(f.txtPW[static_cast<size_t>(s)]);
            f.txtPW[static_cast<size_t>(s)]->setText(*given);
        }
    // The speed test's connection string names the Main server just loaded.
    m_speedTest->useMainServer();

    // 5: list the databases of each server that has a password and a login (or logs in by Windows
    // authentication, which needs neither); the listing reports its own failures. An empty server or Login
    // box names no server or login to use: the attempt could only be refused, with a message at every start.
    for (int s = 0; s < 2; ++s) {
        const auto i = static_cast<size_t>(s);
        const bool signIn = f.chkWindowsAuth[i]->isChecked() ||
                            (!f.txtPW[i]->text().isEmpty() && !f.txtLogin[i]->text().trimmed().isEmpty());
        if (signIn && !f.txtServer[i]->text().trimmed().isEmpty() && refreshDatabases)
            skipOnFailure([&] { refreshDatabases(s); });
    }

    // 6 onwards: a failing step is skipped.
    // 7: the servers' backup shares. An empty server box names no share, so there is nothing to read.
    skipOnFailure([&] {
        const QString main = f.txtServer[0]->text();
        const QString mirror = f.txtServer[1]->text();
        if (!main.isEmpty()) {
            f.File1->setPath(QStringLiteral("\\\\") + main + QStringLiteral("\\backup"));
            f.FileA->setPath(QStringLiteral("\\\\") + main + QStringLiteral("\\backup\\MIR"));
        }
        if (!mirror.isEmpty())
            f.FileB->setPath(QStringLiteral("\\\\") + mirror + QStringLiteral("\\backup\\MIR"));
    });
    // 8: restore drives; an empty one becomes D.
    skipOnFailure([&] {
        for (int n = 0; n < 6; ++n)
            loadRemembered(f, store, "txtRestoreTO", n);
    });
    // 9
    skipOnFailure([&] { loadRemembered(f, store, "txtBackupDrive"); });
    // 10: only a stored list replaces the built-in one.
    skipOnFailure([&] { loadRemembered(f, store, "txtLastNames"); });
    skipOnFailure([&] { loadRemembered(f, store, "txtFirstnames"); });
    // 11: the remembered work list, or the default one.
    skipOnFailure([&] {
        if (!loadRemembered(f, store, "txtATables"))
            m_anonymizerDefault->cmdDefault_Click();
    });
    // 12
    setWindowTitle(windowTitle() + QStringLiteral("  v.") + QString::number(kRevision));
    // 13
    f.SSTab2->setCurrentIndex(0);
    // 14: the hourglass ends with this scope.
}

void frmMain::Timer1_Timer() {
    RefreshBackupFileLists(m_form);
}

void frmMain::readRestoreDirNow() {
    if (m_restoreDirPause->isActive())
        txtRestoreDir_Change();
}

void frmMain::txtRestoreDir_Change() {
    m_restoreDirPause->stop();
    // A folder that cannot be read leaves the lists as they were.
    const QString folder = m_form.txtRestoreDir->text();
    m_form.File2[0]->setPath(folder);
    m_form.File2[1]->setPath(folder);
}

void frmMain::SSTab1_Click(int tab) {
    if (tab == kRestoreDirTab)
        txtRestoreDir_Change();
}

QWidget *frmMain::control(const QString &name) const {
    if (name == objectName())
        return const_cast<frmMain *>(this);
    return findChild<QWidget *>(name);
}

} // namespace quorix
