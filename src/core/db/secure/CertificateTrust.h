#pragma once

// The certificates the DBA chose to trust, one per server: kept as PEM files in the tool's configuration
// folder and handed to the driver as the one certificate to accept for that server, so another
// certificate later is refused again. Nothing here ever makes a driver trust any certificate.

#include "core/db/secure/Certificate.h"

#include <QString>

namespace quorix {

class CertificateTrust {
public:
    explicit CertificateTrust(QString folder = defaultFolder());
    // <the user's configuration folder>/<application>/trusted-certificates
    static QString defaultFolder();

    QString folder() const { return m_folder; }
    // The file holding the certificate trusted for server (as the server box has it); empty when none is.
    QString trustedFile(const QString &server) const;
    std::optional<CertificateInfo> trusted(const QString &server) const;
    // Keeps der as the one certificate trusted for server (owner-only file). Empty on success, else why not.
    QString trust(const QString &server, const QByteArray &der) const;

private:
    QString fileFor(const QString &server) const;
    QString m_folder;
};

// Reads the certificate server presents and keeps it as trusted when its SHA-256 fingerprint is sha256
// (as a refused connection printed it). Empty when kept, else why not.
QString trustPresented(const CertificateTrust &trust, const QString &server, const QString &sha256,
                       bool strict);

} // namespace quorix
