#pragma once

// "Save log" (cmdSaveLog), beside the log pane: writes the pane's lines, as the pane shows them (newest
// first), to a file the user picks in the window's file dialog. The file is for its owner only: the log
// holds server names, logins and the statements sent.

#include <QString>

namespace quorix {

struct Form;
class LogPane;
class LogPanes;

class SaveLog {
public:
    SaveLog(Form &form, const LogPanes &log);

    void cmdSaveLog_Click();

    // Writes the pane's text to path, one line per line, owner-only; "" on success, else what failed.
    static QString save(const LogPane &pane, const QString &path);

private:
    Form &m_form;
    const LogPanes &m_log;
};

} // namespace quorix
