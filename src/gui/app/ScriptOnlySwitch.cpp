#include "gui/app/ScriptOnlySwitch.h"

#include "core/db/ScriptOnly.h"
#include "core/db/ServerSessions.h"
#include "core/shares/Gate.h"
#include "gui/ui/Form.h"
#include "gui/ui/LogPanes.h"
#include "gui/ui/Operations.h"
#include "gui/ui/Prompt.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QLabel>
#include <QMainWindow>
#include <QPointer>
#include <QPushButton>
#include <QStatusBar>
#include <QThread>

namespace quorix {

ScriptOnlySwitch::ScriptOnlySwitch(Form &form, ServerSessions &sessions, const LogPanes &log,
                                   QStatusBar *statusBar)
    : m_form(form), m_log(log) {
    m_form.lblScriptOnly = new QLabel(QLatin1String(kStatusText));
    m_form.lblScriptOnly->setObjectName(QStringLiteral("lblScriptOnly"));
    m_form.lblScriptOnly->setStyleSheet(
        QStringLiteral("QLabel { background: #d00000; color: white; font-weight: bold; padding: 1px 8px; }"));
    m_form.lblScriptOnly->setVisible(false);
    statusBar->addPermanentWidget(m_form.lblScriptOnly);

    sessions.connection(0).setServerName(QStringLiteral("Main"));
    sessions.connection(1).setServerName(QStringLiteral("Mirror"));
    // A reader or monitor beside a session connects with the session's string: named after it.
    scriptOnly().setServerNames([&sessions](const QString &connectionString) {
        for (int slot = 0; slot < 2; ++slot)
            if (connectionString == sessions.connectionString(slot))
                return slot == 0 ? QStringLiteral("Main") : QStringLiteral("Mirror");
        return QString();
    });
    // Collected from a worker thread too (a copy aside): the pane is written on the window's thread.
    QPointer<QLabel> alive = m_form.lblScriptOnly;
    scriptOnly().setLog([this, alive](const QString &line) {
        if (QThread::currentThread() == thread()) {
            m_log.LogLine(line);
            return;
        }
        QMetaObject::invokeMethod(
            alive.data(),
            [this, alive, line] {
                if (alive)
                    m_log.LogLine(line);
            },
            Qt::QueuedConnection);
    });
    scriptOnly().setActive(false);
    scriptOnly().clear();

    // Ticking is not an operation: it stays live while one runs and takes effect at its next statement.
    connect(m_form.chkScriptOnly, &QCheckBox::toggled, this, [this](bool on) { chkScriptOnly_Click(on); });
    Operations::onClick(m_form.cmdSaveScript, [this] { cmdSaveScript_Click(); });
}

ScriptOnlySwitch::~ScriptOnlySwitch() {
    shares::setCollector({});
    scriptOnly().setActive(false);
    scriptOnly().setLog({});
    scriptOnly().setServerNames({});
}

void ScriptOnlySwitch::chkScriptOnly_Click(bool ticked) {
    if (ticked) {
        scriptOnly().clear();
        shares::setCollector(
            [](const std::string &what) { scriptOnly().collectFileOperation(QString::fromStdString(what)); });
    } else {
        shares::setCollector({});
    }
    scriptOnly().setActive(ticked);
    m_form.lblScriptOnly->setVisible(ticked);
}

void ScriptOnlySwitch::cmdSaveScript_Click() {
    if (Prompt::scripted()) {
        Prompt::msgBox(QStringLiteral("Use --save-script FILE to save the script in a scripted run."));
        return;
    }
    const QString path = QFileDialog::getSaveFileName(m_form.frmMain, QStringLiteral("Save script"),
                                                      QString(), QStringLiteral("SQL scripts (*.sql)"));
    if (path.isEmpty())
        return;
    const QString problem = scriptOnly().save(path);
    m_log.LogLine(problem.isEmpty() ? QStringLiteral("Script saved to ") + path : problem);
}

} // namespace quorix
