#pragma once

// The log pane (txtLog) and the error pane (txtErrs), newest line on top. Every feature reports its steps
// through LogLine and LogError; in a headless run the log pane also streams to stdout and the error pane
// to stderr, line by line as added. They are the window's log sink for the server sessions.

#include "core/db/SessionHost.h"

#include <QString>

namespace quorix {

class LogPane;

class LogPanes : public LogSink {
public:
    LogPanes(LogPane *log, LogPane *errs) : m_log(log), m_errs(errs) {}

    // Puts the line on top of txtLog (or txtErrs), echoes it, and yields to the message loop once so the
    // window repaints and STOP can be ticked during a long run.
    void LogLine(const QString &text) const override;
    void LogError(const QString &text) const override;

private:
    LogPane *m_log;
    LogPane *m_errs;
};

// Puts text and a line break before everything the pane holds, in time proportional to the line, not to
// the text already there (LogPane). Line breaks inside text (CR LF, CR, LF) become the pane's own.
void prependLine(LogPane *pane, const QString &text);

} // namespace quorix
