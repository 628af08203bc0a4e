#pragma once

// "Pre-flight": the checklist a DBA runs before mirroring is set up, written to the log one line per
// check, "ok" or "FAIL" with what fixes it. It reads both servers (on connections of its own, with the
// sessions' logins), the current database or, with ALL DBS, each of Main's list, and tries the backup
// shares X:\MIR\ and Y:\MIR\ through the shares layer. Nothing is changed on a server; on each share it
// writes one small probe file, under a copy's temporary name that no file list shows, overwritten by the
// next check. Under Script only the shares are listed and not written to.

#include "core/status/PreflightChecks.h"

#include <QString>
#include <vector>

namespace quorix {

struct Form;
class ServerSessions;
class LogPanes;

class Preflight {
public:
    Preflight(Form &form, ServerSessions &sessions, const LogPanes &log);

    void cmdPreflight_Click();
    // The checklist of the last check, as its lines were logged (automation prints it as JSON).
    const std::vector<status::CheckLine> &lastChecks() const { return m_lastChecks; }

    // The probe's name in each share's MIR folder.
    static QString probeName();

private:
    status::ShareFacts tryShare(int slot);
    QStringList databasesToCheck() const;
    // Who the slot's session logs in as and its encryption choice; the certificate its server presents.
    void sessionFacts(int slot, status::ServerFacts &facts) const;
    QString presentedFingerprint(int slot) const;

    Form &m_form;
    ServerSessions &m_sessions;
    const LogPanes &m_log;
    std::vector<status::CheckLine> m_lastChecks;
};

} // namespace quorix
