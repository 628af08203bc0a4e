#pragma once

// Servers that never answer, for the mirroring check's timeout: one that accepts the connection and never
// says a word (the login waits), and a scripted server's reply held until the test releases it (the
// statement waits).

#include "tds/ScriptedServer.h"

#include <QString>
#include <arpa/inet.h>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <netinet/in.h>
#include <stdexcept>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

namespace quorix::testing {

// Listens on address (any free port) and never accepts: the kernel completes each connection, and the
// client's login then waits for an answer that never comes.
class SilentListener {
public:
    explicit SilentListener(const std::string &address) {
        m_fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in at{};
        at.sin_family = AF_INET;
        at.sin_port = 0;
        ::inet_pton(AF_INET, address.c_str(), &at.sin_addr);
        socklen_t length = sizeof at;
        if (m_fd < 0 || ::bind(m_fd, reinterpret_cast<sockaddr *>(&at), sizeof at) != 0 ||
            ::listen(m_fd, 16) != 0 || ::getsockname(m_fd, reinterpret_cast<sockaddr *>(&at), &length) != 0)
            throw std::runtime_error("cannot listen on " + address);
        m_box = QString::fromStdString(address) + QLatin1Char(',') + QString::number(ntohs(at.sin_port));
    }
    ~SilentListener() { ::close(m_fd); }
    SilentListener(const SilentListener &) = delete;
    SilentListener &operator=(const SilentListener &) = delete;

    QString box() const { return m_box; } // "127.0.0.4,PORT", as a server box names it

private:
    int m_fd = -1;
    QString m_box;
};

// A reply that waits until release(): a rule answering statement holds the connection's thread (and, as
// the server serialises its callbacks, every later one) until then. Released at the latest when it goes,
// so the server can stop.
class HeldReply {
public:
    HeldReply() = default;
    ~HeldReply() { release(); }
    HeldReply(const HeldReply &) = delete;
    HeldReply &operator=(const HeldReply &) = delete;

    tds::Rule rule(const std::string &statement, tds::Reply reply) {
        tds::Rule r = tds::Rule::exact(statement, reply);
        r.compute = [state = m_state, reply](const std::string &,
                                             const tds::ConnectionState &) -> std::optional<tds::Reply> {
            std::unique_lock lock(state->mutex);
            state->changed.wait(lock, [&] { return state->released; });
            return reply;
        };
        return r;
    }
    void release() {
        std::lock_guard lock(m_state->mutex);
        m_state->released = true;
        m_state->changed.notify_all();
    }

private:
    struct State {
        std::mutex mutex;
        std::condition_variable changed;
        bool released = false;
    };
    std::shared_ptr<State> m_state = std::make_shared<State>();
};

} // namespace quorix::testing
