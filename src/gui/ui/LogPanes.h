#pragma once

// The log pane (txtLog) and the error pane (txtErrs), newest line on top. Every feature reports its steps
// through LogLine and LogError; in a headless run the log pane also streams to stdout and the error pane
// to stderr, line by line as added. They are the window's log sink for the server sessions.

#include "core/db/SessionHost.h"

#include <QString>

class QPlainTextEdit;

namespace quorix {

class LogPanes : public LogSink {
public:
    LogPanes(QPlainTextEdit *log, QPlainTextEdit *errs) : m_log(log), m_errs(errs) {}

    // Puts the line on top of txtLog (or txtErrs), echoes it, and yields to the message loop once so the
    // window repaints and STOP can be ticked during a long run.
    void LogLine(const QString &text) const override;
    void LogError(const QString &text) const override;

private:
    QPlainTextEdit *m_log;
    QPlainTextEdit *m_errs;
};

// Puts text and a line break before everything the pane holds, in time proportional to the line, not to
// the text already there. Line breaks inside text (CR LF, CR, LF) become the pane's own. The pane's undo
// history is switched off: a log is never edited back.
void prependLine(QPlainTextEdit *pane, const QString &text);

} // namespace quorix
