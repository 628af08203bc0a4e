#include "core/db/SqlQuote.h"

#include <QDateTime>
#include <QList>

#include <algorithm>
#include <array>
#include <string_view>

namespace quorix {

namespace {

// The server's reserved words, upper case, sorted; a name spelled like one needs brackets.
// clang-format off
constexpr auto kReserved = std::to_array<std::string_view>({
    "ADD", "ALL", "ALTER", "AND", "ANY", "AS", "ASC", "AUTHORIZATION", "BACKUP", "BEGIN", "BETWEEN", "BREAK",
    "BROWSE", "BULK", "BY", "CASCADE", "CASE", "CHECK", "CHECKPOINT", "CLOSE", "CLUSTERED", "COALESCE",
    "COLLATE", "COLUMN", "COMMIT", "COMPUTE", "CONSTRAINT", "CONTAINS", "CONTAINSTABLE", "CONTINUE",
    "CONVERT", "CREATE", "CROSS", "CURRENT", "CURRENT_DATE", "CURRENT_TIME", "CURRENT_TIMESTAMP",
    "CURRENT_USER", "CURSOR", "DATABASE", "DBCC", "DEALLOCATE", "DECLARE", "DEFAULT", "DELETE", "DENY",
    "DESC", "DISK", "DISTINCT", "DISTRIBUTED", "DOUBLE", "DROP", "DUMP", "ELSE", "END", "ERRLVL", "ESCAPE",
    "EXCEPT", "EXEC", "EXECUTE", "EXISTS", "EXIT", "EXTERNAL", "FETCH", "FILE", "FILLFACTOR", "FOR",
    "FOREIGN", "FREETEXT", "FREETEXTTABLE", "FROM", "FULL", "FUNCTION", "GOTO", "GRANT", "GROUP", "HAVING",
    "HOLDLOCK", "IDENTITY", "IDENTITYCOL", "IDENTITY_INSERT", "IF", "IN", "INDEX", "INNER", "INSERT",
    "INTERSECT", "INTO", "IS", "JOIN", "KEY", "KILL", "LEFT", "LIKE", "LINENO", "LOAD", "MERGE", "NATIONAL",
    "NOCHECK", "NONCLUSTERED", "NOT", "NULL", "NULLIF", "OF", "OFF", "OFFSETS", "ON", "OPEN",
    "OPENDATASOURCE", "OPENQUERY", "OPENROWSET", "OPENXML", "OPTION", "OR", "ORDER", "OUTER", "OVER",
    "PERCENT", "PIVOT", "PLAN", "PRECISION", "PRIMARY", "PRINT", "PROC", "PROCEDURE", "PUBLIC", "RAISERROR",
    "READ", "READTEXT", "RECONFIGURE", "REFERENCES", "REPLICATION", "RESTORE", "RESTRICT", "RETURN", "REVERT",
    "REVOKE", "RIGHT", "ROLLBACK", "ROWCOUNT", "ROWGUIDCOL", "RULE", "SAVE", "SCHEMA", "SECURITYAUDIT",
    "SELECT", "SEMANTICKEYPHRASETABLE", "SEMANTICSIMILARITYDETAILSTABLE", "SEMANTICSIMILARITYTABLE",
    "SESSION_USER", "SET", "SETUSER", "SHUTDOWN", "SOME", "STATISTICS", "SYSTEM_USER", "TABLE", "TABLESAMPLE",
    "TEXTSIZE", "THEN", "TO", "TOP", "TRAN", "TRANSACTION", "TRIGGER", "TRUNCATE", "TRY_CONVERT", "TSEQUAL",
    "UNION", "UNIQUE", "UNPIVOT", "UPDATE", "UPDATETEXT", "USE", "USER", "VALUES", "VARYING", "VIEW",
    "WAITFOR", "WHEN", "WHERE", "WHILE", "WITH", "WRITETEXT"});
// clang-format on
static_assert(std::is_sorted(kReserved.begin(), kReserved.end()), "binary search needs the words sorted");

bool isReserved(const QString &name) {
    // Reserved words are plain ASCII; anything else cannot be one.
    const QByteArray upper = name.toUpper().toLatin1();
    if (upper.size() != name.size())
        return false;
    const std::string_view word(upper.constData(), static_cast<std::size_t>(upper.size()));
    return std::binary_search(kReserved.begin(), kReserved.end(), word);
}

} // namespace

bool isRegularIdentifier(const QString &name) {
    if (name.isEmpty())
        return false;
    const QList<uint> points = name.toUcs4();
    for (qsizetype i = 0; i < points.size(); ++i) {
        const char32_t c = points[i];
        const bool ok = QChar::isLetter(c) || c == U'_' ||
                        (i > 0 && (QChar::isDigit(c) || c == U'@' || c == U'#' || c == U'$'));
        if (!ok)
            return false;
    }
    return !isReserved(name);
}

QString sqlName(const QString &name) {
    return isRegularIdentifier(name) ? name : QLatin1Char('[') + bracketInner(name) + QLatin1Char(']');
}

QString sqlLiteral(const QString &text) {
    const bool ascii = std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x80; });
    return ascii ? QLatin1Char('\'') + sqlLiteralText(text) + QLatin1Char('\'') : sqlUnicodeLiteral(text);
}

QString sqlUnicodeLiteral(const QString &text) {
    return QStringLiteral("N'") + sqlLiteralText(text) + QLatin1Char('\'');
}

QString sqlLiteralText(const QString &text) {
    QString out = text;
    return out.replace(QLatin1Char('\''), QLatin1String("''"));
}

QString sqlValueText(const QVariant &value) {
    if (!value.isValid() || value.isNull())
        return {};
    switch (value.typeId()) {
    case QMetaType::Bool:
        return value.toBool() ? QStringLiteral("1") : QStringLiteral("0");
    case QMetaType::QDateTime:
        return value.toDateTime().toString(QStringLiteral("yyyy-MM-ddThh:mm:ss.zzz"));
    case QMetaType::QDate:
        return value.toDate().toString(QStringLiteral("yyyyMMdd"));
    case QMetaType::QTime:
        return value.toTime().toString(QStringLiteral("hh:mm:ss.zzz"));
    case QMetaType::Double:
        return QString::number(value.toDouble(), 'g', 17);
    case QMetaType::Float:
        return QString::number(value.toFloat(), 'g', 9);
    default:
        return value.toString();
    }
}

QString bracketInner(const QString &name) {
    QString out = name;
    return out.replace(QLatin1Char(']'), QLatin1String("]]"));
}

QString useStatement(const QString &db) {
    return QStringLiteral("Use ") + sqlName(db);
}

QString insertStatement(const QString &qualifiedTable, const QStringList &columns) {
    QStringList names;
    for (const QString &c : columns)
        names << sqlName(c);
    return QStringLiteral("INSERT INTO ") + qualifiedTable + QStringLiteral(" (") +
           names.join(QStringLiteral(", ")) + QStringLiteral(") VALUES (") +
           QStringList(columns.size(), QStringLiteral("?")).join(QStringLiteral(", ")) + QLatin1Char(')');
}

} // namespace quorix
