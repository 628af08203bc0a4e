// RPC requests: sp_executesql, the prepare/execute family, and calls of any other procedure.

#include "tds/Connection.h"

#include "tds/Text.h"
#include "tds/ValueText.h"

#include <algorithm>

namespace quorix::tds {

namespace {

constexpr std::size_t kMaxParameters = 2100;

const char *systemProcedure(std::uint16_t id) {
    static const char *const names[] = {nullptr,
                                        "sp_cursor",
                                        "sp_cursoropen",
                                        "sp_cursorprepare",
                                        "sp_cursorexecute",
                                        "sp_cursorprepexec",
                                        "sp_cursorunprepare",
                                        "sp_cursorfetch",
                                        "sp_cursoroption",
                                        "sp_cursorclose",
                                        "sp_executesql",
                                        "sp_prepare",
                                        "sp_execute",
                                        "sp_prepexec",
                                        "sp_prepexecrpc",
                                        "sp_unprepare"};
    return id < std::size(names) ? names[id] : nullptr;
}

std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c; });
    return s;
}

TypeDesc intType() {
    TypeDesc d;
    d.type = SqlType::Int;
    d.token = 0x26;
    d.maxLen = 4;
    return d;
}

// RETURNVALUE carries NULL only in a nullable type; fixed-length types have nullable twins.
TypeDesc nullable(TypeDesc d) {
    if (!d.fixed)
        return d;
    d.fixed = false;
    switch (d.type) {
    case SqlType::Bit:
        d.token = 0x68;
        break;
    case SqlType::Float:
    case SqlType::Real:
        d.token = 0x6D;
        break;
    case SqlType::Money:
        d.token = 0x6E;
        break;
    case SqlType::DateTime:
        d.token = 0x6F;
        break;
    default:
        d.token = 0x26;
        if (d.maxLen == 0)
            d.maxLen = 4;
    }
    return d;
}

} // namespace

bool Connection::readCall(Cursor &c, std::string &procedure, std::vector<CallParam> &params) {
    if (c.atEnd())
        return false;
    const std::uint16_t nameLength = c.u16();
    if (nameLength == 0xFFFF) {
        const std::uint16_t id = c.u16();
        const char *name = systemProcedure(id);
        procedure = name ? name : "procedure #" + std::to_string(id);
    } else {
        procedure = utf16ToUtf8(c.take(2u * nameLength), 2u * nameLength);
    }
    c.u16(); // option flags
    params.clear();
    while (!c.atEnd()) {
        const std::uint8_t next = c.peek();
        if (next == 0xFF || next == 0xFE || next == 0x80) { // the next call follows
            c.u8();
            break;
        }
        CallParam p;
        p.param.name = readBVarchar(c);
        p.param.output = (c.u8() & 0x01) != 0;
        p.type = readTypeInfo(c);
        p.param.type = p.type.type;
        const bool wide = p.type.token == 0xE7 || p.type.token == 0xEF;
        if (p.type.lenBytes == 2)
            p.param.length = p.type.maxLen / (wide ? 2 : 1);
        p.param.precision = p.type.precision;
        p.param.scale = p.type.scale;
        p.param.value = readValue(c, p.type);
        params.push_back(std::move(p));
    }
    return true;
}

void Connection::rpc(const Bytes &payload) {
    Cursor c(payload);
    const std::uint32_t total = c.u32();
    if (total < 4 || total - 4 > c.left())
        throw ProtocolError("bad ALL_HEADERS");
    c.take(total - 4);
    m_channel.begin();
    std::string procedure;
    std::vector<CallParam> params;
    while (readCall(c, procedure, params)) {
        bool error = false;
        if (call(procedure, params, error) == Outcome::Cancelled)
            break;
        Bytes b;
        putDone(b, kTokenDoneProc, (c.atEnd() ? 0 : kDoneMore) | (error ? kDoneError : 0), 0);
        m_channel.append(b);
    }
    m_channel.finish();
}

Connection::Outcome Connection::call(const std::string &procedure, std::vector<CallParam> &params,
                                     bool &error) {
    const std::string name = lower(procedure);
    const auto text = [&](std::size_t i) {
        return i < params.size() && params[i].param.value ? *params[i].param.value : std::string();
    };
    const auto valuesFrom = [&](std::size_t i) {
        std::vector<Param> v;
        for (; i < params.size(); ++i)
            v.push_back(params[i].param);
        return v;
    };
    const auto handleAt = [&](std::size_t i) {
        try {
            return static_cast<int>(parseInteger(text(i), INT32_MIN, INT32_MAX));
        } catch (const std::invalid_argument &) {
            return -1;
        }
    };

    Event e;
    e.kind = Event::Kind::Rpc;
    e.procedure = procedure;
    std::optional<Reply> fixedReply;
    bool prepareOnly = false;
    bool returnsHandle = false;
    bool userProcedure = false;
    if (name == "sp_executesql") {
        e.text = text(0);
        e.declarations = text(1);
        e.params = valuesFrom(2);
    } else if (name == "sp_prepexec" || name == "sp_prepare") {
        e.handle = m_nextHandle++;
        e.text = text(2);
        e.declarations = text(1);
        if (name == "sp_prepexec")
            e.params = valuesFrom(3);
        m_prepared[e.handle] = Prepared{e.text, e.declarations};
        returnsHandle = true;
        prepareOnly = name == "sp_prepare";
    } else if (name == "sp_execute" || name == "sp_unprepare") {
        e.handle = handleAt(0);
        const auto it = m_prepared.find(e.handle);
        if (it == m_prepared.end()) {
            fixedReply = Reply::error(8179, "Could not find prepared statement with handle " +
                                                (params.empty() ? std::string("(null)") : text(0)) + ".");
        } else {
            e.text = it->second.statement;
            e.declarations = it->second.declarations;
            if (name == "sp_unprepare") {
                m_prepared.erase(it);
                fixedReply = Reply::done();
            }
        }
        if (name == "sp_execute")
            e.params = valuesFrom(1);
    } else if (name.rfind("sp_cursor", 0) == 0) {
        e.params = valuesFrom(0);
        fixedReply =
            Reply::error(50000, "Scripted server: server cursors (" + procedure + ") are not supported.");
    } else {
        e.text = procedure;
        e.params = valuesFrom(0);
        userProcedure = true;
    }
    // The server counts every parameter of the call, those of sp_prepexec and sp_executesql included.
    if (params.size() > kMaxParameters) {
        fixedReply = Reply::error(8003, "The incoming request has too many parameters. The server supports a "
                                        "maximum of 2100 parameters. Reduce the number of parameters and "
                                        "resend the request.");
        if (returnsHandle)
            m_prepared.erase(e.handle);
        returnsHandle = prepareOnly = false;
    }
    recordEvent(e);
    m_state.rpc = true;
    m_state.procedure = procedure;
    m_state.params = e.params;

    Bytes b;
    Reply reply;
    if (prepareOnly) {
        if (const std::optional<ResultSet> set = m_server.metadataFor(e.text, m_state.database)) {
            try {
                std::vector<TypeDesc> types;
                for (std::size_t i = 0; i < set->columns.size(); ++i)
                    types.push_back(describeColumn(set->columns[i], &set->rows, i));
                putColMetadata(b, set->columns, types);
            } catch (const std::invalid_argument &) {
                b.clear(); // the execution reports the bad script
            }
        } else if (const std::optional<Message> refused =
                       m_server.tables.prepareRefusal(e.text, m_state.database)) {
            putMessage(b, *refused, m_serverName);
            error = true;
        }
    } else {
        reply = fixedReply ? std::move(*fixedReply) : resolve(e.text);
        if (emit(reply, true, error) == Outcome::Cancelled)
            return Outcome::Cancelled;
    }
    putReturnStatus(b, reply.returnStatus);
    if (returnsHandle && !params.empty())
        putReturnValue(b, 0, params[0].param.name, intType(), std::to_string(e.handle));
    if (userProcedure) {
        std::size_t k = 0;
        for (std::size_t i = 0; i < params.size(); ++i) {
            if (!params[i].param.output)
                continue;
            const Value value = k < reply.outputs.size() ? reply.outputs[k] : std::nullopt;
            ++k;
            try {
                Bytes one;
                putReturnValue(one, static_cast<std::uint16_t>(i), params[i].param.name,
                               nullable(params[i].type), value);
                b += one;
            } catch (const std::invalid_argument &ex) {
                putMessage(b, Message{50000, 16, 1, std::string("Scripted server: ") + ex.what(), {}, 1},
                           m_serverName);
                error = true;
            }
        }
    }
    m_channel.append(b);
    return Outcome::Done;
}

} // namespace quorix::tds
