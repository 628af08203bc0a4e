#include "tds/Wire.h"

#include "tds/Text.h"
#include "tds/Tls.h"

#include <algorithm>
#include <cerrno>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace quorix::tds {

namespace {
constexpr std::size_t kHeader = 8;
constexpr std::size_t kMaxPacket = 32767;
} // namespace

Channel::Channel(int fd, std::uint16_t spid) : m_fd(fd), m_spid(spid) {}

Channel::~Channel() {
    close();
}

void Channel::startTls(std::unique_ptr<TlsSession> session, bool loginOnly) {
    m_tls = std::move(session);
    m_tlsLoginOnly = loginOnly;
    // Whatever came after the handshake's last PRELOGIN packet is already ciphertext.
    const Bytes early = m_in.substr(m_inPos);
    m_in.erase(m_inPos);
    m_tlsStart = m_in.size();
    received(early.data(), early.size());
}

void Channel::received(const char *data, std::size_t n) {
    if (!m_tls) {
        m_in.append(data, n);
        return;
    }
    m_tls->receive(data, n);
    while (m_tls->decryptRecord(m_in)) {
        if (!m_tlsLoginOnly || m_in.size() - m_tlsStart < kHeader)
            continue;
        const auto *h = reinterpret_cast<const unsigned char *>(m_in.data() + m_tlsStart);
        const std::size_t length = (static_cast<std::size_t>(h[2]) << 8) | h[3];
        if (m_in.size() - m_tlsStart < length)
            continue;
        // The login's packet is whole: as the client does, leave TLS; what follows is clear.
        const Bytes rest = m_tls->takeUndecrypted();
        m_tls.reset();
        m_in += rest;
        return;
    }
}

void Channel::shutdown() {
    std::lock_guard lock(m_fdMutex);
    m_shutDown = true;
    if (m_fd >= 0)
        ::shutdown(m_fd, SHUT_RDWR);
}

void Channel::close() {
    std::lock_guard lock(m_fdMutex);
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

bool Channel::fill(int timeoutMs) {
    if ((m_inPos > 0 && m_inPos == m_in.size()) || m_inPos > 65536) {
        m_in.erase(0, m_inPos);
        m_tlsStart -= std::min(m_tlsStart, m_inPos);
        m_inPos = 0;
    }
    pollfd p{m_fd, POLLIN, 0};
    for (;;) {
        const int r = ::poll(&p, 1, timeoutMs);
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0)
            throw ConnectionClosed();
        if (r == 0)
            return false;
        break;
    }
    char buf[65536];
    for (;;) {
        const ssize_t n = ::recv(m_fd, buf, sizeof buf, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            throw ConnectionClosed();
        received(buf, static_cast<std::size_t>(n));
        return true;
    }
}

bool Channel::havePacket(std::size_t &length) const {
    const std::size_t avail = m_in.size() - m_inPos;
    if (avail < kHeader)
        return false;
    const auto *h = reinterpret_cast<const unsigned char *>(m_in.data() + m_inPos);
    length = (static_cast<std::size_t>(h[2]) << 8) | h[3];
    if (length < kHeader || length > kMaxPacket)
        throw ProtocolError("bad packet length");
    return avail >= length;
}

void Channel::readMessage(std::uint8_t &type, Bytes &payload) {
    payload.clear();
    for (;;) {
        std::size_t length = 0;
        while (!havePacket(length))
            fill(-1);
        const char *h = m_in.data() + m_inPos;
        type = static_cast<std::uint8_t>(h[0]);
        const bool last = (static_cast<std::uint8_t>(h[1]) & 0x01) != 0;
        payload.append(h + kHeader, length - kHeader);
        m_inPos += length;
        if (last || type == kAttention)
            return;
    }
}

// Looks through the buffered packets for an ATTENTION and removes it.
bool Channel::scanForAttention() {
    std::size_t pos = m_inPos;
    while (m_in.size() - pos >= kHeader) {
        const auto *h = reinterpret_cast<const unsigned char *>(m_in.data() + pos);
        const std::size_t length = (static_cast<std::size_t>(h[2]) << 8) | h[3];
        if (length < kHeader || m_in.size() - pos < length)
            break;
        if (h[0] == kAttention) {
            m_in.erase(pos, length);
            return true;
        }
        pos += length;
    }
    return false;
}

bool Channel::waitForAttention(int timeoutMs) {
    if (scanForAttention())
        return true;
    if (timeoutMs <= 0) {
        while (fill(0))
            if (scanForAttention())
                return true;
        return false;
    }
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0)
            return false;
        if (fill(static_cast<int>(left)) && scanForAttention())
            return true;
    }
}

void Channel::writeAll(const char *data, std::size_t n) {
    Bytes cipher;
    if (m_tls && !m_tlsLoginOnly) {
        cipher = m_tls->encrypt(data, n);
        data = cipher.data();
        n = cipher.size();
    }
    while (n > 0) {
        const ssize_t w = ::send(m_fd, data, n, MSG_NOSIGNAL);
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0)
            throw ConnectionClosed();
        data += w;
        n -= static_cast<std::size_t>(w);
    }
}

void Channel::sendPacket(const char *data, std::size_t n, bool last, std::uint8_t type) {
    m_packet.clear();
    put8(m_packet, type);
    put8(m_packet, last ? 1 : 0);
    put16be(m_packet, static_cast<std::uint32_t>(n + kHeader));
    put16be(m_packet, m_spid);
    put8(m_packet, m_packetId++);
    put8(m_packet, 0);
    m_packet.append(data, n);
    writeAll(m_packet.data(), m_packet.size());
}

void Channel::sendMessage(const Bytes &payload, std::uint8_t type) {
    if (type != kReply) { // not streamed: nothing to look for meanwhile
        const std::size_t body = static_cast<std::size_t>(m_packetSize) - kHeader;
        for (std::size_t pos = 0; pos < payload.size(); pos += body)
            sendPacket(payload.data() + pos, std::min(body, payload.size() - pos),
                       pos + body >= payload.size(), type);
        return;
    }
    begin();
    append(payload);
    finish();
}

void Channel::append(const Bytes &tokens) {
    m_out += tokens;
    const std::size_t body = static_cast<std::size_t>(m_packetSize) - kHeader;
    if (m_out.size() <= body)
        return;
    // Keep at least one byte back so that finish() always has a packet to mark EOM.
    std::size_t pos = 0;
    while (m_out.size() - pos > body) {
        sendPacket(m_out.data() + pos, body, false);
        pos += body;
    }
    m_out.erase(0, pos);
    if (!m_attention && waitForAttention(0))
        m_attention = true;
}

void Channel::finish() {
    sendPacket(m_out.data(), m_out.size(), true);
    m_out.clear();
}

void putDone(Bytes &b, std::uint8_t token, std::uint16_t status, std::uint64_t count, std::uint16_t curCmd) {
    put8(b, token);
    put16(b, status);
    put16(b, curCmd);
    put64(b, count);
}

void putMessage(Bytes &b, const Message &m, const std::string &server) {
    Bytes body;
    put32(body, static_cast<std::uint32_t>(m.number));
    put8(body, static_cast<std::uint32_t>(m.state));
    put8(body, static_cast<std::uint32_t>(m.severity));
    putUsVarchar(body, m.text);
    putBVarchar(body, server);
    putBVarchar(body, m.procedure);
    put32(body, static_cast<std::uint32_t>(m.line));
    put8(b, m.severity > 10 ? 0xAA : 0xAB);
    put16(b, static_cast<std::uint32_t>(body.size()));
    b += body;
}

void putEnvChange(Bytes &b, std::uint8_t type, const std::string &newValue, const std::string &oldValue) {
    Bytes body;
    put8(body, type);
    putBVarchar(body, newValue);
    putBVarchar(body, oldValue);
    put8(b, 0xE3);
    put16(b, static_cast<std::uint32_t>(body.size()));
    b += body;
}

void putEnvChangeBytes(Bytes &b, std::uint8_t type, const Bytes &newValue, const Bytes &oldValue) {
    put8(b, 0xE3);
    put16(b, static_cast<std::uint32_t>(3 + newValue.size() + oldValue.size()));
    put8(b, type);
    put8(b, static_cast<std::uint32_t>(newValue.size()));
    b += newValue;
    put8(b, static_cast<std::uint32_t>(oldValue.size()));
    b += oldValue;
}

void putLoginAck(Bytes &b) {
    Bytes body;
    put8(body, 1);           // SQL interface
    put32(body, 0x04000074); // TDS 7.4, sent as 74 00 00 04
    putBVarchar(body, "Microsoft SQL Server");
    put8(body, 16); // 16.0.1000
    put8(body, 0);
    put8(body, 0x03);
    put8(body, 0xE8);
    put8(b, 0xAD);
    put16(b, static_cast<std::uint32_t>(body.size()));
    b += body;
}

void putColMetadata(Bytes &b, const std::vector<Column> &columns, const std::vector<TypeDesc> &types) {
    put8(b, 0x81);
    put16(b, static_cast<std::uint32_t>(columns.size()));
    for (std::size_t i = 0; i < columns.size(); ++i) {
        put32(b, 0); // user type
        put16(b, (columns[i].nullable ? 0x01 : 0x00) | 0x08 | (columns[i].identity ? 0x10 : 0x00));
        putTypeInfo(b, types[i]);
        putBVarchar(b, columns[i].name);
    }
}

void putReturnStatus(Bytes &b, std::int32_t status) {
    put8(b, 0x79);
    put32(b, static_cast<std::uint32_t>(status));
}

void putReturnValue(Bytes &b, std::uint16_t ordinal, const std::string &name, const TypeDesc &type,
                    const Value &value) {
    put8(b, 0xAC);
    put16(b, ordinal);
    putBVarchar(b, name);
    put8(b, 0x01);
    put32(b, 0);
    put16(b, 0x01);
    putTypeInfo(b, type);
    putValue(b, type, value);
}

} // namespace quorix::tds
