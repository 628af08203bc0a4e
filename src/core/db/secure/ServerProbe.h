#pragma once

// Asks a server, on a connection of its own, what it offers before any login: its PRELOGIN answer on
// encryption and, when asked, the certificate its TLS greeting presents. Nothing is sent that a login needs
// (no name, no password); the connection is dropped once that much is known. The sessions use it to say
// in plain words why a check failed, and to tell whether a session under "Optional" is encrypted.

#include "core/db/secure/Certificate.h"

#include <QString>
#include <optional>

namespace quorix {

// The PRELOGIN ENCRYPTION values.
enum class PreloginEncryption { Off = 0, On = 1, NotSupported = 2, Required = 3 };

struct ServerProbe {
    bool reached = false;
    QString failure; // what could not be read, and why
    std::optional<PreloginEncryption> encryption;
    std::optional<CertificateInfo> certificate;
};

struct ProbeRequest {
    QString server; // as the server box has it: host, host,port, host\instance,port
    PreloginEncryption offer = PreloginEncryption::On;
    bool certificate = false; // go on to the TLS greeting
    bool strict = false;      // TDS 8: the TLS greeting first, no PRELOGIN before it
    int timeoutMs = 5000;
};

ServerProbe probeServer(const ProbeRequest &request);

// The PRELOGIN request and the reading of its answer, on their own for tests.
QByteArray preloginPacket(PreloginEncryption offer);
std::optional<PreloginEncryption> preloginEncryption(const QByteArray &payload);

} // namespace quorix
