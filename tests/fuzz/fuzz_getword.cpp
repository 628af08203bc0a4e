// GetWord on any list and separator: each item taken off is the text before the first separator, and the
// item, the separator and what is left give back the list; a list always runs out.

#include "FuzzInput.h"

#include "core/db/GetWord.h"

using quorix::GetWord;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    // The first character says how long the separator is (0 to 3), the separator follows, then the list.
    const QString text = fuzz::textOf(data, size);
    const qsizetype length = text.isEmpty() ? 0 : text[0].unicode() % 4;
    const QString separator = text.mid(1, length);
    QString list = text.mid(1 + length);

    for (qsizetype taken = 0; !list.isEmpty(); ++taken) {
        fuzz::require(taken <= text.size(), "every item shortens the list", list);
        const QString before = list;
        const QString item = GetWord(list, separator);
        if (!separator.isEmpty() && before.contains(separator)) {
            fuzz::require(item + separator + list == before, "item, separator and rest give the list",
                          item + separator + list, before);
            fuzz::require(!item.contains(separator), "the item ends at the first separator", item);
        } else {
            fuzz::require(item == before && list.isEmpty(), "without a separator the list is one item", item,
                          before);
        }
    }
    return 0;
}
