// The record accessors of ScriptedServer.

#include "tds/ServerImpl.h"

#include <algorithm>

namespace quorix::tds {

namespace {

template <typename Keep, typename Map> auto collect(const ScriptedServer::Impl &d, Keep keep, Map map) {
    std::vector<decltype(map(std::declval<const Event &>()))> out;
    std::lock_guard lock(d.recordMutex);
    for (const Event &e : d.events)
        if (keep(e))
            out.push_back(map(e));
    return out;
}

Event same(const Event &e) {
    return e;
}
std::string textOf(const Event &e) {
    return e.text;
}

} // namespace

std::vector<Event> ScriptedServer::events() const {
    std::lock_guard lock(m_impl->recordMutex);
    return m_impl->events;
}

std::vector<Event> ScriptedServer::events(int connection) const {
    return collect(
        *m_impl, [connection](const Event &e) { return e.connection == connection; }, same);
}

std::vector<std::string> ScriptedServer::batches() const {
    return collect(
        *m_impl, [](const Event &e) { return e.kind == Event::Kind::Batch; }, textOf);
}

std::vector<std::string> ScriptedServer::batches(int connection) const {
    return collect(
        *m_impl,
        [connection](const Event &e) { return e.kind == Event::Kind::Batch && e.connection == connection; },
        textOf);
}

std::vector<Event> ScriptedServer::rpcs() const {
    return collect(
        *m_impl, [](const Event &e) { return e.kind == Event::Kind::Rpc; }, same);
}

std::vector<std::string> ScriptedServer::statements() const {
    return collect(
        *m_impl, [](const Event &e) { return e.kind == Event::Kind::Batch || e.kind == Event::Kind::Rpc; },
        textOf);
}

std::vector<Event> ScriptedServer::logins() const {
    return collect(
        *m_impl, [](const Event &e) { return e.kind == Event::Kind::Login; }, same);
}

std::vector<Event> ScriptedServer::bulkLoads() const {
    return collect(
        *m_impl, [](const Event &e) { return e.kind == Event::Kind::BulkLoad; }, same);
}

std::vector<Prelogin> ScriptedServer::prelogins() const {
    std::lock_guard lock(m_impl->recordMutex);
    return m_impl->prelogins;
}

std::optional<Prelogin> ScriptedServer::prelogin(int connection) const {
    std::lock_guard lock(m_impl->recordMutex);
    for (const Prelogin &p : m_impl->prelogins)
        if (p.connection == connection)
            return p;
    return std::nullopt;
}

void ScriptedServer::Impl::notePrelogin(const Prelogin &p) {
    {
        std::lock_guard lock(recordMutex);
        auto it = std::find_if(prelogins.begin(), prelogins.end(),
                               [&](const Prelogin &q) { return q.connection == p.connection; });
        if (it == prelogins.end())
            prelogins.insert(std::upper_bound(prelogins.begin(), prelogins.end(), p,
                                              [](const Prelogin &a, const Prelogin &b) {
                                                  return a.connection < b.connection;
                                              }),
                             p);
        else
            *it = p;
    }
    recordChanged.notify_all();
}

int ScriptedServer::cancels() const {
    return static_cast<int>(collect(
                                *m_impl, [](const Event &e) { return e.kind == Event::Kind::Cancel; }, textOf)
                                .size());
}

std::size_t ScriptedServer::roundTrips() const {
    std::lock_guard lock(m_impl->recordMutex);
    return m_impl->requestCount;
}

void ScriptedServer::Impl::countRequest() {
    std::lock_guard lock(recordMutex);
    ++requestCount;
}

void ScriptedServer::clearRecord() {
    std::lock_guard lock(m_impl->recordMutex);
    m_impl->events.clear();
    m_impl->prelogins.clear();
    m_impl->batchCount = 0;
    m_impl->statementCount = 0;
    m_impl->requestCount = 0;
}

bool ScriptedServer::waitForBatches(std::size_t n, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(m_impl->recordMutex);
    return m_impl->recordChanged.wait_for(lock, timeout, [&] { return m_impl->batchCount >= n; });
}

bool ScriptedServer::waitForStatements(std::size_t n, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(m_impl->recordMutex);
    return m_impl->recordChanged.wait_for(lock, timeout, [&] { return m_impl->statementCount >= n; });
}

} // namespace quorix::tds
