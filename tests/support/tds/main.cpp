// tds-scripted-server: the scripted TDS server as a process, for manual runs and benchmarks.
// Usage: tds-scripted-server [--address 127.0.0.1] [--port 0] [--rules FILE] [--record FILE] [--tls DIR]
// --tls DIR: writes the test certificates into DIR (ca.pem, server.pem, ...) and encrypts every session
// that asks (ENCRYPT_ON) with server.pem, which ca.pem signed.
// Prints "port N" once listening; runs until SIGINT or SIGTERM.

#include "tds/RuleFile.h"
#include "tds/ScriptedServer.h"
#include "tds/TestCertificates.h"

#include <csignal>
#include <fstream>
#include <iostream>
#include <mutex>

using namespace quorix::tds;

int main(int argc, char **argv) {
    std::string address = "127.0.0.1";
    int port = 0;
    std::string rules, recordPath, tlsFolder;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        if (option == "--address")
            address = argv[i + 1];
        else if (option == "--port")
            port = std::stoi(argv[i + 1]);
        else if (option == "--rules")
            rules = argv[i + 1];
        else if (option == "--record")
            recordPath = argv[i + 1];
        else if (option == "--tls")
            tlsFolder = argv[i + 1];
        else {
            std::cerr << "unknown option " << option << "\n";
            return 2;
        }
    }
    if (argc % 2 == 0) {
        std::cerr << "usage: tds-scripted-server [--address A] [--port P] [--rules FILE] [--record FILE]\n";
        return 2;
    }

    // Signals are taken by sigwait below, not by a handler on some connection thread.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    ScriptedServer server;
    try {
        if (!rules.empty()) {
            std::ifstream in(rules);
            if (!in)
                throw std::runtime_error("cannot read " + rules);
            loadRules(in, server);
        }
    } catch (const std::exception &e) {
        std::cerr << rules << ": " << e.what() << "\n";
        return 2;
    }
    if (!tlsFolder.empty()) {
        try {
            const auto certs = testing::TestCertificates::writeTo(tlsFolder);
            server.setCertificate(certs.server.certificatePem, certs.server.keyPem);
            server.setEncryption(Encryption::On);
        } catch (const std::exception &e) {
            std::cerr << tlsFolder << ": " << e.what() << "\n";
            return 2;
        }
    }
    std::ofstream record;
    std::mutex recordMutex;
    if (!recordPath.empty()) {
        record.open(recordPath, std::ios::trunc);
        if (!record) {
            std::cerr << "cannot write " << recordPath << "\n";
            return 2;
        }
        server.setEventListener([&](const Event &e) {
            std::lock_guard lock(recordMutex);
            record << describe(e) << '\n' << std::flush;
        });
    }
    try {
        server.start(address, static_cast<std::uint16_t>(port));
    } catch (const std::exception &e) {
        std::cerr << e.what() << "\n";
        return 1;
    }
    std::cout << "port " << server.port() << std::endl;
    int received = 0;
    sigwait(&signals, &received);
    server.stop();
    return 0;
}
