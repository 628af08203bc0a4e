#pragma once

// The log and error panes keep the newest line on top. A line is inserted at the start of the pane's
// document, so adding one costs in proportion to the line, not to the text already there.

#include <QString>

class QPlainTextEdit;

namespace quorix {

// Puts text and a line break before everything the pane holds. Line breaks inside text (CR LF, CR, LF)
// become the pane's own. The pane's undo history is switched off: a log is never edited back.
void prependLine(QPlainTextEdit *pane, const QString &text);

} // namespace quorix
