#include "restore/BackupRename.h"

#include <QRegularExpression>

namespace quorix {

std::optional<QString> dateFreeBackupName(const QString &name) {
    // Plain ASCII digits: a date in a file name is written with them.
    static const QRegularExpression marker(QStringLiteral("_(199[0-9]|20[0-9][0-9])"));
    const qsizetype at = name.indexOf(marker);
    if (at <= 0)
        return std::nullopt;
    return name.left(at) + QStringLiteral(".bak");
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
