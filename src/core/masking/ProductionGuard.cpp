#include "core/masking/ProductionGuard.h"

#include "core/db/SqlQuote.h"

namespace quorix {

namespace {

// The parts of a dotted name, brackets and double quotes keeping dots inside them; quotes removed.
QStringList nameParts(const QString &name) {
    QStringList parts{QString()};
    QChar close;
    for (qsizetype i = 0; i < name.size(); ++i) {
        const QChar c = name[i];
        if (!close.isNull()) {
            if (c == close && i + 1 < name.size() && name[i + 1] == close) {
                parts.last() += c; // a doubled closing mark stands for itself
                ++i;
            } else if (c == close) {
                close = QChar();
            } else {
                parts.last() += c;
            }
        } else if (c == QLatin1Char('[')) {
            close = QLatin1Char(']');
        } else if (c == QLatin1Char('"')) {
            close = QLatin1Char('"');
        } else if (c == QLatin1Char('.')) {
            parts << QString();
        } else {
            parts.last() += c;
        }
    }
    return parts;
}

} // namespace

QString tableDatabase(const QString &table) {
    const QStringList parts = nameParts(table.trimmed());
    // table, schema.table: the current database; db.schema.table, server.db.schema.table: named.
    return parts.size() >= 3 ? parts[parts.size() - 3].trimmed() : QString();
}

QStringList databasesOf(const QStringList &tables) {
    QStringList out;
    for (const QString &t : tables) {
        const QString db = tableDatabase(t);
        if (!out.contains(db, Qt::CaseInsensitive))
            out << db;
    }
    return out;
}

QString mirroringRoleStatement(const QString &database) {
    const QString id = database.isEmpty()
                           ? QStringLiteral("DB_ID()")
                           : QStringLiteral("DB_ID(") + sqlUnicodeLiteral(database) + QLatin1Char(')');
    return QStringLiteral("SELECT mirroring_role_desc FROM sys.database_mirroring WHERE database_id = ") + id;
}

QString principalRefusal(const QString &database, const QString &server) {
    const QString named = database.isEmpty() ? QStringLiteral("The current database")
                                             : QStringLiteral("The database ") + database;
    return named + QStringLiteral(" on ") + server +
           QStringLiteral(" is the principal of a mirroring session: it is the copy in use, not a test copy. "
                          "Nothing was anonymized.");
}

} // namespace quorix
