#pragma once

// The "Status" tab: both servers' databases side by side in GridStatus (state, mirroring role and state,
// safety, partner, the log not yet sent or redone and the rates), each row judged and, where it needs
// action, given a hint that names the button or statement that mends it. "Refresh" reads once; "every
// 10 s" reads again every ten seconds while the tab is shown. Only reads are sent, on connections of
// their own (ServerReads), so a server that is down shows in the grid and the log, not in a message box.

#include "status/ServerReads.h"
#include "status/StatusRows.h"

#include <QElapsedTimer>
#include <QObject>
#include <QStringList>
#include <array>
#include <optional>

namespace quorix {

struct Form;
class ServerSessions;
class LogPanes;

class MirroringStatus : public QObject {
    Q_OBJECT
public:
    // Rates need two readings of the counters: a server read for the first time is read again after this.
    static constexpr int kRatePauseMs = 1000;

    MirroringStatus(Form &form, ServerSessions &sessions, const LogPanes &log, QObject *parent = nullptr);
    ~MirroringStatus() override;

    void cmdStatusRefresh_Click();
    void chkStatusAuto_Click();

private:
    struct Reading {
        bool ok = false;
        QStringList names;
        status::Databases databases;
        status::CounterReading counters;
        std::optional<status::CounterReading> before; // the reading the rates are taken against
        double seconds = 0;
    };
    struct Sample {
        status::CounterReading counters;
        QElapsedTimer taken;
    };

    void readServer(int slot, Reading &reading);
    void readCounters(int slot, Reading &reading);
    void noteFailure(int slot, const QString &description);
    void timerTick();

    Form &m_form;
    const LogPanes &m_log;
    status::ServerReads m_reads;
    std::array<std::optional<Sample>, 2> m_last; // the counters each server gave last
    std::array<QString, 2> m_lastFailure;        // logged once until it changes or the server answers
};

} // namespace quorix
