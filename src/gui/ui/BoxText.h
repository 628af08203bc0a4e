#pragma once

// Multi-line boxes and CR LF. The rest of the system treats a multi-line box's text as CR LF-separated
// lines (the work lists, name lists, scripts and converter all split on CR LF, and the settings store keeps
// CR LF), while a QPlainTextEdit holds "\n" between lines. So a box holds "\n" and these are the only ways
// to cross between the two: boxText() gives the text with CR LF, setBoxText() takes CR LF (or any line
// ends) and puts "\n" into the box.

#include <QString>

class QPlainTextEdit;

namespace quorix {

// "\n" -> CR LF. A text that already holds CR LF keeps it (no CR CR LF).
QString toCrLf(const QString &boxText);
// CR LF, lone CR, lone LF and the paragraph separator -> "\n".
QString fromCrLf(const QString &text);

QString boxText(const QPlainTextEdit *box);
void setBoxText(QPlainTextEdit *box, const QString &text);

} // namespace quorix
