#include "gui/ui/BoxText.h"

#include <QPlainTextEdit>

namespace quorix {

QString toCrLf(const QString &boxText) {
    QString out = fromCrLf(boxText);
    out.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    return out;
}

QString fromCrLf(const QString &text) {
    QString out = text;
    out.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    out.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    out.replace(QChar(QChar::ParagraphSeparator), QLatin1Char('\n'));
    return out;
}

QString boxText(const QPlainTextEdit *box) {
    return toCrLf(box->toPlainText());
}

void setBoxText(QPlainTextEdit *box, const QString &text) {
    box->setPlainText(fromCrLf(text));
}

} // namespace quorix
