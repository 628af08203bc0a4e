#pragma once

// Just enough of a TLS greeting to see the certificate a server presents: a ClientHello that offers
// TLS 1.2 only (whose Certificate message still travels unencrypted), and a reader of the server's reply
// that stops at the certificate. Nothing is negotiated to its end; the connection is dropped after it.

#include <QByteArray>
#include <QString>
#include <optional>

namespace quorix {

// serverName goes in the SNI extension unless it is an IP address; alpn (e.g. "tds/8.0") when not empty.
QByteArray tlsClientHello(const QString &serverName, const QByteArray &random32, const QByteArray &alpn = {});

class TlsGreetingReader {
public:
    // More bytes of the server's TLS records, in order.
    void feed(const QByteArray &bytes);
    bool finished() const { return m_certificate.has_value() || !m_failure.isEmpty(); }
    // The server's own certificate (the first of its chain), DER.
    const std::optional<QByteArray> &certificate() const { return m_certificate; }
    QString failure() const { return m_failure; }

private:
    void handshake();
    QByteArray m_records;
    QByteArray m_handshake;
    std::optional<QByteArray> m_certificate;
    QString m_failure;
};

} // namespace quorix
