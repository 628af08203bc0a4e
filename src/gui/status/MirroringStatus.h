#pragma once

// The "Status" tab: both servers' databases side by side in GridStatus (state, mirroring role and state,
// safety, partner, the log not yet sent or redone and the rates), each row judged and, where it needs
// action, given a hint that names the button or statement that mends it. "Refresh" reads once; "every
// 10 s" reads again every ten seconds while the tab is shown. Only reads are sent, on connections of
// their own (StatusReader), so a server that is down shows in the grid and the log, not in a message box.

#include "core/status/StatusReading.h"

#include <QObject>
#include <QString>
#include <array>

namespace quorix {

struct Form;
class ServerSessions;
class LogPanes;

class MirroringStatus : public QObject {
    Q_OBJECT
public:
    MirroringStatus(Form &form, ServerSessions &sessions, const LogPanes &log, QObject *parent = nullptr);
    ~MirroringStatus() override;

    void cmdStatusRefresh_Click();
    void chkStatusAuto_Click();

private:
    void noteFailure(int slot, const QString &description);
    void timerTick();

    Form &m_form;
    const LogPanes &m_log;
    status::StatusReader m_reader;
    std::array<QString, 2> m_lastFailure; // logged once until it changes or the server answers
};

} // namespace quorix
