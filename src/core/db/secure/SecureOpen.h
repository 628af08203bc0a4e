#pragma once

// Opens an ODBC connection as a target asks (ConnectionString.h's translation), and says what happened in
// the terms a DBA needs: a choice the driver cannot express is refused before anything is sent; a failed
// certificate check names the certificate the server presented (subject, fingerprint) and why it failed;
// under "Optional" the server is asked whether the session is encrypted. Runs on the connection's worker.

#include "core/db/ConnectionString.h"
#include "core/db/DbError.h"
#include "core/db/odbc/OdbcConnection.h"
#include "core/db/secure/Certificate.h"

#include <optional>

namespace quorix {

struct SecureOpen {
    std::optional<DbError> error;
    bool encrypted = false;
    QString notice; // under "Optional", what the log says once for this connection (empty: encrypted)
    // The certificate whose check failed, when the driver can be handed it as the one to accept (see
    // canHoldToCertificate): only then may it be offered for trust.
    std::optional<CertificateInfo> refusedCertificate;
};

SecureOpen openSecurely(odbc::Connection &conn, const OleDbParts &parts, const OdbcDriver &driver,
                        const ConnectionOptions &options, int loginTimeoutSeconds);

// Why the certificate the server presented fails the check, in plain words ("it is self-signed: ..."), or
// empty when nothing about it explains a failure. trusted is the certificate the user trusted for the server;
// authorities the PEM bundle the check uses (nullopt when it cannot be read here, as on Windows).
QString certificateFault(const CertificateInfo &presented, const QString &host,
                         const std::optional<CertificateInfo> &trusted, const QDateTime &nowUtc,
                         const std::optional<QByteArray> &authorities);

} // namespace quorix
