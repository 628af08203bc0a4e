#include "core/restore/BackupRename.h"

#include <QDate>
#include <QRegularExpression>

namespace quorix {

std::optional<QString> dateFreeBackupName(const QString &name) {
    // A whole date and nothing more: "_2012" (an archive's year) or "_201503121" is no backup's date, and
    // "_20150230" no date at all. Plain ASCII digits: a date in a file name is written with them.
    static const QRegularExpression marker(QStringLiteral("_([0-9]{4})([0-9]{2})([0-9]{2})(?![0-9])"));
    for (QRegularExpressionMatchIterator it = marker.globalMatch(name); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        const int year = m.captured(1).toInt();
        if (year < 1990 || year > 2099 || !QDate::isValid(year, m.captured(2).toInt(), m.captured(3).toInt()))
            continue;
        if (m.capturedStart() == 0)
            return std::nullopt; // the cut would leave no name
        return name.left(m.capturedStart()) + QStringLiteral(".bak");
    }
    return std::nullopt;
}

SeparatorCut cutAtSeparator(const QString &name, const QString &separator) {
    if (separator.isEmpty() || !name.contains(separator, Qt::CaseSensitive))
        return {};
    const qsizetype dot = name.indexOf(QLatin1Char('.'));
    const QString base = dot < 0 ? name : name.left(dot);
    const qsizetype at = base.indexOf(separator, 0, Qt::CaseSensitive);
    if (at < 0)
        return {SeparatorCut::Kind::AfterFirstDot, {}};
    if (at == 0)
        return {};
    return {SeparatorCut::Kind::Rename, name.left(at) + (dot < 0 ? QString() : name.mid(dot))};
}

QString separatorAfterDotText(const QString &name, const QString &separator) {
    return QStringLiteral("Cannot rename %1: \"%2\" comes after its first dot, so there is no date to cut "
                          "before it.")
        .arg(name, separator);
}

QString withClosingBackslash(const QString &folder) {
    if (folder.endsWith(QLatin1Char('\\')) || folder.endsWith(QLatin1Char('/')))
        return folder;
    return folder + QLatin1Char('\\');
}

} // namespace quorix
