#pragma once

// A plain blocking TCP connection with deadlines, for the server probe (no toolkit network module is
// shipped with the program). POSIX sockets or Winsock.

#include <QByteArray>
#include <QString>

namespace quorix {

class TcpLink {
public:
    TcpLink() = default;
    ~TcpLink();
    TcpLink(const TcpLink &) = delete;
    TcpLink &operator=(const TcpLink &) = delete;

    // Empty on success, else why not.
    QString connectTo(const QString &host, int port, int timeoutMs);
    bool send(const QByteArray &bytes);
    // Up to max bytes; empty on end of stream, error or timeout (timedOut() tells which).
    QByteArray receive(int max, int timeoutMs);
    bool timedOut() const { return m_timedOut; }

private:
    long long m_socket = -1;
    bool m_timedOut = false;
};

} // namespace quorix
