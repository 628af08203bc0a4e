#include "core/db/ConnectionTarget.h"

#include <QSysInfo>

namespace quorix {

QString encryptionName(Encryption e) {
    switch (e) {
    case Encryption::Optional:
        return QStringLiteral("Optional");
    case Encryption::Strict:
        return QStringLiteral("Strict");
    case Encryption::Mandatory:
    default:
        return QStringLiteral("Mandatory");
    }
}

std::optional<Encryption> encryptionNamed(const QString &name) {
    for (Encryption e : {Encryption::Mandatory, Encryption::Optional, Encryption::Strict})
        if (name.trimmed().compare(encryptionName(e), Qt::CaseInsensitive) == 0)
            return e;
    return std::nullopt;
}

QString workstationName() {
    const QString name = QSysInfo::machineHostName();
    return name.isEmpty() ? QStringLiteral("unknown") : name;
}

} // namespace quorix
