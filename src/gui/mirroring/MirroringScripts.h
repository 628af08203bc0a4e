#pragma once

// The "Mirroring" tab's four script frames: the certificate, endpoint and login set-up run on Main, on the
// Mirror and on Main again, "Reset Mirroring" run on both, and the copies of each server's exported
// certificate file into the other server's backup share.
//
//   cmdRunScript_Click(0)   txtScript1(0) on Main, then on the Mirror
//   cmdRunScript_Click(1|3) txtScript1(1|3) on Main;  cmdRunScript_Click(2) txtScript1(2) on the Mirror
//   RunScript(slot, text)   the script runner: splits at GO lines, sends batch by batch
//   cmdCopyCert_Click(0|1)  x:\MIR\SERVER1.cer -> y:\MIR\, y:\MIR\SERVER2.cer -> x:\MIR\; "done." or the
//   error

#include <QString>

namespace quorix {

struct Form;
class ServerSessions;
class LogPanes;

class MirroringScripts {
public:
    // Fills the script boxes with the default scripts (they are not remembered) and wires the buttons.
    MirroringScripts(Form &form, ServerSessions &sessions, const LogPanes &log);

    void cmdRunScript_Click(int index);
    void cmdCopyCert_Click(int index);

    // A batch the server refuses is logged by ExecuteOnServer and the run goes on; any other failure ends
    // the run with the pointer back to normal and the description logged.
    void RunScript(int slot, const QString &text);

    void fillDefaultScripts();

private:
    Form &m_form;
    ServerSessions &m_sessions;
    const LogPanes &m_log;
};

} // namespace quorix
