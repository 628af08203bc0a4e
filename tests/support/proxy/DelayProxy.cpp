#include "DelayProxy.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <condition_variable>
#include <deque>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace quorix::testing {

namespace {

using Clock = std::chrono::steady_clock;

[[noreturn]] void fail(const char *what) {
    throw std::system_error(errno, std::generic_category(), what);
}

sockaddr_in addressOf(const std::string &address, std::uint16_t port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    if (inet_pton(AF_INET, address.c_str(), &a.sin_addr) != 1)
        throw std::system_error(EINVAL, std::generic_category(), "bad address " + address);
    return a;
}

void noDelay(int fd) {
    const int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

bool writeAll(int fd, const char *data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace

// One relayed connection: the client's socket, the server's, and a held queue per direction, each emptied
// by a thread of its own once the chunk at its front is due.
struct DelayProxy::Link {
    struct Chunk {
        Clock::time_point due;
        std::vector<char> bytes; // empty: the sender closed its side
    };
    struct Direction {
        int from = -1;
        int to = -1;
        bool fromClient = false;
        std::mutex mutex;
        std::condition_variable changed;
        std::deque<Chunk> held;
        std::size_t heldBytes = 0;
        bool closed = false;
        std::thread reader, writer;
    };

    Link(DelayProxy &proxy, int client, int server) : m_proxy(proxy) {
        m_up.from = m_down.to = client;
        m_up.to = m_down.from = server;
        m_up.fromClient = true;
        for (Direction *d : {&m_up, &m_down}) {
            d->reader = std::thread([this, d] { read(*d); });
            d->writer = std::thread([this, d] { write(*d); });
        }
    }

    // Wakes every thread (a read returns, a wait ends) and waits for them.
    void stop() {
        ::shutdown(m_up.from, SHUT_RDWR);
        ::shutdown(m_down.from, SHUT_RDWR);
        for (Direction *d : {&m_up, &m_down}) {
            {
                std::lock_guard lock(d->mutex);
                d->closed = true;
            }
            d->changed.notify_all();
        }
        for (Direction *d : {&m_up, &m_down}) {
            if (d->reader.joinable())
                d->reader.join();
            if (d->writer.joinable())
                d->writer.join();
        }
        ::close(m_up.from);
        ::close(m_down.from);
    }

private:
    void read(Direction &d) {
        std::vector<char> buffer(64 * 1024);
        for (;;) {
            const ssize_t n = ::recv(d.from, buffer.data(), buffer.size(), 0);
            if (n < 0 && errno == EINTR)
                continue;
            const Clock::time_point due = Clock::now() + m_proxy.m_delay;
            if (n > 0) {
                if (m_proxy.m_recording)
                    m_proxy.capture(d.fromClient, buffer.data(), static_cast<std::size_t>(n));
                // A client's send after the server's answer begins a new exchange.
                if (d.fromClient && !m_clientTurn.exchange(true))
                    ++m_proxy.m_exchanges;
                else if (!d.fromClient)
                    m_clientTurn = false;
            }
            std::unique_lock lock(d.mutex);
            d.changed.wait(lock, [&] { return d.closed || d.heldBytes < kMaxHeldBytes; });
            if (d.closed)
                return;
            d.held.push_back(
                {due, n > 0 ? std::vector<char>(buffer.begin(), buffer.begin() + n) : std::vector<char>{}});
            d.heldBytes += static_cast<std::size_t>(std::max<ssize_t>(n, 0));
            d.changed.notify_all();
            if (n <= 0)
                return;
        }
    }

    void write(Direction &d) {
        for (;;) {
            Chunk chunk;
            {
                std::unique_lock lock(d.mutex);
                d.changed.wait(lock, [&] { return d.closed || !d.held.empty(); });
                if (d.held.empty())
                    return;
                // Held until due; a stop ends the wait at once.
                const Clock::time_point due = d.held.front().due;
                if (d.changed.wait_until(lock, due, [&] { return d.closed; }))
                    return;
                chunk = std::move(d.held.front());
                d.held.pop_front();
                d.heldBytes -= chunk.bytes.size();
            }
            d.changed.notify_all();
            if (chunk.bytes.empty()) { // passed on: the other side sees the close
                ::shutdown(d.to, SHUT_WR);
                return;
            }
            if (!writeAll(d.to, chunk.bytes.data(), chunk.bytes.size())) {
                ::shutdown(d.from, SHUT_RDWR); // the receiver is gone: so is this direction's sender
                return;
            }
        }
    }

    DelayProxy &m_proxy;
    Direction m_up;   // client to server
    Direction m_down; // server to client
    std::atomic<bool> m_clientTurn{false};
};

DelayProxy::DelayProxy(std::string targetAddress, std::uint16_t targetPort, std::chrono::microseconds oneWay,
                       const std::string &listenAddress)
    : m_targetAddress(std::move(targetAddress)), m_targetPort(targetPort), m_delay(oneWay) {
    m_listen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_listen < 0)
        fail("socket");
    const int one = 1;
    setsockopt(m_listen, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a = addressOf(listenAddress, 0);
    if (::bind(m_listen, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0 || ::listen(m_listen, 16) != 0) {
        ::close(m_listen);
        fail("bind");
    }
    socklen_t length = sizeof a;
    getsockname(m_listen, reinterpret_cast<sockaddr *>(&a), &length);
    m_port = ntohs(a.sin_port);
    if (::pipe2(m_wake, O_CLOEXEC) != 0) {
        ::close(m_listen);
        fail("pipe");
    }
    m_acceptor = std::thread([this] { acceptLoop(); });
}

DelayProxy::~DelayProxy() {
    stop();
}

int DelayProxy::connections() const {
    std::lock_guard lock(m_mutex);
    return static_cast<int>(m_links.size());
}

void DelayProxy::record(bool on) {
    m_recording = on;
}

void DelayProxy::capture(bool toServer, const char *data, std::size_t n) {
    std::lock_guard lock(m_recordMutex);
    m_recorded[static_cast<int>(Way::Both)].append(data, n);
    m_recorded[static_cast<int>(toServer ? Way::ToServer : Way::ToClient)].append(data, n);
}

std::string DelayProxy::recorded(Way way) const {
    std::lock_guard lock(m_recordMutex);
    return m_recorded[static_cast<int>(way)];
}

void DelayProxy::clearRecorded() {
    std::lock_guard lock(m_recordMutex);
    for (std::string &s : m_recorded)
        s.clear();
}

void DelayProxy::acceptLoop() {
    for (;;) {
        pollfd fds[2] = {{m_listen, POLLIN, 0}, {m_wake[0], POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0 && errno != EINTR)
            return;
        if (m_stopping || (fds[1].revents & POLLIN))
            return;
        if (!(fds[0].revents & POLLIN))
            continue;
        const int client = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0)
            continue;
        const int server = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const sockaddr_in target = addressOf(m_targetAddress, m_targetPort);
        if (server < 0 ||
            ::connect(server, reinterpret_cast<const sockaddr *>(&target), sizeof target) != 0) {
            ::close(client);
            if (server >= 0)
                ::close(server);
            continue;
        }
        noDelay(client);
        noDelay(server);
        std::lock_guard lock(m_mutex);
        if (m_stopping) {
            ::close(client);
            ::close(server);
            return;
        }
        m_links.push_back(std::make_shared<Link>(*this, client, server));
    }
}

void DelayProxy::stop() {
    if (m_stopping.exchange(true))
        return;
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(m_wake[1], &byte, 1);
    if (m_acceptor.joinable())
        m_acceptor.join();
    std::list<std::shared_ptr<Link>> links;
    {
        std::lock_guard lock(m_mutex);
        links.swap(m_links);
    }
    for (const std::shared_ptr<Link> &link : links)
        link->stop();
    ::close(m_listen);
    ::close(m_wake[0]);
    ::close(m_wake[1]);
}

} // namespace quorix::testing
