#pragma once

// The window as the server sessions' host: the server and password boxes, message boxes, the hourglass and
// the status bar's progress of a long BACKUP or RESTORE. wireSessionButtons connects the window's Connect
// and Cancel buttons to the sessions.

#include "core/db/SessionHost.h"

namespace quorix {

struct Form;
class ServerSessions;

class WindowHost : public SessionHost {
public:
    explicit WindowHost(Form &form) : m_form(form) {}

    QString serverName(int slot) const override; // txtServer(slot)
    QString password(int slot) const override;   // txtPW(slot)
    void tell(const QString &text) override;     // a message box
    bool ask(const QString &question) override;  // a yes/no message box
    std::unique_ptr<HostScope> busy() override;  // the hourglass
    // StatementProgress for BACKUP and RESTORE; nothing for other statements.
    std::unique_ptr<HostScope> followStatement(const QString &connectionString, const QString &sql) override;

private:
    Form &m_form;
};

// cmdConnect(0) and cmdConnect(1) reconnect their slot (as operations); cmdCancel cancels the running
// statement.
void wireSessionButtons(Form &form, ServerSessions &sessions);

} // namespace quorix
