#pragma once

// A server connection as the window's handlers use it: open it with the session's connection string,
// execute statements, open result sets. Every call runs on the connection's own worker thread while the
// calling (window) thread keeps processing events; cancel() may be called meanwhile, for example from a
// button. Failures are thrown as DbError; callers that must not throw catch them.

#include "core/db/DbError.h"

#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

namespace quorix {

class CollectedStatement;
class Recordset;

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

    // connectionString is the session form ("Provider=SQLOLEDB;...;Password=..."); it is translated for
    // the installed SQL Server ODBC driver (see ConnectionString.h). Throws DbError.
    void open(const QString &connectionString);
    void close() noexcept; // closes the connection and every result set still reading from it
    bool isOpen() const;
    QString connectionString() const { return m_connectionString; }
    // The server as "Script only" names it in its script ("Main", "Mirror"). Unnamed connections are named
    // by their connection string (ScriptOnly::serverNamed).
    void setServerName(const QString &name) { m_serverName = name; }
    QString serverName() const;

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
    // The "Script only" gate, asked before anything is sent: false when sql was collected instead.
    bool sends(const QString &sql) const;
    std::shared_ptr<CollectedStatement> collects(const QString &sql, const QStringList &types) const;

    std::shared_ptr<Slot> m_slot;
    int m_commandTimeout = 30;
    int m_loginTimeout = kLoginTimeoutSeconds;
    QString m_connectionString;
    QString m_serverName;
};

} // namespace quorix
