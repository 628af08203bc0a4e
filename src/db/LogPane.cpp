#include "db/LogPane.h"

#include <QPlainTextEdit>
#include <QTextCursor>
#include <QTextDocument>

namespace quorix {

void prependLine(QPlainTextEdit *pane, const QString &text) {
    if (!pane)
        return;
    QTextDocument *doc = pane->document();
    if (doc->isUndoRedoEnabled())
        doc->setUndoRedoEnabled(false);
    QString line = text;
    if (line.contains(QLatin1Char('\r'))) {
        line.replace(QLatin1String("\r\n"), QLatin1String("\n"));
        line.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    }
    line += QLatin1Char('\n');
    QTextCursor cursor(doc); // at the start
    cursor.insertText(line);
}

} // namespace quorix
