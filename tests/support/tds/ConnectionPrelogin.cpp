// PRELOGIN: the client's offer of encryption, the server's answer, and the TLS handshake that the answer
// may call for, carried inside PRELOGIN packets both ways.

#include "tds/Connection.h"
#include "tds/Tls.h"

namespace quorix::tds {

namespace {

enum class Tls { None, LoginOnly, Session, Refuse };

struct Agreed {
    Encryption answer;
    Tls tls;
};

// The server's answer to the client's offer, as SQL Server gives it for each setting.
Agreed agree(Encryption server, std::optional<Encryption> client) {
    const bool clientHasNone = !client || *client == Encryption::NotSupported;
    const bool clientWantsAll = client && (*client == Encryption::On || *client == Encryption::Required);
    switch (server) {
    case Encryption::Off:
        if (clientHasNone)
            return {Encryption::NotSupported, Tls::None};
        return clientWantsAll ? Agreed{Encryption::On, Tls::Session}
                              : Agreed{Encryption::Off, Tls::LoginOnly};
    case Encryption::On:
        return {Encryption::On, Tls::Session};
    case Encryption::Required:
        return {Encryption::Required, clientHasNone ? Tls::Refuse : Tls::Session};
    default:
        return {Encryption::NotSupported, Tls::None};
    }
}

std::size_t bigEndian16(Cursor &c) {
    const std::size_t high = c.u8();
    return (high << 8) | c.u8();
}

// The ENCRYPTION option of a client's PRELOGIN, if it has one.
std::optional<Encryption> offeredEncryption(const Bytes &payload) {
    Cursor c(payload);
    for (;;) {
        const std::uint8_t token = c.u8();
        if (token == 0xFF)
            return std::nullopt;
        const std::size_t offset = bigEndian16(c);
        const std::size_t length = bigEndian16(c);
        if (token != 1)
            continue;
        if (length < 1 || offset >= payload.size())
            throw ProtocolError("bad PRELOGIN ENCRYPTION option");
        return static_cast<Encryption>(static_cast<std::uint8_t>(payload[offset]));
    }
}

} // namespace

bool Connection::prelogin(const Bytes &payload) {
    Encryption setting;
    std::shared_ptr<const TlsContext> certificate;
    {
        std::lock_guard lock(m_server.configMutex);
        setting = m_server.encryption;
        certificate = m_server.certificate;
    }
    m_prelogin.offered = offeredEncryption(payload);
    const Agreed agreed = agree(setting, m_prelogin.offered);
    m_prelogin.answered = agreed.answer;
    m_server.notePrelogin(m_prelogin);

    // VERSION 16.0.1000, ENCRYPTION, INSTOPT 00, an empty THREADID, MARS 00.
    Bytes reply("\x00\x00\x1A\x00\x06"
                "\x01\x00\x20\x00\x01"
                "\x02\x00\x21\x00\x01"
                "\x03\x00\x22\x00\x00"
                "\x04\x00\x22\x00\x01"
                "\xFF"
                "\x10\x00\x03\xE8\x00\x00"
                "\x02"
                "\x00"
                "\x00",
                35);
    reply[32] = static_cast<char>(agreed.answer);
    m_channel.sendMessage(reply);
    if (agreed.tls == Tls::Refuse)
        return false;
    if (agreed.tls != Tls::None)
        handshake(std::move(certificate), agreed.tls == Tls::LoginOnly);
    return true;
}

void Connection::handshake(std::shared_ptr<const TlsContext> certificate, bool loginOnly) {
    auto tls = std::make_unique<TlsSession>(std::move(certificate));
    std::uint8_t type = 0;
    Bytes payload;
    for (bool done = false; !done;) {
        m_channel.readMessage(type, payload);
        if (type != kPrelogin)
            throw ProtocolError("expected the TLS handshake in PRELOGIN packets, got packet type " +
                                std::to_string(type));
        Bytes reply;
        try {
            done = tls->handshake(payload, reply);
        } catch (const TlsError &) {
            if (!reply.empty()) // the alert that says why
                m_channel.sendMessage(reply, kPrelogin);
            throw;
        }
        if (!reply.empty())
            m_channel.sendMessage(reply, kPrelogin);
    }
    m_prelogin.tls = true;
    m_prelogin.tlsProtocol = tls->protocol();
    m_prelogin.loginOnly = loginOnly;
    m_server.notePrelogin(m_prelogin);
    m_channel.startTls(std::move(tls), loginOnly);
}

} // namespace quorix::tds
