#include "core/db/secure/TcpLink.h"

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
using socket_t = SOCKET;
namespace {
void closeSocket(socket_t s) {
    closesocket(s);
}
bool setBlocking(socket_t s, bool blocking) {
    u_long nb = blocking ? 0 : 1;
    return ioctlsocket(s, FIONBIO, &nb) == 0;
}
bool ensureStarted() {
    static const bool started = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return started;
}
} // namespace
#else
#include <fcntl.h>
#include <netdb.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>
using socket_t = int;
namespace {
void closeSocket(socket_t s) {
    ::close(s);
}
bool setBlocking(socket_t s, bool blocking) {
    const int flags = fcntl(s, F_GETFL, 0);
    return flags >= 0 && fcntl(s, F_SETFL, blocking ? (flags & ~O_NONBLOCK) : (flags | O_NONBLOCK)) == 0;
}
bool ensureStarted() {
    return true;
}
} // namespace
#endif

#include <cerrno>

namespace quorix {

namespace {

// Waits until the socket can be read (or written); false on timeout or error.
bool waitFor(socket_t s, bool write, int timeoutMs) {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(s, &set);
    timeval tv{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    const int n =
        select(static_cast<int>(s) + 1, write ? nullptr : &set, write ? &set : nullptr, nullptr, &tv);
    return n > 0;
}

} // namespace

TcpLink::~TcpLink() {
    if (m_socket != -1)
        closeSocket(static_cast<socket_t>(m_socket));
}

QString TcpLink::connectTo(const QString &host, int port, int timeoutMs) {
    if (!ensureStarted())
        return QStringLiteral("the network could not be started");
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *found = nullptr;
    const QByteArray name = host.toUtf8();
    const QByteArray service = QByteArray::number(port);
    if (getaddrinfo(name.constData(), service.constData(), &hints, &found) != 0 || !found)
        return QStringLiteral("the name %1 could not be resolved").arg(host);
    QString why = QStringLiteral("%1 port %2 could not be reached").arg(host).arg(port);
    for (addrinfo *a = found; a; a = a->ai_next) {
        const socket_t s = socket(a->ai_family, a->ai_socktype, a->ai_protocol);
#ifdef _WIN32
        if (s == INVALID_SOCKET)
            continue;
#else
        if (s < 0)
            continue;
#endif
        setBlocking(s, false);
        const int rc = ::connect(s, a->ai_addr, static_cast<int>(a->ai_addrlen));
        bool ok = rc == 0;
        if (!ok && waitFor(s, true, timeoutMs)) {
            int err = 0;
            socklen_t len = sizeof err;
            ok = getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char *>(&err), &len) == 0 && err == 0;
        }
        if (ok) {
            setBlocking(s, true);
            m_socket = static_cast<long long>(s);
            break;
        }
        closeSocket(s);
    }
    freeaddrinfo(found);
    return m_socket == -1 ? why : QString();
}

bool TcpLink::send(const QByteArray &bytes) {
    if (m_socket == -1)
        return false;
    const auto s = static_cast<socket_t>(m_socket);
    qsizetype sent = 0;
    while (sent < bytes.size()) {
        const auto n = ::send(s, bytes.constData() + sent, static_cast<int>(bytes.size() - sent), 0);
        if (n <= 0)
            return false;
        sent += n;
    }
    return true;
}

QByteArray TcpLink::receive(int max, int timeoutMs) {
    m_timedOut = false;
    if (m_socket == -1)
        return {};
    const auto s = static_cast<socket_t>(m_socket);
    if (!waitFor(s, false, timeoutMs)) {
        m_timedOut = true;
        return {};
    }
    QByteArray buffer(max, Qt::Uninitialized);
    const auto n = ::recv(s, buffer.data(), max, 0);
    if (n <= 0)
        return {};
    buffer.resize(n);
    return buffer;
}

} // namespace quorix
