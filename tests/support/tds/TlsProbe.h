#pragma once
// A bare TDS client that asks a server for its certificate the way a probe does: PRELOGIN offering
// ENCRYPT_ON, then (optionally) a TLS ClientHello inside PRELOGIN packets, the server's first flight read
// for its certificate, and the socket closed without a login.

#include "tds/ScriptedServer.h"

#include <cstdint>
#include <string>

namespace quorix::tds::testing {

struct ProbeResult {
    Encryption answered = Encryption::NotSupported; // the server's PRELOGIN ENCRYPTION byte
    std::string certificatePem;                     // the server's certificate; empty when not asked for
};

// Throws std::runtime_error when the server cannot be reached or answers what a server would not.
ProbeResult probeCertificate(const std::string &address, std::uint16_t port, bool sendClientHello = true);

} // namespace quorix::tds::testing
