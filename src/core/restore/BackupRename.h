#pragma once

// How backup file names lose their dates before a folder restore, which takes the database name from the
// text before a file's first dot. Two rules: "Rename bak files (remove date)" cuts at a date marker and
// closes the name with ".bak"; "Rename files " cuts the part before the first dot at the separator the
// user gives and keeps everything from that dot on.

#include <QString>

#include <optional>

namespace quorix {

// "Rename bak files (remove date)": the name cut at its first "_" followed by a full date yyyyMMdd (a
// calendar date, year 1990 to 2099) that no further digit follows, everything from there on replaced by
// ".bak" ("Billing_20150312_0100.trn.bak" gives "Billing.bak", "Pay_2019_20150312.bak" "Pay_2019.bak").
// Nothing for a name without such a date ("Accounting_2012.bak" is an archive, not a dated backup), or one
// that starts with it (the cut would leave no name).
std::optional<QString> dateFreeBackupName(const QString &name);

// "Rename files ": what the separator makes of one name.
struct SeparatorCut {
    enum class Kind {
        Leave,         // the name does not hold the separator, or holds it first (nothing would be left)
        Rename,        // newName is the new name
        AfterFirstDot, // the separator occurs only after the first dot: there is nothing to cut before it
    };
    Kind kind = Kind::Leave;
    QString newName;
};
// The part before the first dot cut at the first occurrence of separator (case-sensitive), followed by
// the dot and everything after it ("Billing_2015.03.bak" at "_201" gives "Billing.03.bak"). The
// separator must not be empty.
SeparatorCut cutAtSeparator(const QString &name, const QString &separator);

// What the renaming says when the separator occurs only after the first dot of name.
QString separatorAfterDotText(const QString &name, const QString &separator);

// The folder with a closing backslash ("d:\bak" gives "d:\bak\"); a folder already closed by "\" or "/"
// stays as it is.
QString withClosingBackslash(const QString &folder);

} // namespace quorix
