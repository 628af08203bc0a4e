#include "core/db/secure/SecureOpen.h"

#include "core/db/secure/CertificateTrust.h"
#include "core/db/secure/FreeTdsConf.h"
#include "core/db/secure/ServerProbe.h"

#include <QElapsedTimer>
#include <QFile>
#include <algorithm>

namespace quorix {

namespace {

constexpr int kProbeTimeoutMs = 5000;
constexpr int kLeastProbeMs = 500; // less than this left of the login's time: not worth a probe

bool loginRefused(const DbError &e) {
    return std::any_of(e.records().begin(), e.records().end(),
                       [](const DiagRecord &r) { return r.native == 18456; });
}

DbError refusal(const QString &text) {
    return DbError::ofText(QStringLiteral("08001"), 0, text);
}

std::optional<CertificateInfo> trustedCertificate(const ConnectionOptions &options) {
    if (options.trustedCertificate.isEmpty())
        return std::nullopt;
    QFile f(options.trustedCertificate);
    if (!f.open(QIODevice::ReadOnly))
        return std::nullopt;
    const auto der = certificateDerFromPem(f.readAll());
    return der ? parseCertificate(*der) : std::nullopt;
}

// The authorities the driver checks against, where this machine keeps them as a file.
std::optional<QByteArray> authorityBundle(const ConnectionOptions &options) {
    QStringList files;
    if (!options.authorityFile.isEmpty())
        files << options.authorityFile;
    else
        files << QStringLiteral("/etc/ssl/certs/ca-certificates.crt")
              << QStringLiteral("/etc/pki/tls/certs/ca-bundle.crt");
    for (const QString &name : files) {
        QFile f(name);
        if (f.open(QIODevice::ReadOnly))
            return f.readAll();
    }
    return std::nullopt;
}

// The driver failed under "Mandatory" or "Strict": read what the server offers and say why, when the
// certificate (or the lack of any encryption) is the reason. The certificate is offered for trust only to
// a driver that can then hold to it; for the others the message says where to install it instead.
void explain(SecureOpen &result, const OleDbParts &parts, const OdbcDriver &driver,
             const ConnectionOptions &options, const DbError &e, int timeoutMs) {
    ProbeRequest request;
    request.server = parts.server;
    request.certificate = true;
    request.strict = options.encryption == Encryption::Strict;
    request.timeoutMs = timeoutMs;
    const ServerProbe probe = probeServer(request);
    if (!probe.reached)
        return;
    const QString driverSaid = QStringLiteral(" (The driver said: %1)").arg(e.description());
    if (probe.encryption == PreloginEncryption::NotSupported) {
        result.error =
            refusal(QStringLiteral(
                        "%1 offers no encryption, and its encryption is \"%2\": the connection was refused "
                        "before the login was sent. Only for an old server on a trusted network, choose "
                        "\"Optional\" for it.")
                        .arg(parts.server, encryptionName(options.encryption)) +
                    driverSaid);
        return;
    }
    if (!probe.certificate)
        return;
    const CertificateInfo &presented = *probe.certificate;
    const QString fault =
        certificateFault(presented, parseServerAddress(parts.server).host, trustedCertificate(options),
                         QDateTime::currentDateTimeUtc(), authorityBundle(options));
    if (fault.isEmpty())
        return;
    QString text = QStringLiteral("The certificate of %1 was refused: %2.\nSubject: %3\nIssuer: %4\n"
                                  "SHA-256: %5")
                       .arg(parts.server, fault, presented.subject, presented.issuer, presented.sha256()) +
                   driverSaid;
    if (canHoldToCertificate(driver, options.encryption))
        result.refusedCertificate = presented;
    else
        text += QLatin1Char('\n') + installCertificateAdvice(parts.server, driver, options.encryption);
    result.error = refusal(text);
}

} // namespace

QString certificateFault(const CertificateInfo &presented, const QString &host,
                         const std::optional<CertificateInfo> &trusted, const QDateTime &nowUtc,
                         const std::optional<QByteArray> &authorities) {
    if (trusted) {
        if (trusted->sha256() == presented.sha256())
            return {};
        return QStringLiteral("it is not the certificate trusted for this server (SHA-256 %1): the server's "
                              "certificate changed")
            .arg(trusted->sha256());
    }
    QStringList why;
    if (presented.selfIssued())
        why << QStringLiteral(
            "it is self-signed, so no certificate authority this machine trusts vouches for it");
    if (!presented.names(host)) {
        const QStringList names = presented.dnsNames + presented.ipAddresses;
        why << QStringLiteral("it is issued to %1, not to %2")
                   .arg(names.isEmpty() ? presented.commonName : names.join(QStringLiteral(", ")), host);
    }
    if (presented.notAfter.isValid() && presented.notAfter < nowUtc)
        why << QStringLiteral("it expired on %1").arg(presented.notAfter.toString(Qt::ISODate));
    if (presented.notBefore.isValid() && presented.notBefore > nowUtc)
        why << QStringLiteral("it is not valid before %1").arg(presented.notBefore.toString(Qt::ISODate));
    if (why.isEmpty() && authorities) {
        // Only the issuer's name is compared: a known issuer means the certificate is not what failed.
        bool known = false;
        for (const QByteArray &der : certificatesInPem(*authorities))
            if (const auto authority = parseCertificate(der);
                authority && authority->subject == presented.issuer)
                known = true;
        if (known)
            return {};
        why << QStringLiteral("it is issued by %1, an authority this machine does not trust")
                   .arg(presented.issuer);
    }
    if (why.isEmpty())
        why << QStringLiteral(
            "it could not be verified against the certificate authorities this machine trusts");
    return why.join(QStringLiteral("; "));
}

SecureOpen openSecurely(odbc::Connection &conn, const OleDbParts &parts, const OdbcDriver &driver,
                        const ConnectionOptions &options, int loginTimeoutSeconds) {
    SecureOpen result;
    const OdbcTranslation t = odbcConnection(parts, driver, options);
    if (!t.refusal.isEmpty()) {
        result.error = refusal(t.refusal);
        return result;
    }
    if (!t.section.name.isEmpty()) {
        const QString problem = ensureFreeTdsSection(t.section);
        if (!problem.isEmpty()) {
            result.error =
                refusal(QStringLiteral("The driver's configuration for %1 could not be written: %2.")
                            .arg(parts.server, problem));
            return result;
        }
    }
    // The probe's time comes out of the login's: a server that never answers costs no more than the login
    // timeout the caller set (the monitoring check counts on it).
    QElapsedTimer clock;
    clock.start();
    const auto budgetMs = [&] {
        const qint64 left = loginTimeoutSeconds > 0 ? loginTimeoutSeconds * 1000LL - clock.elapsed()
                                                    : qint64{kProbeTimeoutMs};
        return static_cast<int>(std::min<qint64>(left, kProbeTimeoutMs));
    };
    try {
        conn.open(t.connectionString, loginTimeoutSeconds);
    } catch (const DbError &e) {
        result.error = e;
        if (options.encryption != Encryption::Optional && !loginRefused(e) && budgetMs() >= kLeastProbeMs)
            explain(result, parts, driver, options, e, budgetMs());
        return result;
    }
    if (options.encryption != Encryption::Optional) {
        result.encrypted = true;
        return result;
    }
    // The drivers offer what the classic provider did (encryption off), so the server's answer decides.
    ProbeRequest request;
    request.server = parts.server;
    request.offer = PreloginEncryption::Off;
    request.timeoutMs = std::max(budgetMs(), kLeastProbeMs);
    const ServerProbe probe = probeServer(request);
    result.encrypted =
        probe.encryption == PreloginEncryption::On || probe.encryption == PreloginEncryption::Required;
    if (result.encrypted)
        return result;
    result.notice = probe.encryption
                        ? QStringLiteral("The session with %1 is not encrypted (Encryption \"Optional\").")
                              .arg(parts.server)
                        : QStringLiteral("The session with %1 may not be encrypted (Encryption "
                                         "\"Optional\"): %2.")
                              .arg(parts.server, probe.failure);
    return result;
}

} // namespace quorix
