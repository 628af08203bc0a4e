#pragma once

// Shared by the db tests: a scripted server on its own loopback address and connection strings for it.

#include "TestText.h"
#include "TestTls.h"
#include "core/db/ConnectionString.h"
#include "tds/ScriptedServer.h"

#include <QString>
#include <memory>

namespace quorix::testing {

// Started on address with a free port, accepting user sa with password, offering TLS (TestTls.h).
inline std::unique_ptr<tds::ScriptedServer> startServer(const std::string &address,
                                                        const std::string &password) {
    auto server = std::make_unique<tds::ScriptedServer>();
    server->setLogin("sa", password);
    offerTls(*server);
    server->start(address, 0);
    return server;
}

// What the window's server box holds for it: "127.0.0.2,PORT".
inline QString serverBox(const tds::ScriptedServer &server) {
    return QString::fromStdString(server.address()) + QLatin1Char(',') + QString::number(server.port());
}

inline QString sessionString(const tds::ScriptedServer &server, const QString &password) {
    return sessionConnectionString(serverBox(server), password);
}

inline QString odbcString(const tds::ScriptedServer &server, const QString &password) {
    return toOdbcConnectionString(parseOleDbConnectionString(sessionString(server, password)),
                                  {QStringLiteral("FreeTDS"), DriverKind::FreeTds});
}

// How the tests reach a scripted server that offers no encryption: as earlier versions did ("Optional").
inline ConnectionOptions clearOptions() {
    ConnectionOptions o;
    o.encryption = Encryption::Optional;
    return o;
}
inline ConnectionTarget clearTarget(const QString &sessionString) {
    return {sessionString, clearOptions()};
}
inline ConnectionTarget clearTarget(const tds::ScriptedServer &server, const QString &password) {
    return clearTarget(sessionString(server, password));
}

inline std::string utf8(const QString &s) {
    return s.toStdString();
}

} // namespace quorix::testing
