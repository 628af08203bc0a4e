#include "app/InterimLog.h"

#include "app/Echo.h"
#include "app/Form.h"

#include <QPlainTextEdit>
#include <QTextCursor>

namespace quorix {

void interimLogLine(const Form &form, const QString &line) {
    if (form.txtLog) {
        QTextCursor cursor(form.txtLog->document());
        cursor.movePosition(QTextCursor::Start);
        cursor.insertText(line + QLatin1Char('\n'));
    }
    Echo::log(line);
}

} // namespace quorix
