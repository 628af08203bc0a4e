#include "core/status/StatusReading.h"

#include "core/db/DbError.h"
#include "core/status/StatusSql.h"

#include <chrono>

namespace quorix::status {

namespace {

// The driver's login timeout and query timeout (SQLSTATE HYT00, HYT01).
bool timedOut(const DbError &e) {
    return e.hasState(QStringLiteral("HYT00")) || e.hasState(QStringLiteral("HYT01"));
}

} // namespace

StatusReader::StatusReader(std::function<ConnectionTarget(int slot)> target,
                           std::function<void(int ms)> pause, Clock clock)
    : m_reads(std::move(target)), m_pause(std::move(pause)), m_clock(std::move(clock)) {
    if (!m_clock)
        m_clock = [] {
            return static_cast<qint64>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                           std::chrono::steady_clock::now().time_since_epoch())
                                           .count());
        };
}

Reading StatusReader::read() {
    Reading reading;
    for (int slot = 0; slot < 2; ++slot)
        readServer(slot, reading[static_cast<size_t>(slot)]);
    // A server read for the first time gives its rates from a second reading a moment later.
    const auto again = [](const ServerReading &r) { return r.countersRead && !r.before; };
    if (again(reading[0]) || again(reading[1])) {
        m_pause(kRatePauseMs);
        for (int slot = 0; slot < 2; ++slot)
            if (again(reading[static_cast<size_t>(slot)]))
                readCounters(slot, reading[static_cast<size_t>(slot)]);
    }
    return reading;
}

ServerReading StatusReader::read(int slot, const std::function<void(const ServerReading &)> &first) {
    ServerReading reading;
    readServer(slot, reading);
    if (first)
        first(reading);
    if (reading.countersRead && !reading.before) {
        m_pause(kRatePauseMs);
        readCounters(slot, reading);
    }
    return reading;
}

void StatusReader::readServer(int slot, ServerReading &reading) {
    try {
        const ResultTable databases = m_reads.read(slot, QLatin1String(kDatabasesQuery));
        reading.databases = readDatabases(databases, &reading.names);
        reading.read = true;
    } catch (const DbError &e) {
        reading = ServerReading{};
        reading.failure = e.description();
        reading.timedOut = timedOut(e);
        m_last[static_cast<size_t>(slot)].reset();
        return;
    }
    readCounters(slot, reading);
}

void StatusReader::readCounters(int slot, ServerReading &reading) {
    std::optional<Sample> &last = m_last[static_cast<size_t>(slot)];
    try {
        Sample now{status::readCounters(m_reads.read(slot, QLatin1String(kCountersQuery))), m_clock()};
        if (last) {
            reading.before = last->counters;
            reading.seconds = static_cast<double>(now.takenNs - last->takenNs) / 1e9;
        }
        reading.counters = now.counters;
        reading.countersRead = true;
        last = std::move(now);
    } catch (const DbError &e) {
        // The databases were read: they show with what counters came before, if any.
        reading.countersRead = false;
        reading.failure = e.description();
        reading.timedOut = timedOut(e);
        last.reset();
    }
}

std::vector<StatusRow> statusRowsOf(const Reading &reading, const std::array<QString, 2> &serverBoxes) {
    const PairFacts pair{endpointAddress(serverBoxes[0]), endpointAddress(serverBoxes[1]), reading[0].read,
                         reading[1].read};
    std::vector<StatusRow> rows =
        statusRows(reading[0].names, reading[0].databases, reading[1].names, reading[1].databases, pair);
    for (StatusRow &row : rows) {
        const QString key = nameKey(row.db);
        for (size_t slot = 0; slot < 2; ++slot) {
            const ServerReading &r = reading[slot];
            const auto now = r.counters.find(key);
            if (now == r.counters.end())
                continue;
            const Counters *before = nullptr;
            if (r.before)
                if (auto b = r.before->find(key); b != r.before->end())
                    before = &b->second;
            applyCounters(slot == 0 ? row.main : row.mirror, now->second, before, r.seconds);
        }
    }
    return rows;
}

} // namespace quorix::status
