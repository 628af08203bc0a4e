#pragma once

// In headless runs the log pane streams to stdout and the error pane to stderr, line by line as added.

#include <QString>

namespace quorix {

class Echo {
public:
    static void setEnabled(bool on);
    static bool enabled();
    static void log(const QString &line); // a line added to the log pane
    static void err(const QString &line); // a line added to the error pane
};

} // namespace quorix
