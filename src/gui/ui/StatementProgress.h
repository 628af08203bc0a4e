#pragma once

// Where a long BACKUP or RESTORE stands, while it runs: every 2 s, from 2 s after it starts, a short-lived
// monitor connection of the same login reads percent_complete and estimated_completion_time of the session's
// request (found by the workstation name, process id and program name the driver sent for both), and the
// status bar shows "BACKUP DATABASE Billing: 37 % — about 2 min left" (the window title leads with the
// percentage, so a minimised window still tells). Where the server reports nothing or refuses the read (no
// VIEW SERVER STATE permission), it shows the elapsed time instead: "... 3:12 elapsed". The statement itself
// is not touched, and a failing monitor is never counted as a failure.
//
// The monitor runs on a thread of its own and hands its figures back through the window's event loop;
// it is opened with the first read and closed when the statement ends (the object goes).

#include "core/db/ConnectionTarget.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <memory>

class QTimer;

namespace quorix {

class DbWorker;
struct Form;

// For statements the monitor follows: BACKUP or RESTORE, whatever the case and leading blanks.
bool isLongStatement(const QString &sql);
// "BACKUP DATABASE Billing" from "BACKUP DATABASE Billing TO DISK = ...": the statement's first three
// words, blanks folded, a bracketed name kept whole.
QString longStatementLabel(const QString &sql);
// The status bar's text: with a percentage "L: 37 % — about 2 min left" (seconds under a minute), else
// "L: 3:12 elapsed".
QString progressText(const QString &label, double percent, qint64 msLeft, qint64 msElapsed);
// The read sent on the monitor connection: the BACKUP or RESTORE request of the session that has the same
// workstation name, client process id and program name as the monitor's own session (itself excluded),
// which is this process's session on that server.
QString progressQuery();

class StatementProgress : public QObject {
    Q_OBJECT
public:
    static constexpr int kIntervalMs = 2000; // between reads of the server's figures
    static constexpr int kShowMs = 500;      // between updates of the status bar

    StatementProgress(Form &form, const ConnectionTarget &target, const QString &sql);
    ~StatementProgress() override;

private:
    struct Monitor;
    void read(); // posts a read unless one is under way
    void poll();
    void show(double percent, qint64 msLeft); // percent < 0: nothing reported

    Form &m_form;
    QString m_label;
    QString m_title;
    QString m_before; // the status bar's message before, shown again after
    QElapsedTimer m_elapsed;
    std::shared_ptr<Monitor> m_monitor;
    std::unique_ptr<DbWorker> m_worker; // the monitor's thread
    QTimer *m_timer = nullptr;
    int m_ticks = 0;
};

} // namespace quorix
