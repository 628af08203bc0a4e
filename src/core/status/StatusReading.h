#pragma once

// Both servers' databases and mirroring counters, read for the Status tab and for the mirroring check: on
// connections of their own (ServerReads), the counters read twice for a server read for the first time so
// that its rates are known, and against the reading before for a server read again. A failed read is kept
// with the driver's description; nothing is logged here.

#include "core/status/ServerReads.h"
#include "core/status/StatusRows.h"

#include <QStringList>
#include <array>
#include <functional>
#include <optional>
#include <vector>

namespace quorix::status {

// One server's part of a reading.
struct ServerReading {
    bool read = false;         // its databases were read
    bool countersRead = false; // and its mirroring counters
    QString failure;           // why a read failed, as the driver says it ("" when none did)
    bool timedOut = false;     // the failure was the driver's login or query timeout
    QStringList names;         // the databases as the server spells them
    Databases databases;
    CounterReading counters;
    std::optional<CounterReading> before; // the counters the rates are taken against
    double seconds = 0;                   // between before and counters
};

using Reading = std::array<ServerReading, 2>; // Main, Mirror

class StatusReader {
public:
    // Rates need two readings of the counters: a server read for the first time is read again after this.
    static constexpr int kRatePauseMs = 1000;

    // target(slot): what to read the server with (the tab: the session's own, as ServerSessions::target
    // gives it; the mirroring check: the server, login, password and encryption it was given).
    // pause(ms): waits between the two readings (the window keeps painting meanwhile).
    // clock(): a steady time in nanoseconds that the rates' seconds are measured on (by default the
    // monotonic clock; a test gives one that its pause moves on).
    using Clock = std::function<qint64()>;
    StatusReader(std::function<ConnectionTarget(int slot)> target, std::function<void(int ms)> pause,
                 Clock clock = {});

    Reading read();
    // One server alone, its counters read again after the pause when it was read for the first time: the
    // mirroring check reads the two servers side by side, so that one that never answers does not hold up
    // the other.
    // first, when given, receives the reading before the pause (its counters still without rates).
    ServerReading read(int slot, const std::function<void(const ServerReading &)> &first = {});
    // The login and query timeout of the connections made from here on (see ServerReads::setTimeout).
    void setTimeout(int seconds) { m_reads.setTimeout(seconds); }

private:
    struct Sample {
        CounterReading counters;
        qint64 takenNs = 0; // on m_clock
    };

    void readServer(int slot, ServerReading &reading);
    void readCounters(int slot, ServerReading &reading);

    ServerReads m_reads;
    std::function<void(int)> m_pause;
    Clock m_clock;
    std::array<std::optional<Sample>, 2> m_last; // the counters each server gave last
};

// The grid's rows of a reading: one per database on either server, judged against the partners the server
// boxes name (Main's, the Mirror's), each side with its queues and the rates since the counters before.
std::vector<StatusRow> statusRowsOf(const Reading &reading, const std::array<QString, 2> &serverBoxes);

} // namespace quorix::status
