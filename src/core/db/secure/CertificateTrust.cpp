#include "core/db/secure/CertificateTrust.h"

#include "core/db/secure/ServerProbe.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QStandardPaths>

namespace quorix {

CertificateTrust::CertificateTrust(QString folder) : m_folder(std::move(folder)) {}

QString CertificateTrust::defaultFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation) +
           QStringLiteral("/trusted-certificates");
}

QString CertificateTrust::fileFor(const QString &server) const {
    // Readable for the DBA who looks, unique for any two server boxes.
    const QString key = server.trimmed().toLower();
    QString readable;
    for (const QChar c : key)
        readable +=
            (c.isLetterOrNumber() && c.unicode() < 128) || c == QLatin1Char('.') || c == QLatin1Char('-')
                ? c
                : QLatin1Char('_');
    const QByteArray hash =
        QCryptographicHash::hash(key.toUtf8(), QCryptographicHash::Sha256).toHex().left(8);
    return QDir(m_folder).filePath(readable.left(80) + QLatin1Char('-') + QString::fromLatin1(hash) +
                                   QStringLiteral(".pem"));
}

QString CertificateTrust::trustedFile(const QString &server) const {
    const QString file = fileFor(server);
    return QFile::exists(file) ? file : QString();
}

std::optional<CertificateInfo> CertificateTrust::trusted(const QString &server) const {
    QFile f(fileFor(server));
    if (!f.open(QIODevice::ReadOnly))
        return std::nullopt;
    const auto der = certificateDerFromPem(f.readAll());
    return der ? parseCertificate(*der) : std::nullopt;
}

QString CertificateTrust::trust(const QString &server, const QByteArray &der) const {
    if (!QDir().mkpath(m_folder))
        return QStringLiteral("the folder %1 could not be created").arg(m_folder);
    QFile::setPermissions(m_folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QSaveFile f(fileFor(server));
    if (!f.open(QIODevice::WriteOnly) || f.write(certificatePem(der).toLatin1()) < 0) {
        f.cancelWriting();
        return QStringLiteral("%1 could not be written").arg(f.fileName());
    }
    f.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    if (!f.commit())
        return QStringLiteral("%1 could not be written").arg(f.fileName());
    return {};
}

QString trustPresented(const CertificateTrust &trust, const QString &server, const QString &sha256,
                       bool strict) {
    ProbeRequest request;
    request.server = server;
    request.certificate = true;
    request.strict = strict;
    const ServerProbe probe = probeServer(request);
    if (!probe.certificate)
        return QStringLiteral("the certificate of %1 could not be read: %2").arg(server, probe.failure);
    if (probe.certificate->sha256() != normalisedFingerprint(sha256))
        return QStringLiteral("%1 presents the certificate %2, not %3")
            .arg(server, probe.certificate->sha256(), normalisedFingerprint(sha256));
    return trust.trust(server, probe.certificate->der);
}

} // namespace quorix
