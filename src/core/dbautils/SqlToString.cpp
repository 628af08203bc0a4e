#include "core/dbautils/SqlToString.h"

namespace quorix {

QString sqlToVbSource(const QString &sql) {
    QString body = sql;
    // Only whole CR LF pairs join lines; quotes inside the SQL are copied as they are.
    body.replace(QStringLiteral("\r\n"), QStringLiteral("\" & _ \r\n\""));
    return QStringLiteral("SQLStr = \" ") + body + QLatin1Char('"');
}

QString vbSourceToSql(const QString &source) {
    QString text = source;
    text.remove(QStringLiteral("& _"));
    text.remove(QLatin1Char('"'));
    return text;
}

} // namespace quorix
