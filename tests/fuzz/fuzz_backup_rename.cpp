// The renaming rules on any file name and separator: a rename only ever cuts text away before the first
// dot, never leaves an empty name, removes a date only where a whole one stands, and a renamed file is not
// renamed again by the same rule.

#include "FuzzInput.h"

#include "core/restore/BackupRename.h"

#include <QDate>

using namespace quorix;

namespace {

void checkDateFree(const QString &name) {
    const std::optional<QString> renamed = dateFreeBackupName(name);
    if (!renamed)
        return;
    const QString kept = renamed->chopped(4);
    fuzz::require(renamed->endsWith(QLatin1String(".bak")) && !kept.isEmpty() && name.startsWith(kept),
                  "the date-free name is a start of the name closed by .bak", *renamed, name);
    fuzz::require(name.mid(kept.size()).startsWith(QLatin1Char('_')), "the cut falls on the date's _",
                  *renamed, name);
    const QDate date = QDate::fromString(name.mid(kept.size() + 1, 8), QStringLiteral("yyyyMMdd"));
    const QChar after = kept.size() + 9 < name.size() ? name.at(kept.size() + 9) : QChar();
    fuzz::require(date.isValid() && date.year() >= 1990 && date.year() <= 2099 &&
                      !(after >= QLatin1Char('0') && after <= QLatin1Char('9')),
                  "a whole date of 1990 to 2099 follows the cut", *renamed, name);
    fuzz::require(!dateFreeBackupName(*renamed), "a date-free name has no date left to cut", *renamed);
}

void checkSeparatorCut(const QString &name, const QString &separator) {
    if (separator.isEmpty())
        return;
    const SeparatorCut cut = cutAtSeparator(name, separator);
    const qsizetype dot = name.indexOf(QLatin1Char('.'));
    const QString fromDot = dot < 0 ? QString() : name.mid(dot);
    switch (cut.kind) {
    case SeparatorCut::Kind::Leave:
        fuzz::require(!name.contains(separator) || name.startsWith(separator),
                      "a name holding the separator after its start is not left alone", name, separator);
        break;
    case SeparatorCut::Kind::AfterFirstDot:
        fuzz::require(dot >= 0 && name.contains(separator) && !name.left(dot).contains(separator),
                      "only a separator after the first dot is reported so", name, separator);
        break;
    case SeparatorCut::Kind::Rename:
        fuzz::require(!cut.newName.isEmpty() && cut.newName.size() < name.size(),
                      "a rename shortens the name", cut.newName, name);
        fuzz::require(name.startsWith(cut.newName.chopped(fromDot.size())) && cut.newName.endsWith(fromDot),
                      "a rename keeps the start and everything from the first dot", cut.newName, name);
        fuzz::require(cutAtSeparator(cut.newName, separator).kind != SeparatorCut::Kind::Rename,
                      "a renamed file is not renamed again", cut.newName, separator);
        break;
    }
}

void checkFolder(const QString &folder) {
    const QString closed = withClosingBackslash(folder);
    fuzz::require(closed.startsWith(folder) && closed.size() - folder.size() <= 1 &&
                      (closed.endsWith(QLatin1Char('\\')) || closed.endsWith(QLatin1Char('/'))),
                  "a folder is closed by one backslash at most", closed, folder);
    fuzz::require(withClosingBackslash(closed) == closed, "a closed folder stays as it is", closed);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const QStringList fields = fuzz::fieldsOf(fuzz::textOf(data, size), 2); // name, separator
    checkDateFree(fields[0]);
    checkSeparatorCut(fields[0], fields[1]);
    checkFolder(fields[0]);
    return 0;
}
