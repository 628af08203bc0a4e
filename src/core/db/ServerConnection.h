#pragma once

// A server connection as the window's handlers use it: open it with the session's connection string,
// execute statements, open result sets. Every call runs on the connection's own worker thread while the
// calling (window) thread keeps processing events; cancel() may be called meanwhile, for example from a
// button. Failures are thrown as DbError; callers that must not throw catch them.

#include "core/db/ConnectionTarget.h"
#include "core/db/DbError.h"
#include "core/db/secure/Certificate.h"

#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

namespace quorix {

class CollectedStatement;
class Recordset;
class StatementJournal;
struct OdbcDriver;
struct SentStatement;

// The ODBC driver every connection uses: QUORIX_ODBC_DRIVER, else the preferred one installed.
OdbcDriver connectionDriver();

class ServerConnection {
public:
    static constexpr int kLoginTimeoutSeconds = 15;

    ServerConnection();
    ~ServerConnection(); // cancels what runs, then closes
    ServerConnection(const ServerConnection &) = delete;
    ServerConnection &operator=(const ServerConnection &) = delete;

    // Query timeout of every later statement and result set (0 = none). Default 30.
    void setCommandTimeout(int seconds) { m_commandTimeout = seconds; }
    int commandTimeout() const { return m_commandTimeout; }
    // Login timeout of later open() calls (0 = none). Default kLoginTimeoutSeconds.
    void setLoginTimeout(int seconds) { m_loginTimeout = seconds; }
    // Later open() calls ask for a connection fit for the driver's bulk-copy functions (BulkCopy).
    void setBulkCopy(bool on) { m_bulkCopy = on; }

    // The target's connection string is the session form ("Provider=SQLOLEDB;...;Password=..."); it is
    // translated for the installed SQL Server ODBC driver with the target's encryption and names (see
    // ConnectionString.h). Throws DbError; a choice the driver cannot express is refused before anything is
    // sent, and a failed certificate check says which certificate the server presented and why it failed.
    void open(const ConnectionTarget &target);
    void close() noexcept; // closes the connection and every result set still reading from it
    bool isOpen() const;
    QString connectionString() const { return m_target.connectionString; }
    const ConnectionTarget &target() const { return m_target; }

    // After a successful open: whether the session travels encrypted (under "Optional", as the server
    // answered; under "Mandatory" and "Strict", always). After a failed open: the certificate the server
    // presented when that is what failed, so the user can be offered to trust it.
    bool encrypted() const { return m_encrypted; }
    QString notice() const { return m_notice; } // what the log says once for this connection, if anything
    const std::optional<CertificateInfo> &refusedCertificate() const { return m_refusedCertificate; }
    // The server as "Script only" names it in its script ("Main", "Mirror"). Unnamed connections are named
    // by their connection string (ScriptOnly::serverNamed).
    void setServerName(const QString &name) { m_serverName = name; }
    QString serverName() const;

    // What this connection sends (and what "Script only" holds back of it) is reported there, reads
    // excepted; nullptr (the default) reports nothing. The journal must outlive the connection.
    void setJournal(StatementJournal *journal) { m_journal = journal; }
    StatementJournal *journal() const { return m_journal; }
    // The database in use, as the driver tracks it; empty when closed or it cannot say.
    QString currentDatabase();

    // Runs a batch to its end (every result and message); returns the messages (PRINT, progress).
    std::vector<DiagRecord> execute(const QString &sql);
    // A result set streaming the query's first result that has columns (Recordset::Reading::Streamed).
    Recordset openRecordset(const QString &sql);

    // Cancels the statement now running on this connection, from any thread; false when none runs.
    bool cancel() noexcept;
    // Whether the driver found the link to the server broken; false for a closed connection.
    bool linkLost();
    struct Slot;

private:
    friend class Recordset;
    friend class PreparedStatement;
    friend class BulkCopy;
    // The "Script only" gate, asked before anything is sent: false when sql was collected instead.
    bool sends(const QString &sql) const;
    std::shared_ptr<CollectedStatement> collects(const QString &sql, const QStringList &types) const;
    // The journal's record of sql, its time and session filled in; the caller adds how it ended.
    SentStatement journalRecord(const QString &sql) const;

    StatementJournal *m_journal = nullptr;

    std::shared_ptr<Slot> m_slot;
    int m_commandTimeout = 30;
    int m_loginTimeout = kLoginTimeoutSeconds;
    bool m_bulkCopy = false;
    ConnectionTarget m_target;
    bool m_encrypted = false;
    QString m_notice;
    std::optional<CertificateInfo> m_refusedCertificate;
    QString m_serverName;
};

} // namespace quorix
