#pragma once

// The rows of the Status grid: one per database present on either server, each side's state, mirroring
// and counters, and a verdict. A row that needs action carries a hint in plain words naming the button or
// the statement that mends it. Pure: the widgets only show what these build.

#include "core/status/ResultTable.h"

#include <QString>
#include <QStringList>
#include <map>
#include <optional>
#include <vector>

namespace quorix::status {

// One database on one server.
struct Side {
    bool present = false;
    QString state;          // ONLINE, RESTORING, ...
    QString recovery;       // FULL, SIMPLE, BULK_LOGGED
    QString role;           // PRINCIPAL, MIRROR, or empty when not mirrored
    QString mirroringState; // SYNCHRONIZED, SYNCHRONIZING, SUSPENDED, DISCONNECTED, ...
    QString safety;         // FULL, OFF
    QString partner;        // TCP://host:5024
    std::optional<qint64> sizeKb;
    std::optional<qint64> unsentKb, unrestoredKb;
    std::optional<double> sendRate, redoRate; // KB/s
};

// One reading of a database's mirroring counters.
struct Counters {
    std::optional<qint64> unsentKb, unrestoredKb;
    std::optional<qint64> sentBytes, redoneBytes; // totals so far
};

// Keys are database names in lower case (servers compare names without letter case).
using Databases = std::map<QString, Side>;
using CounterReading = std::map<QString, Counters>;

QString nameKey(const QString &name);
// "Main" or "the Mirror", as the texts name a server.
QString sideName(bool main);
// value is word, whatever the letter case (servers report states and models in either).
bool sameWord(const QString &value, const char *word);
// The result of kDatabasesQuery / kCountersQuery.
Databases readDatabases(const ResultTable &result, QStringList *names = nullptr);
CounterReading readCounters(const ResultTable &result);
// The queues of now, and the rates between before and now when both readings have the total
// (seconds apart).
void applyCounters(Side &side, const Counters &now, const Counters *before, double seconds);

enum class Mark {
    None,    // not mirrored, nothing to mend
    Healthy, // mirrored as it should be
    Action,  // the sides disagree or need action: see the hint
    Unknown, // a server could not be read
};

struct Verdict {
    Mark mark = Mark::None;
    QString hint;
};

// The words of the "Check" column.
QString markText(Mark mark);

// What a row is judged against beside its two sides.
struct PairFacts {
    // Where each server's mirroring endpoint is reached (endpointAddress() of its server box): Main's
    // copies should name mirrorEndpoint as their partner, the Mirror's copies mainEndpoint. An empty one is
    // not compared.
    QString mainEndpoint, mirrorEndpoint;
    // Whether each server's databases could be read at all.
    bool mainRead = true, mirrorRead = true;
};

// "TCP://host:5024" for a server box ("host", "host\INSTANCE", "host,1433"): the host alone, as "Set Partner"
// names it, since the endpoint listens on the machine's port 5024 whatever instance or SQL port the box
// gives. Empty for an empty box. Compared with a reported partner without letter case.
QString endpointAddress(const QString &serverBox);

// The verdict on one database. A hint never suggests a button or statement that would end mirroring that
// works, drop the copy that serves, or throw away log a partner holds: a copy partnered with a third server
// is only named as such, a principal that cannot serve beside a mirror in step is told to bring service up
// on the mirror, a failed-over pair gets the fail-back steps (safety FULL, wait, FAILOVER, safety OFF).
Verdict judge(const QString &db, const Side &main, const Side &mirror, const PairFacts &pair);

struct StatusRow {
    QString db;
    Side main, mirror;
    Verdict verdict;
};

// One row per database on either server, in name order.
std::vector<StatusRow> statusRows(const QStringList &mainNames, const Databases &main,
                                  const QStringList &mirrorNames, const Databases &mirror,
                                  const PairFacts &pair);

// "Database", "Check", then for Main and the Mirror: state, role, mirroring, safety, partner, unsent KB,
// send KB/s, unrestored KB, redo KB/s; "Hint" last.
QStringList statusHeaders();
QStringList rowTexts(const StatusRow &row);

} // namespace quorix::status
