#include "tds/Connection.h"

#include "tds/Text.h"

#include <algorithm>
#include <regex>

namespace quorix::tds {

namespace {

// A rule asked for the connection to be dropped.
struct DropRequested {
    std::string why;
};

// Skips ALL_HEADERS at the start of a request.
void skipAllHeaders(Cursor &c) {
    const std::uint32_t total = c.u32();
    if (total < 4 || total - 4 > c.left())
        throw ProtocolError("bad ALL_HEADERS");
    c.take(total - 4);
}

std::string passwordText(const char *data, std::size_t bytes) {
    Bytes plain(data, bytes);
    for (char &ch : plain) {
        const auto b = static_cast<unsigned char>(static_cast<unsigned char>(ch) ^ 0xA5);
        ch = static_cast<char>(((b & 0x0F) << 4) | (b >> 4));
    }
    return utf16ToUtf8(plain);
}

// `USE name`, `USE [name]` with an optional semicolon; the database name, or nullopt.
std::optional<std::string> useTarget(const std::string &text) {
    static const std::regex use(R"(\s*use\s+(\[(?:[^\]]|\]\])+\]|[^\s;\[]+)\s*;?\s*)", std::regex::icase);
    std::smatch m;
    if (text.size() > 300 || !std::regex_match(text, m, use))
        return std::nullopt;
    std::string name = m[1].str();
    if (name.front() == '[') {
        name = name.substr(1, name.size() - 2);
        for (std::size_t p = name.find("]]"); p != std::string::npos; p = name.find("]]", p + 1))
            name.erase(p, 1);
    }
    return name;
}

Message scriptProblem(const std::string &what) {
    return Message{50000, 16, 1, "Scripted server: " + what, {}, 1};
}

bool isError(const ReplyItem &item) {
    const auto *m = std::get_if<Message>(&item);
    return m && m->severity > 10;
}

} // namespace

Connection::Connection(ScriptedServer::Impl &server, int fd, int id)
    : m_server(server), m_channel(fd, static_cast<std::uint16_t>(std::min(50 + id, 0xFFFF))) {
    m_state.connection = id;
    m_prelogin.connection = id;
}

void Connection::recordEvent(Event event) {
    event.connection = m_state.connection;
    m_server.record(std::move(event));
}

void Connection::run() {
    std::string how = "closed by the client";
    try {
        std::uint8_t type = 0;
        Bytes payload;
        bool loggedIn = false;
        while (!loggedIn) {
            m_channel.readMessage(type, payload);
            if (type == kPrelogin) {
                if (m_preloginDone)
                    throw ProtocolError("a second PRELOGIN");
                m_preloginDone = true;
                if (!prelogin(payload))
                    throw DropRequested{"encryption refused"};
            } else if (type == kLogin7) {
                m_prelogin.login = true;
                m_server.notePrelogin(m_prelogin);
                loggedIn = login(payload);
            } else {
                throw ProtocolError("expected PRELOGIN or LOGIN7");
            }
            if (type == kLogin7 && !loggedIn)
                throw DropRequested{"login refused"};
        }
        for (;;) {
            m_channel.readMessage(type, payload);
            if (type == kSqlBatch || type == kRpc || type == kTransaction || type == kBulkLoad)
                m_server.countRequest();
            switch (type) {
            case kSqlBatch:
                batch(payload);
                break;
            case kRpc:
                rpc(payload);
                break;
            case kTransaction:
                transaction(payload);
                break;
            case kBulkLoad:
                bulkLoad(payload);
                break;
            case kAttention:
                attention();
                break;
            default:
                throw ProtocolError("unexpected packet type " + std::to_string(type));
            }
        }
    } catch (const ConnectionClosed &) {
        if (m_server.stopping)
            how = "server stopped";
        else if (m_channel.wasShutDown())
            how = "dropped by the server";
    } catch (const DropRequested &d) {
        how = d.why;
    } catch (const ProtocolError &e) {
        how = std::string("protocol error: ") + e.what();
    }
    m_channel.close();
    m_server.tables.forget(m_state.connection);
    Event e;
    e.kind = Event::Kind::Disconnect;
    e.text = how;
    recordEvent(std::move(e));
    m_finished = true;
}

bool Connection::login(const Bytes &payload) {
    Cursor c(payload);
    c.seek(8);
    const std::uint32_t requested = c.u32();
    c.seek(16);
    const std::uint32_t clientPid = c.u32();
    const auto field = [&](std::size_t at, bool password = false) {
        c.seek(at);
        const std::size_t offset = c.u16();
        const std::size_t chars = c.u16();
        c.seek(offset);
        const char *data = c.take(2 * chars);
        return password ? passwordText(data, 2 * chars) : utf16ToUtf8(data, 2 * chars);
    };
    Event e;
    e.kind = Event::Kind::Login;
    e.hostName = field(36);
    e.clientPid = clientPid;
    e.user = field(40);
    e.password = field(44, true);
    e.appName = field(48);
    e.database = field(68);
    e.packetSize = static_cast<int>(requested);

    std::vector<Message> refusal;
    std::string database = e.database.empty() ? std::string() : e.database;
    {
        std::lock_guard lock(m_server.configMutex);
        if (database.empty())
            database = m_server.defaultDatabase;
    }
    const bool credentials = !e.user.empty() && e.user.find('\\') == std::string::npos &&
                             m_server.loginAccepted(e.user, e.password);
    const std::optional<std::string> found = m_server.findDatabase(database);
    if (credentials && !found)
        refusal.push_back(
            Message{4060,
                    11,
                    1,
                    "Cannot open database \"" + database + "\" requested by the login. The login failed.",
                    {},
                    1});
    if (!credentials || !found)
        refusal.push_back(Message{18456, 14, 1, "Login failed for user '" + e.user + "'.", {}, 1});
    e.accepted = refusal.empty();
    recordEvent(e);

    Bytes out;
    if (!e.accepted) {
        for (const Message &m : refusal)
            putMessage(out, m, m_serverName);
        putDone(out, kTokenDone, kDoneError, 0);
        m_channel.sendMessage(out);
        return false;
    }
    const int packetSize =
        requested == 0 ? 4096 : static_cast<int>(std::clamp<std::uint32_t>(requested, 512, 32767));
    m_state.user = e.user;
    m_state.appName = e.appName;
    m_state.hostName = e.hostName;
    m_state.clientPid = e.clientPid;
    m_state.database = *found;
    putEnvChange(out, 1, m_state.database, "master");
    putMessage(out, Message{5701, 0, 2, "Changed database context to '" + m_state.database + "'.", {}, 1},
               m_serverName);
    putEnvChangeBytes(out, 7, collation(), {});
    putEnvChange(out, 2, "us_english", "");
    putMessage(out, Message{5703, 0, 1, "Changed language setting to us_english.", {}, 1}, m_serverName);
    putLoginAck(out);
    putEnvChange(out, 4, std::to_string(packetSize), "4096");
    putDone(out, kTokenDone, 0, 0);
    m_channel.sendMessage(out);
    m_channel.setPacketSize(packetSize);
    return true;
}

Reply Connection::resolve(const std::string &text) {
    if (std::optional<Reply> r = m_server.answer(text, m_state))
        return std::move(*r);
    if (!m_state.rpc)
        if (std::optional<Reply> r = m_server.tables.bulkStatement(text, m_state, m_bulk))
            return std::move(*r);
    if (std::optional<Reply> r = m_server.tables.answer(text, m_state))
        return std::move(*r);
    if (m_state.rpc)
        return Reply::done();
    if (const std::optional<std::string> target = useTarget(text)) {
        if (const std::optional<std::string> found = m_server.findDatabase(*target)) {
            Reply r;
            r.useDatabase = *found;
            return r;
        }
        return Reply::error(911, "Database '" + *target +
                                     "' does not exist. Make sure that the name is entered correctly.");
    }
    return Reply::done();
}

void Connection::batch(const Bytes &payload) {
    Cursor c(payload);
    skipAllHeaders(c);
    Event e;
    e.kind = Event::Kind::Batch;
    const std::size_t bytes = c.left() & ~std::size_t(1);
    e.text = utf16ToUtf8(c.take(bytes), bytes);
    recordEvent(e);
    m_state.rpc = false;
    m_state.procedure.clear();
    m_state.params.clear();
    const Reply reply = resolve(e.text);
    bool error = false;
    m_channel.begin();
    emit(reply, false, error);
    m_channel.finish();
}

void Connection::cancelled() {
    Bytes b;
    putDone(b, kTokenDone, kDoneAttn, 0);
    m_channel.append(b);
    m_channel.clearAttention();
    Event e;
    e.kind = Event::Kind::Cancel;
    recordEvent(e);
}

void Connection::attention() {
    Event e;
    e.kind = Event::Kind::Cancel;
    recordEvent(e);
    Bytes b;
    putDone(b, kTokenDone, kDoneAttn, 0);
    m_channel.sendMessage(b);
}

bool Connection::emitResultSet(const ResultSet &set, std::uint8_t doneToken, std::uint16_t moreBit) {
    std::vector<TypeDesc> types;
    Bytes b;
    try {
        for (std::size_t i = 0; i < set.columns.size(); ++i)
            types.push_back(describeColumn(set.columns[i], &set.rows, i));
    } catch (const std::invalid_argument &ex) {
        putMessage(b, scriptProblem(ex.what()), m_serverName);
        putDone(b, doneToken, kDoneError | moreBit, 0);
        m_channel.append(b);
        return true;
    }
    putColMetadata(b, set.columns, types);
    m_channel.append(b);
    std::uint64_t sent = 0;
    for (const Row &row : set.rows) {
        b.clear();
        try {
            if (row.size() != types.size())
                throw std::invalid_argument("a row has " + std::to_string(row.size()) + " values for " +
                                            std::to_string(types.size()) + " columns");
            put8(b, 0xD1);
            for (std::size_t i = 0; i < types.size(); ++i)
                putValue(b, types[i], row[i]);
        } catch (const std::invalid_argument &ex) {
            b.clear();
            putMessage(b, scriptProblem(ex.what()), m_serverName);
            putDone(b, doneToken, kDoneError | moreBit, sent);
            m_channel.append(b);
            return true;
        }
        m_channel.append(b);
        ++sent;
        if (m_channel.attentionSeen())
            return false;
    }
    b.clear();
    putDone(b, doneToken, kDoneCount | moreBit, sent, 0xC1);
    m_channel.append(b);
    return !m_channel.attentionSeen();
}

Connection::Outcome Connection::emit(const Reply &reply, bool inProc, bool &error) {
    if (reply.delay.count() > 0 && m_channel.waitForAttention(static_cast<int>(reply.delay.count()))) {
        cancelled();
        return Outcome::Cancelled;
    }
    if (reply.dropConnection)
        throw DropRequested{"dropped by a rule"};
    const std::uint8_t doneToken = inProc ? kTokenDoneInProc : kTokenDone;
    const auto &items = reply.items;
    // Whether a DONE must close the reply after the items (the last item left a statement open).
    const bool trailingDone = items.empty() || reply.useDatabase ||
                              (std::holds_alternative<Message>(items.back()) && !isError(items.back()));
    Bytes b;
    for (std::size_t i = 0; i < items.size(); ++i) {
        const bool last = i + 1 == items.size() && !trailingDone && !inProc;
        const std::uint16_t more = last ? 0 : kDoneMore;
        b.clear();
        if (const auto *m = std::get_if<Message>(&items[i])) {
            putMessage(b, *m, m_serverName);
            if (isError(items[i])) {
                error = true;
                if (i + 1 == items.size() || !std::holds_alternative<Message>(items[i + 1]))
                    putDone(b, doneToken, kDoneError | more, 0);
            }
            m_channel.append(b);
        } else if (const auto *rc = std::get_if<RowCount>(&items[i])) {
            putDone(b, doneToken, kDoneCount | more, rc->count);
            m_channel.append(b);
        } else if (!emitResultSet(std::get<ResultSet>(items[i]), doneToken, more)) {
            cancelled();
            return Outcome::Cancelled;
        }
        if (m_channel.attentionSeen()) {
            cancelled();
            return Outcome::Cancelled;
        }
    }
    b.clear();
    if (reply.useDatabase) {
        putEnvChange(b, 1, *reply.useDatabase, m_state.database);
        putMessage(b, Message{5701, 0, 1, "Changed database context to '" + *reply.useDatabase + "'.", {}, 1},
                   m_serverName);
        m_state.database = *reply.useDatabase;
    }
    if (trailingDone)
        putDone(b, doneToken, inProc ? kDoneMore : 0, 0);
    m_channel.append(b);
    return Outcome::Done;
}

void Connection::transaction(const Bytes &payload) {
    Cursor c(payload);
    skipAllHeaders(c);
    const std::uint16_t request = c.u16();
    Event e;
    e.kind = Event::Kind::Transaction;
    Bytes out;
    const auto begin = [&] {
        std::uint64_t id = ++m_transactionCounter + (static_cast<std::uint64_t>(m_state.connection) << 32);
        m_transaction.clear();
        put64(m_transaction, id);
        putEnvChangeBytes(out, 8, m_transaction, {});
    };
    if (request == 5) {
        e.text = "BEGIN";
        begin();
    } else if (request == 7 || request == 8) {
        e.text = request == 7 ? "COMMIT" : "ROLLBACK";
        readBVarchar(c);
        const bool again = !c.atEnd() && (c.u8() & 0x01);
        putEnvChangeBytes(out, request == 7 ? 9 : 10, {}, m_transaction);
        m_transaction = Bytes(8, '\0');
        if (again) {
            e.text += ", BEGIN";
            begin();
        }
    } else {
        e.text = "request " + std::to_string(request);
    }
    recordEvent(e);
    putDone(out, kTokenDone, 0, 0);
    m_channel.sendMessage(out);
}

} // namespace quorix::tds
