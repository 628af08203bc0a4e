#pragma once

#include "TestText.h"

#include <QString>
#include <optional>

// The shape of a statement: every '...' text emptied to '' and every [...] name to []. Two statements with
// the same shape differ only inside texts and quoted names. No value when a text or a name is left open.
inline std::optional<QString> sqlShape(const QString &sql) {
    QString shape;
    QChar close; // null while outside texts and names
    for (qsizetype i = 0; i < sql.size(); ++i) {
        const QChar c = sql[i];
        if (close.isNull()) {
            shape += c;
            if (c == QLatin1Char('\''))
                close = c;
            else if (c == QLatin1Char('['))
                close = QLatin1Char(']');
        } else if (c == close) {
            if (i + 1 < sql.size() && sql[i + 1] == close) {
                ++i;
                continue;
            }
            shape += c;
            close = QChar();
        }
    }
    if (!close.isNull())
        return std::nullopt;
    return shape;
}
