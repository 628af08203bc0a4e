#pragma once

// A reader beside the session: streams a result on a second connection of the same login while the
// session's own connection keeps running statements (the driver allows one active statement per
// connection). It holds no session state: the connection is opened with the session's connection string
// on the first open() and closed when the reader is closed or goes.
//
//     ServerReader reader(sessions.target(slot));
//     for (reader.open("SELECT id, name FROM t"); !reader.eof(); reader.moveNext())
//         session.execute(...);  // the session's connection is free meanwhile
//
// Rows arrive in blocks (Recordset::Reading::Streamed): memory stays flat however many rows pass.
// Move-only. Failures are thrown as DbError.

#include "core/db/Recordset.h"
#include "core/db/ServerConnection.h"

#include <memory>

namespace quorix {

class ServerReader {
public:
    ServerReader() = default; // without a connection string: open() throws
    explicit ServerReader(ConnectionTarget target);
    ~ServerReader() { close(); }
    ServerReader(ServerReader &&other) noexcept = default;
    ServerReader &operator=(ServerReader &&other) noexcept;
    ServerReader(const ServerReader &) = delete;
    ServerReader &operator=(const ServerReader &) = delete;

    // Query timeout of later open() calls (0 = none). Default 30.
    void setCommandTimeout(int seconds);
    // Login timeout of the connection a later open() makes (0 = none). Default
    // ServerConnection::kLoginTimeoutSeconds.
    void setLoginTimeout(int seconds) { m_loginTimeout = seconds; }

    // Closes the current result, opens the connection when it is not yet open, and streams sql's first
    // result with columns. A statement without one leaves the reader at eof. Throws DbError.
    void open(const QString &sql);
    // Closes the result and the connection; a later open() connects again.
    void close() noexcept;
    bool connected() const { return m_connection && m_connection->isOpen(); }

    bool eof() const { return !m_result.isOpen() || m_result.eof(); }
    void moveNext() { m_result.moveNext(); }
    int fieldCount() const { return m_result.fieldCount(); }
    QStringList fieldNames() const { return m_result.fieldNames(); }
    QVariant value(int index) const { return m_result.value(index); }
    QVariant value(const QString &name) const { return m_result.value(name); }
    const std::vector<QVariant> &row() const { return m_result.row(); }
    // Cancels the statement streaming the result, from any thread; false when none runs.
    bool cancel() noexcept { return m_connection && m_connection->cancel(); }

private:
    ConnectionTarget m_target;
    int m_commandTimeout = 30;
    int m_loginTimeout = ServerConnection::kLoginTimeoutSeconds;
    std::unique_ptr<ServerConnection> m_connection; // declared before the result: outlives it
    Recordset m_result;
};

} // namespace quorix
