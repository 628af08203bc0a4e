#include "core/db/secure/ServerProbe.h"

#include "core/db/ConnectionString.h"
#include "core/db/secure/TcpLink.h"
#include "core/db/secure/TlsGreeting.h"

#include <QElapsedTimer>
#include <QRandomGenerator>

namespace quorix {

namespace {

constexpr char kPrelogin = 0x12;

QByteArray tdsPacket(char type, const QByteArray &payload) {
    QByteArray p;
    p += type;
    p += '\x01'; // end of message
    const int length = static_cast<int>(payload.size()) + 8;
    p += static_cast<char>((length >> 8) & 0xff);
    p += static_cast<char>(length & 0xff);
    p += QByteArray(4, '\0'); // SPID, packet id, window
    return p + payload;
}

// Reads whole TDS packets off the link; the payloads, and whether the last one ended the message.
class PacketReader {
public:
    PacketReader(TcpLink &link, int timeoutMs) : m_link(link), m_timeout(timeoutMs) { m_clock.start(); }
    // The next packet's payload; nullopt when the link ended or the time ran out.
    std::optional<QByteArray> next(bool *endOfMessage) {
        while (true) {
            if (m_buffer.size() >= 8) {
                const int length =
                    (static_cast<unsigned char>(m_buffer[2]) << 8) | static_cast<unsigned char>(m_buffer[3]);
                if (length < 8)
                    return std::nullopt;
                if (m_buffer.size() >= length) {
                    if (endOfMessage)
                        *endOfMessage = (m_buffer[1] & 0x01) != 0;
                    QByteArray payload = m_buffer.mid(8, length - 8);
                    m_buffer.remove(0, length);
                    return payload;
                }
            }
            const int left = m_timeout - static_cast<int>(m_clock.elapsed());
            const QByteArray more = left > 0 ? m_link.receive(16384, left) : QByteArray();
            if (more.isEmpty())
                return std::nullopt;
            m_buffer += more;
        }
    }
    int left() const { return std::max(1, m_timeout - static_cast<int>(m_clock.elapsed())); }

private:
    TcpLink &m_link;
    int m_timeout;
    QElapsedTimer m_clock;
    QByteArray m_buffer;
};

QByteArray randomBytes() {
    QByteArray r(32, '\0');
    QRandomGenerator::system()->fillRange(reinterpret_cast<quint32 *>(r.data()), 8);
    return r;
}

void readGreeting(ServerProbe &probe, TcpLink &link, const QString &host, bool strict, int timeoutMs) {
    const QByteArray hello =
        tlsClientHello(host, randomBytes(), strict ? QByteArray("tds/8.0") : QByteArray());
    if (!link.send(strict ? hello : tdsPacket(kPrelogin, hello))) {
        probe.failure = QStringLiteral("the TLS greeting could not be sent");
        return;
    }
    TlsGreetingReader reader;
    PacketReader packets(link, timeoutMs);
    while (!reader.finished()) {
        if (strict) {
            const QByteArray more = link.receive(16384, packets.left());
            if (more.isEmpty())
                break;
            reader.feed(more);
            continue;
        }
        const auto payload = packets.next(nullptr);
        if (!payload)
            break;
        reader.feed(*payload);
    }
    if (reader.certificate()) {
        probe.certificate = parseCertificate(*reader.certificate());
        if (!probe.certificate)
            probe.failure = QStringLiteral("the server's certificate could not be read");
    } else {
        probe.failure = reader.failure().isEmpty() ? QStringLiteral("the server sent no TLS greeting in time")
                                                   : reader.failure();
    }
}

} // namespace

QByteArray preloginPacket(PreloginEncryption offer) {
    // VERSION, ENCRYPTION, INSTOPT, THREADID, MARS, then their data (offsets from the payload's start).
    const QByteArray table = QByteArray::fromHex("00001a0006"
                                                 "0100200001"
                                                 "0200210001"
                                                 "0300220004"
                                                 "0400260001"
                                                 "ff");
    QByteArray data = QByteArray::fromHex("090000000000");
    data += static_cast<char>(offer);
    data += '\0';                // INSTOPT: the default instance
    data += QByteArray(4, '\0'); // THREADID
    data += '\0';                // MARS off
    return tdsPacket(kPrelogin, table + data);
}

std::optional<PreloginEncryption> preloginEncryption(const QByteArray &payload) {
    for (qsizetype i = 0; i + 4 < payload.size() && static_cast<unsigned char>(payload[i]) != 0xff; i += 5) {
        if (payload[i] != 1)
            continue;
        const int offset =
            (static_cast<unsigned char>(payload[i + 1]) << 8) | static_cast<unsigned char>(payload[i + 2]);
        if (offset >= payload.size())
            return std::nullopt;
        const int v = static_cast<unsigned char>(payload[offset]);
        if (v > 3)
            return std::nullopt;
        return static_cast<PreloginEncryption>(v);
    }
    return std::nullopt;
}

ServerProbe probeServer(const ProbeRequest &request) {
    ServerProbe probe;
    const ServerAddress a = parseServerAddress(request.server);
    if (a.port == 0 && !a.instance.isEmpty()) {
        probe.failure = QStringLiteral("a named instance without a port is not probed");
        return probe;
    }
    TcpLink link;
    probe.failure = link.connectTo(a.host, a.port ? a.port : 1433, request.timeoutMs);
    if (!probe.failure.isEmpty())
        return probe;
    probe.reached = true;
    if (request.strict) {
        readGreeting(probe, link, a.host, true, request.timeoutMs);
        return probe;
    }
    if (!link.send(preloginPacket(request.offer))) {
        probe.failure = QStringLiteral("the server closed the connection");
        return probe;
    }
    PacketReader packets(link, request.timeoutMs);
    QByteArray reply;
    bool end = false;
    while (!end) {
        const auto payload = packets.next(&end);
        if (!payload) {
            probe.failure = QStringLiteral("the server gave no PRELOGIN answer");
            return probe;
        }
        reply += *payload;
    }
    probe.encryption = preloginEncryption(reply);
    if (!probe.encryption) {
        probe.failure = QStringLiteral("the server's PRELOGIN answer could not be read");
        return probe;
    }
    if (request.certificate) {
        if (*probe.encryption == PreloginEncryption::NotSupported)
            probe.failure = QStringLiteral("the server offers no encryption");
        else
            readGreeting(probe, link, a.host, false, packets.left());
    }
    return probe;
}

} // namespace quorix
