#include "core/db/secure/TlsGreeting.h"

#include <QtEndian>

namespace quorix {

namespace {

void put16(QByteArray &out, int v) {
    out += static_cast<char>((v >> 8) & 0xff);
    out += static_cast<char>(v & 0xff);
}

void put24(QByteArray &out, int v) {
    out += static_cast<char>((v >> 16) & 0xff);
    put16(out, v);
}

QByteArray extension(int type, const QByteArray &body) {
    QByteArray e;
    put16(e, type);
    put16(e, static_cast<int>(body.size()));
    return e + body;
}

bool isIpAddress(const QString &host) {
    if (host.contains(QLatin1Char(':')))
        return true;
    for (const QChar c : host)
        if (!c.isDigit() && c != QLatin1Char('.'))
            return false;
    return true;
}

int be24(const QByteArray &b, qsizetype at) {
    return (static_cast<unsigned char>(b[at]) << 16) | (static_cast<unsigned char>(b[at + 1]) << 8) |
           static_cast<unsigned char>(b[at + 2]);
}

int be16(const QByteArray &b, qsizetype at) {
    return (static_cast<unsigned char>(b[at]) << 8) | static_cast<unsigned char>(b[at + 1]);
}

} // namespace

QByteArray tlsClientHello(const QString &serverName, const QByteArray &random32, const QByteArray &alpn) {
    // The suites SQL Server's and OpenSSL's TLS 1.2 stacks choose from, strongest first.
    static const int suites[] = {0xc02f, 0xc030, 0xc02b, 0xc02c, 0x009e, 0x009f, 0x009c, 0x009d,
                                 0xc013, 0xc014, 0xc009, 0xc00a, 0x003c, 0x002f, 0x0035};
    QByteArray hello;
    put16(hello, 0x0303);
    hello += random32.left(32).leftJustified(32, '\0');
    hello += '\0'; // no session to resume
    put16(hello, static_cast<int>(std::size(suites) * 2));
    for (int s : suites)
        put16(hello, s);
    hello += '\x01';
    hello += '\0'; // no compression
    QByteArray ext;
    if (!serverName.isEmpty() && !isIpAddress(serverName)) {
        const QByteArray name = serverName.toLatin1();
        QByteArray list;
        list += '\0';
        put16(list, static_cast<int>(name.size()));
        list += name;
        QByteArray body;
        put16(body, static_cast<int>(list.size()));
        ext += extension(0x0000, body + list);
    }
    ext += extension(0x000a, QByteArray::fromHex("0008001d001700180019")); // groups
    ext += extension(0x000b, QByteArray::fromHex("0100"));                 // point formats
    ext += extension(0x000d, QByteArray::fromHex("0012040105010601080408050806040305030603")); // signatures
    ext += extension(0xff01, QByteArray::fromHex("00")); // renegotiation info
    if (!alpn.isEmpty()) {
        QByteArray protocols;
        protocols += static_cast<char>(alpn.size());
        protocols += alpn;
        QByteArray body;
        put16(body, static_cast<int>(protocols.size()));
        ext += extension(0x0010, body + protocols);
    }
    put16(hello, static_cast<int>(ext.size()));
    hello += ext;

    QByteArray message;
    message += '\x01';
    put24(message, static_cast<int>(hello.size()));
    message += hello;
    QByteArray record = QByteArray::fromHex("160301");
    put16(record, static_cast<int>(message.size()));
    return record + message;
}

void TlsGreetingReader::feed(const QByteArray &bytes) {
    if (finished())
        return;
    m_records += bytes;
    while (!finished() && m_records.size() >= 5) {
        const int type = static_cast<unsigned char>(m_records[0]);
        const int length = be16(m_records, 3);
        if (m_records.size() < 5 + length)
            return;
        const QByteArray body = m_records.mid(5, length);
        m_records.remove(0, 5 + length);
        if (type == 21) {
            m_failure = QStringLiteral("the server ended the TLS greeting (alert %1)")
                            .arg(body.size() > 1 ? static_cast<unsigned char>(body[1]) : 0);
        } else if (type == 22) {
            m_handshake += body;
            handshake();
        } else {
            m_failure = QStringLiteral("the server's reply is not a TLS greeting");
        }
    }
}

void TlsGreetingReader::handshake() {
    while (!finished() && m_handshake.size() >= 4) {
        const int type = static_cast<unsigned char>(m_handshake[0]);
        const int length = be24(m_handshake, 1);
        if (m_handshake.size() < 4 + length)
            return;
        const QByteArray body = m_handshake.mid(4, length);
        m_handshake.remove(0, 4 + length);
        if (type == 11) {
            if (body.size() < 6 || be24(body, 3) + 6 > body.size()) {
                m_failure = QStringLiteral("the server sent no certificate");
                return;
            }
            m_certificate = body.mid(6, be24(body, 3));
        } else if (type == 14) {
            m_failure = QStringLiteral("the server sent no certificate");
        }
    }
}

} // namespace quorix
