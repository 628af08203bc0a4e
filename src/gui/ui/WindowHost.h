#pragma once

// The window as the server sessions' host: the server and password boxes, message boxes, the hourglass and
// the status bar's progress of a long BACKUP or RESTORE. wireSessionButtons connects the window's Connect
// and Cancel buttons to the sessions.

#include "core/db/SessionHost.h"

#include <array>

namespace quorix {

struct Form;
class ServerSessions;

class WindowHost : public SessionHost {
public:
    explicit WindowHost(Form &form) : m_form(form) {}

    QString serverName(int slot) const override; // txtServer(slot)
    QString password(int slot) const override;   // txtPW(slot)
    QString login(int slot) const override;      // txtLogin(slot)
    // cboEncryption(slot), chkWindowsAuth(slot), the certificate trusted for txtServer(slot), QUORIX_CA_FILE.
    ConnectionOptions connectionOptions(int slot) const override;
    // "Trust this certificate" or Cancel; trusted at once when it is the fingerprint given for the slot
    // (--trust-certificate), never by a scripted answer.
    bool offerTrust(int slot, const QString &message, const CertificateInfo &certificate) override;
    void acceptFingerprint(int slot, const QString &sha256) {
        m_accepted.at(static_cast<size_t>(slot)) = sha256;
    }
    void tell(const QString &text) override;    // a message box
    bool ask(const QString &question) override; // a yes/no message box
    std::unique_ptr<HostScope> busy() override; // the hourglass
    // StatementProgress for BACKUP and RESTORE; nothing for other statements.
    std::unique_ptr<HostScope> followStatement(const ConnectionTarget &target, const QString &sql) override;

private:
    Form &m_form;
    std::array<QString, 2> m_accepted;
};

// How a connection to server is protected as slot's controls say (its encryption choice, Windows
// authentication), with the certificate trusted for that server.
ConnectionOptions connectionOptionsFor(const Form &form, int slot, const QString &server);

// cmdConnect(0) and cmdConnect(1) reconnect their slot (as operations); cmdCancel cancels the running
// statement.
void wireSessionButtons(Form &form, ServerSessions &sessions);

} // namespace quorix
