#include "core/db/GetWord.h"

namespace quorix {

QString GetWord(QString &wordGroup, const QString &separator) {
    const qsizetype p = separator.isEmpty() ? -1 : wordGroup.indexOf(separator, 0, Qt::CaseSensitive);
    if (p < 0) {
        QString all = wordGroup;
        wordGroup.clear();
        return all;
    }
    QString first = wordGroup.left(p);
    wordGroup.remove(0, p + separator.size());
    return first;
}

} // namespace quorix
