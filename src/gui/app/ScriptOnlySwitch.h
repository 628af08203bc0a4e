#pragma once

// The "Script only" check box and its "Save script" button: ticking it starts a dry run (ScriptOnly.h)
// with a new, empty script, makes the file operations collected rather than done (shares/Gate.h), and shows
// a status bar line that cannot be missed; unticking sends and copies again and keeps the script for
// saving. Collected statements and file operations are written to the log pane.

#include <QObject>

class QStatusBar;

namespace quorix {

struct Form;
class LogPanes;
class ServerSessions;

class ScriptOnlySwitch : public QObject {
    Q_OBJECT
public:
    static constexpr const char *kStatusText = "Script only: nothing is changed";

    ScriptOnlySwitch(Form &form, ServerSessions &sessions, const LogPanes &log, QStatusBar *statusBar);
    ~ScriptOnlySwitch() override; // switches the dry run off: it is never carried over to another window

    void chkScriptOnly_Click(bool ticked);
    // Asks for a .sql file (scripted runs: the message names --save-script) and writes the script to it.
    void cmdSaveScript_Click();

private:
    Form &m_form;
    const LogPanes &m_log;
};

} // namespace quorix
