#include "tds/ScriptedServer.h"

#include "tds/Connection.h"
#include "tds/Text.h"
#include "tds/Tls.h"

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <system_error>
#include <thread>
#include <unistd.h>

namespace quorix::tds {

// ---- Replies and rules ----------------------------------------------------------------------------------

Reply Reply::rows(ResultSet set) {
    Reply r;
    r.items.emplace_back(std::move(set));
    return r;
}

Reply Reply::error(int number, std::string text, int severity, int state) {
    Reply r;
    r.items.emplace_back(Message{number, severity, state, std::move(text), {}, 1});
    return r;
}

Reply Reply::info(std::string text, int number, int state) {
    Reply r;
    r.items.emplace_back(Message{number, 0, state, std::move(text), {}, 1});
    return r;
}

Reply Reply::count(std::uint64_t rows) {
    Reply r;
    r.items.emplace_back(RowCount{rows});
    return r;
}

Reply Reply::drop() {
    Reply r;
    r.dropConnection = true;
    return r;
}

Reply &Reply::then(ReplyItem item) {
    items.push_back(std::move(item));
    return *this;
}

Reply &Reply::after(std::chrono::milliseconds wait) {
    delay = wait;
    return *this;
}

Rule Rule::exact(std::string text, Reply reply) {
    Rule r;
    r.match = Match::Exact;
    r.text = std::move(text);
    r.reply = std::move(reply);
    return r;
}

Rule Rule::pattern(std::string regex, Reply reply, bool ignoreCase) {
    Rule r;
    r.match = Match::Pattern;
    r.text = std::move(regex);
    r.ignoreCase = ignoreCase;
    r.reply = std::move(reply);
    return r;
}

Rule Rule::callback(ReplyFunction compute, std::string regex, bool ignoreCase) {
    Rule r;
    r.match = regex.empty() ? Match::Any : Match::Pattern;
    r.text = std::move(regex);
    r.ignoreCase = ignoreCase;
    r.compute = std::move(compute);
    return r;
}

bool CompiledRule::matches(const std::string &text) const {
    switch (rule.match) {
    case Rule::Match::Exact:
        return text == rule.text;
    case Rule::Match::Pattern:
        return std::regex_match(text, *regex);
    default:
        return true;
    }
}

std::string typeName(SqlType type) {
    static const char *const names[] = {
        "int",          "bigint",        "smallint",       "tinyint",          "bit",
        "float",        "real",          "decimal",        "numeric",          "money",
        "datetime",     "date",          "time",           "datetime2",        "char",
        "varchar",      "nchar",         "nvarchar",       "binary",           "varbinary",
        "varchar(max)", "nvarchar(max)", "varbinary(max)", "uniqueidentifier", "datetimeoffset"};
    const auto i = static_cast<std::size_t>(type);
    return i < std::size(names) ? names[i] : "?";
}

std::string encryptionName(Encryption value) {
    static const char *const names[] = {"ENCRYPT_OFF", "ENCRYPT_ON", "ENCRYPT_NOT_SUP", "ENCRYPT_REQ"};
    const auto i = static_cast<std::size_t>(value);
    if (i < std::size(names))
        return names[i];
    static const char hex[] = "0123456789ABCDEF";
    return std::string("0x") + hex[i >> 4] + hex[i & 15];
}

std::string kindName(Event::Kind kind) {
    static const char *const names[] = {"login",  "batch",      "rpc",      "transaction",
                                        "cancel", "disconnect", "bulk load"};
    return names[static_cast<std::size_t>(kind)];
}

namespace {

std::string escaped(const std::string &s) {
    std::string out;
    out.reserve(s.size());
    for (const char c : s) {
        if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else if (c == '\t')
            out += "\\t";
        else if (c == '\\')
            out += "\\\\";
        else
            out += c;
    }
    return out;
}

} // namespace

std::string describe(const Event &e) {
    std::string line = std::to_string(e.connection) + "\t" + kindName(e.kind);
    switch (e.kind) {
    case Event::Kind::Login:
        line += "\tuser=" + escaped(e.user) + "\tdatabase=" + escaped(e.database) +
                "\tapp=" + escaped(e.appName) + (e.accepted ? "\taccepted" : "\trefused");
        break;
    case Event::Kind::Rpc:
        line += "\t" + escaped(e.procedure);
        if (e.handle >= 0)
            line += "\thandle=" + std::to_string(e.handle);
        line += "\t" + escaped(e.text);
        for (const Param &p : e.params)
            line += "\t" + escaped(p.name) + ":" + typeName(p.type) + (p.output ? " out" : "") + "=" +
                    (p.value ? escaped(*p.value) : "NULL");
        break;
    case Event::Kind::Cancel:
        break;
    case Event::Kind::BulkLoad:
        line += "\t" + escaped(e.text) + "\trows=" + std::to_string(e.rows);
        break;
    default:
        line += "\t" + escaped(e.text);
    }
    return line;
}

// ---- Server state ---------------------------------------------------------------------------------------

std::optional<std::string> ScriptedServer::Impl::findDatabase(const std::string &name) const {
    std::lock_guard lock(configMutex);
    if (!databases)
        return name;
    for (const std::string &d : *databases)
        if (equalsIgnoreCase(d, name))
            return d;
    return std::nullopt;
}

bool ScriptedServer::Impl::loginAccepted(const std::string &u, const std::string &p) const {
    std::lock_guard lock(configMutex);
    return (!user || equalsIgnoreCase(*user, u)) && (!password || *password == p);
}

std::optional<Reply> ScriptedServer::Impl::answer(const std::string &text, const ConnectionState &state) {
    std::shared_ptr<const std::vector<CompiledRule>> snapshot;
    {
        std::lock_guard lock(rulesMutex);
        snapshot = rules;
    }
    for (const CompiledRule &r : *snapshot) {
        if (!r.matches(text))
            continue;
        if (!r.rule.compute)
            return r.rule.reply;
        std::lock_guard lock(callbackMutex);
        try {
            if (std::optional<Reply> reply = r.rule.compute(text, state))
                return reply;
        } catch (const std::exception &e) {
            return Reply::error(50000,
                                std::string("Scripted server: the rule's callback failed: ") + e.what());
        }
    }
    return std::nullopt;
}

std::optional<ResultSet> ScriptedServer::Impl::metadataFor(const std::string &text,
                                                           const std::string &database) const {
    std::shared_ptr<const std::vector<CompiledRule>> snapshot;
    {
        std::lock_guard lock(rulesMutex);
        snapshot = rules;
    }
    for (const CompiledRule &r : *snapshot) {
        if (r.rule.compute || !r.matches(text))
            continue;
        for (const ReplyItem &item : r.rule.reply.items)
            if (const auto *set = std::get_if<ResultSet>(&item))
                return *set;
        return std::nullopt;
    }
    return tables.metadataFor(text, database);
}

void ScriptedServer::Impl::record(Event event) {
    {
        std::lock_guard lock(recordMutex);
        if (event.kind == Event::Kind::Batch)
            ++batchCount;
        if (event.kind == Event::Kind::Batch || event.kind == Event::Kind::Rpc)
            ++statementCount;
        events.push_back(event);
    }
    recordChanged.notify_all();
    std::lock_guard lock(listenerMutex);
    if (listener)
        listener(event);
}

void ScriptedServer::Impl::reapFinished() {
    std::list<Running> done;
    {
        std::lock_guard lock(connectionsMutex);
        for (auto it = connections.begin(); it != connections.end();) {
            if (it->connection->finished())
                done.splice(done.end(), connections, it++);
            else
                ++it;
        }
    }
    for (Running &r : done)
        r.thread.join();
}

void ScriptedServer::Impl::acceptLoop() {
    pollfd fds[2] = {{listenFd, POLLIN, 0}, {wakePipe[0], POLLIN, 0}};
    while (!stopping) {
        const int r = ::poll(fds, 2, 1000);
        if (r < 0 && errno != EINTR)
            break;
        reapFinished();
        if (r <= 0 || !(fds[0].revents & POLLIN))
            continue;
        const int fd = ::accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        const int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        auto connection = std::make_shared<Connection>(*this, fd, nextConnection++);
        std::lock_guard lock(connectionsMutex);
        connections.push_back({connection, std::thread([connection] { connection->run(); })});
    }
}

// ---- Public interface -----------------------------------------------------------------------------------

ScriptedServer::ScriptedServer() : m_impl(std::make_unique<Impl>()) {}

ScriptedServer::~ScriptedServer() {
    stop();
}

void ScriptedServer::start(const std::string &address, std::uint16_t port) {
    if (running())
        throw std::logic_error("the scripted server is running already");
    Impl &d = *m_impl;
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    if (::inet_pton(AF_INET, address.c_str(), &sa.sin_addr) != 1)
        throw std::system_error(EINVAL, std::generic_category(), "not an IPv4 address: " + address);
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        throw std::system_error(errno, std::generic_category(), "socket");
    const int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (::bind(fd, reinterpret_cast<sockaddr *>(&sa), sizeof sa) != 0 || ::listen(fd, 64) != 0) {
        const int err = errno;
        ::close(fd);
        throw std::system_error(err, std::generic_category(),
                                "cannot listen on " + address + ":" + std::to_string(port));
    }
    socklen_t len = sizeof sa;
    ::getsockname(fd, reinterpret_cast<sockaddr *>(&sa), &len);
    if (::pipe2(d.wakePipe, O_CLOEXEC) != 0) {
        const int err = errno;
        ::close(fd);
        throw std::system_error(err, std::generic_category(), "pipe");
    }
    d.listenFd = fd;
    d.address = address;
    d.port = ntohs(sa.sin_port);
    d.stopping = false;
    d.acceptThread = std::thread([&d] { d.acceptLoop(); });
}

void ScriptedServer::stop() {
    Impl &d = *m_impl;
    if (d.listenFd < 0)
        return;
    d.stopping = true;
    const char byte = 0;
    [[maybe_unused]] const ssize_t n = ::write(d.wakePipe[1], &byte, 1);
    d.acceptThread.join();
    ::close(d.listenFd);
    ::close(d.wakePipe[0]);
    ::close(d.wakePipe[1]);
    d.listenFd = d.wakePipe[0] = d.wakePipe[1] = -1;
    dropConnections();
    std::list<Impl::Running> all;
    {
        std::lock_guard lock(d.connectionsMutex);
        all.swap(d.connections);
    }
    for (Impl::Running &r : all)
        r.thread.join();
}

bool ScriptedServer::running() const {
    return m_impl->listenFd >= 0;
}
std::uint16_t ScriptedServer::port() const {
    return m_impl->port;
}
std::string ScriptedServer::address() const {
    return m_impl->address;
}

void ScriptedServer::setLogin(const std::string &user, const std::string &password) {
    std::lock_guard lock(m_impl->configMutex);
    m_impl->user = user;
    m_impl->password = password;
}

void ScriptedServer::setPassword(const std::string &password) {
    std::lock_guard lock(m_impl->configMutex);
    m_impl->user.reset();
    m_impl->password = password;
}

void ScriptedServer::setDefaultDatabase(const std::string &name) {
    std::lock_guard lock(m_impl->configMutex);
    m_impl->defaultDatabase = name;
}

void ScriptedServer::setDatabases(const std::vector<std::string> &names) {
    std::lock_guard lock(m_impl->configMutex);
    m_impl->databases = names;
}

void ScriptedServer::clearDatabases() {
    std::lock_guard lock(m_impl->configMutex);
    m_impl->databases.reset();
}

std::vector<std::string> ScriptedServer::databases() const {
    std::lock_guard lock(m_impl->configMutex);
    return m_impl->databases.value_or(std::vector<std::string>{});
}

void ScriptedServer::setCertificate(const std::string &chainPem, const std::string &keyPem) {
    std::shared_ptr<const TlsContext> context;
    try {
        context = std::make_shared<const TlsContext>(chainPem, keyPem);
    } catch (const TlsError &e) {
        throw std::invalid_argument(e.what());
    }
    std::lock_guard lock(m_impl->configMutex);
    m_impl->certificate = std::move(context);
}

void ScriptedServer::setEncryption(Encryption mode) {
    std::lock_guard lock(m_impl->configMutex);
    if (mode != Encryption::NotSupported && !m_impl->certificate)
        throw std::logic_error("the scripted server has no certificate to encrypt with (setCertificate)");
    m_impl->encryption = mode;
}

Encryption ScriptedServer::encryption() const {
    std::lock_guard lock(m_impl->configMutex);
    return m_impl->encryption;
}

void ScriptedServer::addRule(Rule rule) {
    insertRule(std::move(rule), false);
}

void ScriptedServer::addFirstRule(Rule rule) {
    insertRule(std::move(rule), true);
}

void ScriptedServer::insertRule(Rule rule, bool first) {
    CompiledRule compiled{std::move(rule), nullptr};
    if (compiled.rule.match == Rule::Match::Pattern) {
        auto flags = std::regex::ECMAScript;
        if (compiled.rule.ignoreCase)
            flags |= std::regex::icase;
        compiled.regex = std::make_shared<const std::regex>(compiled.rule.text, flags);
    }
    std::lock_guard lock(m_impl->rulesMutex);
    auto next = std::make_shared<std::vector<CompiledRule>>(*m_impl->rules);
    next->insert(first ? next->begin() : next->end(), std::move(compiled));
    m_impl->rules = std::move(next);
}

void ScriptedServer::setRules(std::vector<Rule> rules) {
    clearRules();
    for (Rule &r : rules)
        addRule(std::move(r));
}

void ScriptedServer::clearRules() {
    std::lock_guard lock(m_impl->rulesMutex);
    m_impl->rules = std::make_shared<std::vector<CompiledRule>>();
}

void ScriptedServer::dropConnections() {
    std::lock_guard lock(m_impl->connectionsMutex);
    for (Impl::Running &r : m_impl->connections)
        r.connection->drop();
}

int ScriptedServer::openConnections() const {
    std::lock_guard lock(m_impl->connectionsMutex);
    int n = 0;
    for (const Impl::Running &r : m_impl->connections)
        n += r.connection->finished() ? 0 : 1;
    return n;
}

int ScriptedServer::openConnectionsSettled(int n, std::chrono::milliseconds limit) const {
    const auto end = std::chrono::steady_clock::now() + limit;
    int open = openConnections();
    while (open > n && std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        open = openConnections();
    }
    return open;
}

TableModel &ScriptedServer::tables() {
    return m_impl->tables;
}

const TableModel &ScriptedServer::tables() const {
    return m_impl->tables;
}

void ScriptedServer::setEventListener(std::function<void(const Event &)> listener) {
    std::lock_guard lock(m_impl->listenerMutex);
    m_impl->listener = std::move(listener);
}

} // namespace quorix::tds
