#include "core/db/ServerReader.h"

#include <utility>

namespace quorix {

ServerReader::ServerReader(ConnectionTarget target) : m_target(std::move(target)) {}

ServerReader &ServerReader::operator=(ServerReader &&other) noexcept {
    if (this != &other) {
        close(); // the result first, then its connection
        m_target = std::move(other.m_target);
        m_commandTimeout = other.m_commandTimeout;
        m_loginTimeout = other.m_loginTimeout;
        m_connection = std::move(other.m_connection);
        m_result = std::move(other.m_result);
    }
    return *this;
}

void ServerReader::setCommandTimeout(int seconds) {
    m_commandTimeout = seconds;
    if (m_connection)
        m_connection->setCommandTimeout(seconds);
}

void ServerReader::open(const QString &sql) {
    m_result.close();
    if (m_target.connectionString.isEmpty())
        throw DbError::ofText(QStringLiteral("08001"), 0,
                              QStringLiteral("The reader has no connection string."));
    if (!connected()) {
        auto connection = std::make_unique<ServerConnection>();
        connection->setCommandTimeout(m_commandTimeout);
        connection->setLoginTimeout(m_loginTimeout);
        connection->open(m_target); // a failed login leaves the reader without a connection
        m_connection = std::move(connection);
    }
    m_result.open(*m_connection, sql, Recordset::Reading::Streamed);
}

void ServerReader::close() noexcept {
    m_result.close();
    if (m_connection) {
        m_connection->close();
        m_connection.reset();
    }
}

} // namespace quorix
