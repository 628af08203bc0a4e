#pragma once

// The scripted servers of the window, flow and end-to-end tests speak TLS as SQL Server does today: asked
// for encryption, they encrypt the whole session, with a certificate of the tests' own authority. The test
// process (and every program it starts) checks certificates against that authority (QUORIX_CA_FILE), so the
// tool's default, "Mandatory" encryption with the certificate checked, is what those tests run under.

#include "tds/ScriptedServer.h"
#include "tds/TestCertificates.h"

#include <QByteArray>
#include <QDir>
#include <QTemporaryDir>
#include <memory>

namespace quorix::testing {

// Made once per test process, in a folder that goes with it.
inline const tds::testing::TestCertificates &testCertificates() {
    static QTemporaryDir folder(QDir::tempPath() + QStringLiteral("/quorix-test-certificates-XXXXXX"));
    static const tds::testing::TestCertificates certs = [] {
        auto made = tds::testing::TestCertificates::writeTo(folder.path().toStdString());
        qputenv("QUORIX_CA_FILE", QByteArray::fromStdString(made.ca.certificateFile));
        return made;
    }();
    return certs;
}

inline void offerTls(tds::ScriptedServer &server) {
    const auto &certs = testCertificates();
    server.setCertificate(certs.server.certificatePem, certs.server.keyPem);
    server.setEncryption(tds::Encryption::On);
}

} // namespace quorix::testing
