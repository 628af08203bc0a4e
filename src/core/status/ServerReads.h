#pragma once

// Reads for the Status tab and the pre-flight check, on connections of their own beside the sessions: one
// reader per server with the session's login, so that a server that is down costs no message box and the
// sessions (their "Connected." lines, their failures) stay as they were. Each read runs on the reader's
// worker thread while the window keeps processing events.

#include "core/db/ServerReader.h"
#include "core/status/ResultTable.h"

#include <QString>
#include <array>
#include <functional>
#include <optional>

namespace quorix::status {

class ServerReads {
public:
    // target(slot) gives the session's own connection target (ServerSessions::target).
    explicit ServerReads(std::function<ConnectionTarget(int slot)> target);

    // Reads sql's first result to its end. Connects when the slot has no connection yet or its connection
    // string changed (a Connect after the boxes were edited); a failure closes the connection, so the next
    // read connects again. Throws DbError.
    ResultTable read(int slot, const QString &sql);

    // The login and query timeout of the connections made from here on (0 = none). By default those of
    // ServerReader.
    void setTimeout(int seconds) { m_timeout = seconds; }

private:
    std::function<ConnectionTarget(int)> m_target;
    std::array<ServerReader, 2> m_readers;
    std::array<ConnectionTarget, 2> m_used; // the target each reader was made with
    std::optional<int> m_timeout;
};

} // namespace quorix::status
