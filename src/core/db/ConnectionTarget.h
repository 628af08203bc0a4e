#pragma once

// What a connection to one server is opened with: the session's connection string as the user sees it
// (the OLE DB form, login and password in it) and the settings that string has no room for: how the
// session is protected and what the server is told about the client. Every connection of a slot (the
// session, readers, the progress monitor, Status, Pre-flight, the monitoring check) takes the same target.

#include <QString>
#include <optional>

namespace quorix {

inline constexpr const char *kApplicationName = "QUORIX DB Tools";

// Mandatory: the whole session encrypted, the server's certificate verified; a server that offers no
// encryption is refused. Optional: what earlier versions did, for an old server (encrypted when the server
// insists, never verified). Strict: TDS 8, the TLS handshake before anything else (drivers that know it).
enum class Encryption { Mandatory, Optional, Strict };

QString encryptionName(Encryption e); // "Mandatory", "Optional", "Strict"
std::optional<Encryption> encryptionNamed(const QString &name);

struct ConnectionOptions {
    Encryption encryption = Encryption::Mandatory;
    // The driver's integrated login (Kerberos/SSPI): no login name or password is sent.
    bool windowsAuthentication = false;
    // PEM file of the one certificate the user chose to trust for this server; empty: the trust store.
    QString trustedCertificate;
    // PEM bundle used in place of the system's trust store (a hospital's own authority); empty: the system's.
    QString authorityFile;
    QString applicationName = QLatin1String(kApplicationName);
    QString workstation; // empty: the machine's name
    bool operator==(const ConnectionOptions &) const = default;
};

struct ConnectionTarget {
    QString connectionString;
    ConnectionOptions options;
    bool operator==(const ConnectionTarget &) const = default;
};

// The machine's name as the server's session list shows it (WSID).
QString workstationName();

} // namespace quorix
