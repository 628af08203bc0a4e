#include "gui/ui/StatementProgress.h"

#include "core/db/DbError.h"
#include "core/db/DbWorker.h"
#include "core/db/Recordset.h"
#include "core/db/ServerConnection.h"
#include "gui/ui/Form.h"

#include <QMainWindow>
#include <QRegularExpression>
#include <QStatusBar>
#include <QTimer>
#include <atomic>
#include <cmath>
#include <mutex>

namespace quorix {

bool isLongStatement(const QString &sql) {
    static const QRegularExpression first(QStringLiteral("^\\s*(BACKUP|RESTORE)\\b"),
                                          QRegularExpression::CaseInsensitiveOption);
    return first.match(sql).hasMatch();
}

QString longStatementLabel(const QString &sql) {
    // A word is a bracketed name (closing brackets doubled inside) or a run of non-blanks.
    static const QRegularExpression word(QStringLiteral("\\[(?:[^\\]]|\\]\\])*\\]|\\S+"));
    QStringList words;
    for (auto it = word.globalMatch(sql); it.hasNext() && words.size() < 3;)
        words << it.next().captured();
    return words.join(QLatin1Char(' '));
}

QString progressText(const QString &label, double percent, qint64 msLeft, qint64 msElapsed) {
    if (percent <= 0) {
        const qint64 s = msElapsed / 1000;
        const QString clock = s >= 3600
                                  ? QStringLiteral("%1:%2:%3")
                                        .arg(s / 3600)
                                        .arg(s / 60 % 60, 2, 10, QLatin1Char('0'))
                                        .arg(s % 60, 2, 10, QLatin1Char('0'))
                                  : QStringLiteral("%1:%2").arg(s / 60).arg(s % 60, 2, 10, QLatin1Char('0'));
        return label + QStringLiteral(": ") + clock + QStringLiteral(" elapsed");
    }
    const qint64 s = (msLeft + 999) / 1000;
    const QString left = s < 60 ? QStringLiteral("about %1 s left").arg(s)
                                : QStringLiteral("about %1 min left").arg((s + 30) / 60);
    return label + QStringLiteral(": %1 % \u2014 ").arg(static_cast<int>(std::floor(percent))) + left;
}

QString progressQuery() {
    // The monitor is opened by this process on this machine with the session's connection string, so the
    // driver sends the same workstation name, process id and program name at both logins: the session is
    // the one that matches the monitor's own in all three. A process id alone also matches another client
    // that happens to have the same one on another machine.
    return QStringLiteral(
        "SELECT r.percent_complete, r.estimated_completion_time FROM sys.dm_exec_requests r "
        "JOIN sys.dm_exec_sessions s ON s.session_id = r.session_id "
        "JOIN sys.dm_exec_sessions me ON me.session_id = @@SPID "
        "WHERE s.host_name = me.host_name AND s.host_process_id = me.host_process_id "
        "AND s.program_name = me.program_name AND r.session_id <> @@SPID "
        "AND (r.command LIKE 'BACKUP%' OR r.command LIKE 'RESTORE%')");
}

// What the monitor's thread and the window share: the connection and the latest figures.
struct StatementProgress::Monitor {
    ConnectionTarget target;
    ServerConnection connection;
    std::mutex mutex;
    double percent = -1; // -1: nothing reported (yet), or the read was refused
    qint64 msLeft = 0;
    std::atomic<bool> reading{false};
    std::atomic<bool> stopped{false};

    void read() {
        double p = -1;
        qint64 left = 0;
        try {
            if (!connection.isOpen()) {
                connection.setCommandTimeout(5);
                connection.open(target);
            }
            Recordset rs;
            rs.open(connection, progressQuery());
            if (!rs.eof()) {
                p = rs.value(0).toDouble();
                left = rs.value(1).toLongLong();
            }
        } catch (const DbError &) {
            // Refused or unreachable: the window shows the elapsed time, and the statement is unaffected.
        }
        std::lock_guard lock(mutex);
        percent = p;
        msLeft = left;
    }
};

StatementProgress::StatementProgress(Form &form, const ConnectionTarget &target, const QString &sql)
    : m_form(form), m_label(longStatementLabel(sql)), m_monitor(std::make_shared<Monitor>()),
      m_worker(std::make_unique<DbWorker>()) {
    m_monitor->target = target;
    m_elapsed.start();
    if (m_form.frmMain) {
        m_title = m_form.frmMain->windowTitle();
        m_before = m_form.frmMain->statusBar()->currentMessage(); // a walk's "3 of 12: Billing"
    }
    m_timer = new QTimer(this);
    connect(m_timer, &QTimer::timeout, this, &StatementProgress::poll);
    // The first read waits one interval: a statement done by then never opens a monitor connection.
    m_timer->start(kShowMs);
    show(-1, 0);
}

StatementProgress::~StatementProgress() {
    m_timer->stop();
    m_monitor->stopped = true;
    m_monitor->connection.cancel();
    m_worker.reset(); // finishes the read under way; later ones see stopped
    m_monitor->connection.close();
    if (m_form.frmMain) {
        m_form.frmMain->statusBar()->showMessage(m_before);
        m_form.frmMain->setWindowTitle(m_title);
    }
}

void StatementProgress::read() {
    if (m_monitor->reading.exchange(true))
        return; // the last read is still under way
    m_worker->post([monitor = m_monitor] {
        if (!monitor->stopped)
            monitor->read();
        monitor->reading = false;
    });
}

void StatementProgress::poll() {
    double percent = -1;
    qint64 left = 0;
    {
        std::lock_guard lock(m_monitor->mutex);
        percent = m_monitor->percent;
        left = m_monitor->msLeft;
    }
    show(percent, left);
    if (++m_ticks % (kIntervalMs / kShowMs) == 0)
        read();
}

void StatementProgress::show(double percent, qint64 msLeft) {
    if (!m_form.frmMain)
        return;
    m_form.frmMain->statusBar()->showMessage(progressText(m_label, percent, msLeft, m_elapsed.elapsed()));
    m_form.frmMain->setWindowTitle(
        percent > 0 ? QStringLiteral("%1 % ").arg(static_cast<int>(std::floor(percent))) + m_title : m_title);
}

} // namespace quorix
