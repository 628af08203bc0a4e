#pragma once

// Until the log pane's own LogLine (db/) is in place, the window's few lines of its own (settings problems)
// go through here: the line is put on top of txtLog and echoed to stdout in headless runs. Every caller of
// this function is to be switched to LogLine; nothing else should call it.

#include <QString>

namespace quorix {

struct Form;

void interimLogLine(const Form &form, const QString &line);

} // namespace quorix
