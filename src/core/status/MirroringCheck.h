#pragma once

// The mirroring check, for the monitoring a hospital already runs: a reading of both servers judged as the
// monitoring plugins report, by exit status (0 OK, 1 WARNING, 2 CRITICAL, 3 UNKNOWN), one status line, the
// databases that need action with the Status grid's hint, and performance data for each mirrored
// database's queues (KB) and rates (KB/s). Pure: the reading is done by StatusReader.

#include "core/status/StatusReading.h"

#include <QString>
#include <QStringList>
#include <vector>

namespace quorix::status {

enum class CheckStatus { Ok = 0, Warning = 1, Critical = 2, Unknown = 3 };

// "OK", "WARNING", "CRITICAL", "UNKNOWN".
QString checkStatusWord(CheckStatus status);

// The log not yet sent or not yet redone above which a database is reported, in KB.
struct QueueThresholds {
    qint64 warnKb = 10240;
    qint64 critKb = 102400;
};

struct CheckResult {
    CheckStatus status = CheckStatus::Ok;
    QString statusLine;   // "MIRRORING CRITICAL - Billing suspended - 14 of 15 databases ok"
    QStringList details;  // "Billing: suspended: resume it with ...", worst first
    QStringList perfData; // "'Billing unsent'=12KB;10240;102400;0", four per mirrored database

    int exitCode() const { return static_cast<int>(status); }
    // The plugin output: the status line, the details, then "| " and the performance data on one line.
    QString text() const;
};

// rows: statusRowsOf(reading). The texts hold no ';' (Nagios rewrites it to ':'): reasons are set apart by
// " - ". A server that was read decides by what it reports of its copies, the other one named at the end
// of the status line with why it was not read; a server not read, or whose counters were refused, keeps
// the check from OK (WARNING at least). UNKNOWN only when neither server was read.
CheckResult checkMirroring(const Reading &reading, const std::vector<StatusRow> &rows,
                           const QueueThresholds &thresholds);

} // namespace quorix::status
