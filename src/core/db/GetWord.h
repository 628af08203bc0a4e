#pragma once

#include <QString>

namespace quorix {

// Takes the first item off a separated list: returns the text before the first occurrence of separator
// (exact, case-sensitive) and leaves wordGroup holding everything after it. Without a separator the whole
// list is the item and the list becomes empty. Empty items come back as empty texts.
QString GetWord(QString &wordGroup, const QString &separator);

} // namespace quorix
