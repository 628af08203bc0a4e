#pragma once

// The audit journal: every statement the sessions send to a server, and every one "Script only" holds
// back, as one JSON line in a file of the day (journal-yyyy-MM-dd.jsonl, UTC) in the user's data folder or
// the folder given (--journal-dir). Files and folder are for their owner only; files older than the days
// kept are removed. Writing never fails or holds up the work: a journal that cannot be written says so in
// the log once, and the work goes on.
//
// A line holds, in this order: time (UTC, milliseconds), user (of the operating system), workstation,
// session ("Main", "Mirror"), server, login, database (in use after the statement), control (the button
// whose operation sent it), statement (passwords masked), outcome ("done", "failed", "not sent"),
// error_number and error (when failed), rows (affected, null when the driver did not say), duration_ms.

#include "core/db/SessionHost.h"
#include "core/db/StatementJournal.h"

#include <QDate>
#include <QString>
#include <functional>
#include <mutex>

namespace quorix {

class Journal : public StatementJournal {
public:
    static constexpr int kDefaultDays = 90;

    // Problems writing go to log, once.
    explicit Journal(const LogSink &log);

    // The folder of the journal's files; empty for the default (defaultFolder()).
    void setFolder(const QString &folder);
    QString folder() const;
    // The default: "journal" in the user's application data folder.
    static QString defaultFolder();
    // Files of days older than this many days before today are removed (at the first line of each day);
    // 0 or less keeps every file.
    void setKeepDays(int days);
    // The name of the control whose operation runs now (Operations::current() in the window).
    void setControl(std::function<QString()> control);
    // The clock, UTC (tests move it).
    void setClock(std::function<QDateTime()> now);

    void record(const SentStatement &statement) noexcept override;

    // The file of a day, in folder().
    QString fileOf(const QDate &day) const;
    // Removes the files older than the days kept, counted back from today; returns how many went.
    int removeOldFiles();

    // The JSON line (without its line break) of a statement, sent by user on workstation while control ran.
    static QString lineOf(const SentStatement &s, const QString &user, const QString &workstation,
                          const QString &control);
    // The user the tool runs as, and the machine's name.
    static QString systemUser();
    static QString workstation();

private:
    bool write(const QString &line, const QDate &day, QString &problem);

    const LogSink &m_log;
    mutable std::mutex m_mutex;
    QString m_folder;
    int m_keepDays = kDefaultDays;
    std::function<QString()> m_control;
    std::function<QDateTime()> m_now;
    QDate m_prunedOn;
    bool m_problemTold = false;
    QString m_user;
    QString m_workstation;
};

} // namespace quorix
