#pragma once

// The end-to-end tests put scripted servers on the standard port, where the program's server boxes need no
// port. Another end-to-end test may hold the port for a while, so a start waits for it.

#include "TestTls.h"
#include "tds/ScriptedServer.h"

#include <chrono>
#include <string>
#include <system_error>
#include <thread>

namespace quorix::testing {

inline void startOn1433(tds::ScriptedServer &server, const std::string &address) {
    offerTls(server);
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    for (;;) {
        try {
            server.start(address, 1433);
            return;
        } catch (const std::system_error &e) {
            if (e.code() != std::errc::address_in_use || std::chrono::steady_clock::now() > until)
                throw;
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
        }
    }
}

} // namespace quorix::testing
