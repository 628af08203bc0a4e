#pragma once
// A network in the test kit: a TCP relay on loopback that holds every chunk it carries for a set one-way
// delay before passing it on, in order, in both directions, so that each request and reply between a client
// and a server costs a round trip of twice the delay, as across a LAN. It lives in user space (no traffic
// control needed), in the process that creates it, and goes with it.
//
//     quorix::testing::DelayProxy lan("127.0.0.2", server.port(), std::chrono::microseconds(500));
//     ... connect to "127.0.0.2,<lan.port()>" instead of the server ...
//     lan.exchanges(); // the round trips the clients waited for
//
// Bounded: each direction of a connection holds at most kMaxHeldBytes; a sender beyond that waits, as a
// full network would make it. Stopping (or the destructor) closes every relayed connection and waits for
// its threads.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace quorix::testing {

class DelayProxy {
public:
    static constexpr std::size_t kMaxHeldBytes = 4 << 20;

    // Listens on listenAddress (any free port) and relays each connection to target:port. Throws
    // std::system_error when it cannot listen.
    DelayProxy(std::string targetAddress, std::uint16_t targetPort, std::chrono::microseconds oneWay,
               const std::string &listenAddress = "127.0.0.2");
    ~DelayProxy();
    DelayProxy(const DelayProxy &) = delete;
    DelayProxy &operator=(const DelayProxy &) = delete;

    std::uint16_t port() const { return m_port; }
    std::chrono::microseconds oneWay() const { return m_delay; }

    // Turns a client took: each time it sent after the server had answered (its first send included),
    // over all connections since the last reset. Against a server that answers each request before the
    // next comes, the round trips.
    std::uint64_t exchanges() const { return m_exchanges.load(); }
    void resetExchanges() { m_exchanges = 0; }
    int connections() const; // relayed so far

    // A capture, for a test that looks for what must not travel in clear: while on, every byte relayed,
    // as it arrives at the proxy. recorded() holds both directions interleaved in arrival order.
    enum class Way { Both, ToServer, ToClient };
    void record(bool on);
    std::string recorded(Way way = Way::Both) const;
    void clearRecorded();

    void stop();

    struct Link;

private:
    void acceptLoop();
    void capture(bool toServer, const char *data, std::size_t n);

    std::string m_targetAddress;
    std::uint16_t m_targetPort;
    std::chrono::microseconds m_delay;
    int m_listen = -1;
    int m_wake[2] = {-1, -1};
    std::uint16_t m_port = 0;
    std::atomic<bool> m_stopping{false};
    std::atomic<std::uint64_t> m_exchanges{0};
    std::thread m_acceptor;
    mutable std::mutex m_mutex;
    std::list<std::shared_ptr<Link>> m_links;
    std::atomic<bool> m_recording{false};
    mutable std::mutex m_recordMutex;
    std::string m_recorded[3]; // by Way
};

} // namespace quorix::testing
