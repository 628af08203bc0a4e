#pragma once

// The audit journal: every statement the sessions send to a server, and every one "Script only" holds
// back, as one JSON line in a file of the day (journal-yyyy-MM-dd.jsonl, UTC) in the user's data folder or
// the folder given (--journal-dir). Files and folder are for their owner only; files older than the days
// kept are removed. Writing never fails or holds up the work: record() only makes the line and queues it,
// and the journal's own thread writes it, so a folder on a slow or unreachable share delays nothing but
// the journal. A journal that cannot be written says so in the log once, on the thread that made the
// journal (the window's), and the work goes on.
//
// A line holds, in this order: time (UTC, milliseconds), user (of the operating system), workstation,
// session ("Main", "Mirror"), server, login, database (in use after the statement), control (the button
// whose operation sent it), statement (passwords masked), outcome ("done", "failed", "not sent"),
// error_number and error (when failed), rows (affected, null when the driver did not say), duration_ms.

#include "core/db/SessionHost.h"
#include "core/db/StatementJournal.h"

#include <QDate>
#include <QString>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>

namespace quorix {

class Journal : public StatementJournal {
public:
    static constexpr int kDefaultDays = 90;
    // How long the journal waits for its queued lines when it ends: a share that hangs cannot hang the exit.
    static constexpr std::chrono::milliseconds kShutdownWait{2000};
    // Lines waiting beyond this many (a share hung for hours) are left out rather than kept in memory.
    static constexpr int kMostWaiting = 100000;

    // Problems writing go to log, once, on the thread that makes the journal.
    explicit Journal(const LogSink &log);
    // Waits for the queued lines at most kShutdownWait.
    ~Journal() override;
    Journal(const Journal &) = delete;
    Journal &operator=(const Journal &) = delete;

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

    // Makes the statement's line and queues it for the journal's thread; returns at once.
    void record(const SentStatement &statement) noexcept override;
    // Waits until every line queued so far is written or given up, at most limit; false when the time ran
    // out first. On the thread that made the journal, a problem met meanwhile is told before it returns.
    bool flush(std::chrono::milliseconds limit = std::chrono::seconds(30)) noexcept;

    // The file of a day, in folder().
    QString fileOf(const QDate &day) const;
    // Removes the files older than the days kept, counted back from today; returns how many went.
    int removeOldFiles();

    // The JSON line (without its line break) of a statement, sent by user on workstation while control ran.
    // The login is the connection string's, or "Windows authentication" for the driver's integrated login.
    static QString lineOf(const SentStatement &s, const QString &user, const QString &workstation,
                          const QString &control);
    // The user the tool runs as, and the machine's name.
    static QString systemUser();
    static QString workstation();

private:
    struct Writer; // the queue and the thread that writes it; outlives a journal whose share hangs

    mutable std::mutex m_mutex;
    QString m_folder;
    int m_keepDays = kDefaultDays;
    int m_folderSet = 0; // counts setFolder: the problem is told once per folder set
    std::function<QString()> m_control;
    std::function<QDateTime()> m_now;
    QDate m_prunedOn;
    QString m_user;
    QString m_workstation;
    std::shared_ptr<Writer> m_writer;
};

} // namespace quorix
