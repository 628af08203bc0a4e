#pragma once

// In headless runs the log pane streams to stdout and the error pane to stderr, line by line as added. A
// run whose stdout is kept for a record a script parses (JSON) sends the log to stderr as well.

#include <QString>
#include <cstdio>

namespace quorix {

class Echo {
public:
    static void setEnabled(bool on);
    static bool enabled();
    static void setLogToStderr(bool on);
    // Where the log's lines and the texts of scripted message boxes go: stdout, or stderr as set above.
    static std::FILE *logStream();
    static void log(const QString &line); // a line added to the log pane
    static void err(const QString &line); // a line added to the error pane
};

} // namespace quorix
