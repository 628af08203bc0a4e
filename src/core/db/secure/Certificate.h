#pragma once

// A server's TLS certificate as the user is shown it when the check fails: who it names, who issued it,
// until when, for which names, and its SHA-256 fingerprint, read from the DER bytes the server sent. Only
// what is needed to describe and to pin it: no signature is checked here (the driver does that).

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <optional>

namespace quorix {

struct CertificateInfo {
    QByteArray der;
    QString subject; // "CN=db1.hospital.local, O=Hospital"
    QString issuer;
    QDateTime notBefore, notAfter; // UTC
    QStringList dnsNames;          // subjectAltName dNSName entries
    QStringList ipAddresses;       // subjectAltName iPAddress entries, as text
    QString commonName;

    // "AB:CD:..." upper-case hex, 32 bytes.
    QString sha256() const;
    bool selfIssued() const { return subject == issuer; }
    // Whether the certificate names host (a DNS name, with a left-most '*' matching one label, or an IP
    // address); the common name counts only when there is no subjectAltName name.
    bool names(const QString &host) const;
};

// nullopt when der is not an X.509 certificate this reader understands.
std::optional<CertificateInfo> parseCertificate(const QByteArray &der);

// "-----BEGIN CERTIFICATE-----" with the base64 in lines of 64, and back (the first certificate of a file).
QString certificatePem(const QByteArray &der);
std::optional<QByteArray> certificateDerFromPem(const QByteArray &pem);
// Every certificate of a PEM bundle, in order.
QList<QByteArray> certificatesInPem(const QByteArray &pem);

// Upper-case hex with ':' between bytes; accepts a fingerprint typed with or without ':' or blanks.
QString fingerprintText(const QByteArray &digest);
QString normalisedFingerprint(const QString &typed);

} // namespace quorix
