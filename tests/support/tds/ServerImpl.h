#pragma once
// The shared state of a ScriptedServer, as its connections see it.

#include "tds/ScriptedServer.h"
#include "tds/TableModel.h"

#include <atomic>
#include <condition_variable>
#include <list>
#include <mutex>
#include <regex>
#include <thread>

namespace quorix::tds {

class Connection;
class TlsContext;

struct CompiledRule {
    Rule rule;
    std::shared_ptr<const std::regex> regex;
    bool matches(const std::string &text) const;
};

struct ScriptedServer::Impl {
    // Configuration.
    mutable std::mutex configMutex;
    std::optional<std::string> user;
    std::optional<std::string> password;
    std::string defaultDatabase = "master";
    std::optional<std::vector<std::string>> databases;
    Encryption encryption = Encryption::NotSupported;
    std::shared_ptr<const TlsContext> certificate;
    // The name as configured when the database exists (or any name when no set is configured).
    std::optional<std::string> findDatabase(const std::string &name) const;
    // Checks the configured user and password (either may be unset: anything goes).
    bool loginAccepted(const std::string &user, const std::string &password) const;

    // Rules: replaced, never changed in place, so a connection can answer from a snapshot.
    mutable std::mutex rulesMutex;
    std::shared_ptr<const std::vector<CompiledRule>> rules = std::make_shared<std::vector<CompiledRule>>();
    std::mutex callbackMutex;
    // The reply of the first matching rule, if any. Exceptions from a callback become an error reply.
    std::optional<Reply> answer(const std::string &text, const ConnectionState &state);
    // The first result set of the first static rule matching `text`, else the table model's (for
    // sp_prepare).
    std::optional<ResultSet> metadataFor(const std::string &text, const std::string &database) const;

    TableModel tables;

    // The record.
    mutable std::mutex recordMutex;
    mutable std::condition_variable recordChanged;
    std::vector<Event> events;
    std::size_t batchCount = 0;     // since the last clear
    std::size_t statementCount = 0; // batches and RPCs
    std::size_t requestCount = 0;   // batch, RPC and transaction messages
    void countRequest();
    std::vector<Prelogin> prelogins;
    void notePrelogin(const Prelogin &p); // adds or updates the connection's entry
    std::mutex listenerMutex;
    std::function<void(const Event &)> listener;
    void record(Event event);

    // Listening and connections.
    std::string address;
    std::uint16_t port = 0;
    int listenFd = -1;
    int wakePipe[2] = {-1, -1};
    std::thread acceptThread;
    std::atomic<bool> stopping{false};
    std::atomic<int> nextConnection{1};
    struct Running {
        std::shared_ptr<Connection> connection;
        std::thread thread;
    };
    mutable std::mutex connectionsMutex;
    std::list<Running> connections;
    void acceptLoop();
    void reapFinished(); // joins the threads of ended connections
};

} // namespace quorix::tds
