#pragma once

// What the server sessions need from whoever runs them, so the database path runs the same in the window,
// in a scheduled run and in a test with no window at all. The window adapts these (LogPanes, WindowHost);
// a test gives plain recording ones.

#include "core/db/ConnectionTarget.h"
#include "core/db/secure/Certificate.h"

#include <QString>
#include <memory>

namespace quorix {

// Where a feature's steps and failures go. The names are the ones every feature already calls.
class LogSink {
public:
    virtual ~LogSink() = default;
    virtual void LogLine(const QString &text) const = 0;
    virtual void LogError(const QString &text) const = 0;
};

// Something the host keeps showing while the object lives (the hourglass, a statement's progress).
class HostScope {
public:
    virtual ~HostScope() = default;
};

class SessionHost {
public:
    virtual ~SessionHost() = default;

    // The server name and password a slot's session connects with, as they stand now: read at every
    // connect, so what the user typed last counts.
    virtual QString serverName(int slot) const = 0;
    virtual QString password(int slot) const = 0;
    // The login the slot connects as (the login box, "sa" unless set), and how: Windows authentication,
    // encryption, the certificate trusted for the server. Read at every connect, like the server name.
    virtual QString login(int slot) const = 0;
    virtual ConnectionOptions connectionOptions(int slot) const = 0;

    // Tells the user something that needs no answer (a failed connect: the driver's description).
    virtual void tell(const QString &text) = 0;
    // Asks a yes/no question; true for yes.
    virtual bool ask(const QString &question) = 0;
    // A connect failed on the certificate the server presented (message says which and why): offers to
    // trust it for the slot's server; true when the user chose to. The host keeps it (CertificateTrust).
    virtual bool offerTrust(int slot, const QString &message, const CertificateInfo &certificate) {
        (void)slot;
        (void)certificate;
        tell(message);
        return false;
    }

    // Shown while a server call runs; ended early (reset) so that a failure is reported without it.
    virtual std::unique_ptr<HostScope> busy() { return nullptr; }
    // Called for each statement that is sent, with the connection string of its session; the scope lives
    // until the statement ends. The window follows long BACKUP and RESTORE statements this way.
    virtual std::unique_ptr<HostScope> followStatement(const ConnectionTarget &target, const QString &sql) {
        (void)target;
        (void)sql;
        return nullptr;
    }
};

} // namespace quorix
