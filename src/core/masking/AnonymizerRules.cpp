#include "core/masking/AnonymizerRules.h"

#include "core/db/GetWord.h"

#include <algorithm>
#include <cmath>

namespace quorix {

namespace {

const QString kCrLf = QStringLiteral("\r\n");

} // namespace

WorkList parseWorkList(QString text) {
    WorkList list;
    while (!text.isEmpty()) {
        QString line = GetWord(text, kCrLf);
        const int row = static_cast<int>(list.rows.size());
        QStringList cells;
        while (!line.isEmpty()) {
            const QString word = GetWord(line, QStringLiteral(" "));
            if (cells.size() < kWorkListColumns)
                cells << word;
            else
                list.excess.push_back({row, word});
        }
        list.rows.push_back(cells);
    }
    return list;
}

QStringList nameEntries(QString text) {
    QStringList entries;
    while (!text.isEmpty())
        entries << GetWord(text, kCrLf);
    return entries;
}

QString anonymizeConfirmation(const QString &connectionString) {
    // The window puts the password last, unquoted, so everything after its key is the password.
    static const QString key = QStringLiteral(";Password=");
    QString shown = connectionString;
    const qsizetype at = shown.indexOf(key, 0, Qt::CaseInsensitive);
    if (at >= 0 && at + key.size() < shown.size())
        shown = shown.left(at + key.size()) + QString(8, QLatin1Char('*')); // its length stays unknown too
    return QStringLiteral("Are you sure you want to anonymize ") + shown + QStringLiteral("?");
}

int NameDraw::index(qsizetype listSize) {
    const double r = m_unit(m_engine);
    if (listSize <= 0)
        return -1;
    const int range = static_cast<int>(std::min<qsizetype>(kRange, listSize));
    // r < 1, but range * r may still round up to range.
    return std::min(range - 1, static_cast<int>(std::floor(range * r)));
}

} // namespace quorix
