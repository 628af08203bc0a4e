#pragma once

// Texts in tests: readable QString values in failures, and a pane's text as its lines.

#include <QString>
#include <QStringList>
#include <ostream>

inline void PrintTo(const QString &s, std::ostream *os) {
    *os << '"' << s.toStdString() << '"';
}

namespace quorix::testing {

// The lines of a pane's text (toPlainText()), without the empty one a final line break leaves.
inline QStringList textLines(QString text) {
    if (text.endsWith(QLatin1Char('\n')))
        text.chop(1);
    return text.isEmpty() ? QStringList{} : text.split(QLatin1Char('\n'));
}

} // namespace quorix::testing
