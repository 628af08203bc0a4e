// The anonymizer's work list and confirmation on any text: one row per CR LF-separated line; a row's cells
// and its words left out give back the line (a single trailing blank aside), never more than five cells;
// and the confirmation never shows the password.

#include "FuzzInput.h"

#include "core/masking/AnonymizerRules.h"

using namespace quorix;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const QStringList fields = fuzz::fieldsOf(fuzz::textOf(data, size), 2);
    const QString text = fields[0];
    const WorkList list = parseWorkList(text);

    QStringList lines;
    for (QString rest = text; !rest.isEmpty();) {
        const qsizetype at = rest.indexOf(QStringLiteral("\r\n"));
        lines << (at < 0 ? rest : rest.left(at));
        rest = at < 0 ? QString() : rest.mid(at + 2);
    }
    fuzz::require(list.rows.size() == static_cast<size_t>(lines.size()), "one row per line", text);
    for (size_t r = 0; r < list.rows.size(); ++r) {
        QStringList words = list.rows[r];
        fuzz::require(words.size() <= kWorkListColumns, "at most five cells", lines[r]);
        for (const WorkList::Excess &e : list.excess)
            if (e.row == static_cast<int>(r))
                words << e.word;
        const QString joined = words.join(QLatin1Char(' '));
        fuzz::require(joined == lines[r] || joined + QLatin1Char(' ') == lines[r], "the words give the line",
                      joined, lines[r]);
    }

    const QString password = fields[1];
    const QString shown = anonymizeConfirmation(QStringLiteral("Server=x;UID=sa;Password=") + password);
    fuzz::require(shown.startsWith(QStringLiteral("Are you sure you want to anonymize ")) &&
                      shown.endsWith(QLatin1Char('?')),
                  "the question's frame", shown);
    if (!password.isEmpty())
        fuzz::require(shown.endsWith(QStringLiteral(";Password=********?")), "the password is masked", shown,
                      password);
    return 0;
}
