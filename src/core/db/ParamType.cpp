#include "core/db/ParamType.h"

#include "core/db/DbError.h"

#include <QRegularExpression>

namespace quorix {

namespace {

DbError unknownType(const QString &sqlType) {
    return DbError::ofText(QStringLiteral("HY004"), 0,
                           QStringLiteral("Parameter type \"%1\" is not supported.").arg(sqlType));
}

} // namespace

ParamType ParamType::parse(const QString &sqlType) {
    using K = Kind;
    static const QRegularExpression form(
        QStringLiteral(R"(^\s*([a-z0-9]+)\s*(?:\(\s*(max|\d+)\s*(?:,\s*(\d+)\s*)?\))?\s*$)"),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = form.match(sqlType);
    if (!m.hasMatch())
        throw unknownType(sqlType);
    const QString name = m.captured(1).toLower();
    const QString first = m.captured(2).toLower();
    const bool hasFirst = !first.isEmpty();
    const bool hasSecond = !m.captured(3).isEmpty();
    const int a = first.toInt();
    const int b = m.captured(3).toInt();

    struct Named {
        const char *name;
        Kind kind;
    };
    static const Named plain[] = {
        {"bit", K::Bit},     {"tinyint", K::TinyInt}, {"smallint", K::SmallInt},
        {"int", K::Int},     {"bigint", K::BigInt},   {"real", K::Real},
        {"float", K::Float}, {"date", K::Date},       {"uniqueidentifier", K::UniqueIdentifier}};
    for (const Named &n : plain)
        if (name == QLatin1String(n.name)) {
            if (hasFirst)
                throw unknownType(sqlType);
            return ParamType{n.kind, 0, 0, 0};
        }
    if (name == QLatin1String("decimal") || name == QLatin1String("numeric")) {
        const int precision = hasFirst ? a : 18;
        const int scale = hasSecond ? b : 0;
        if (first == QLatin1String("max") || precision < 1 || precision > 38 || scale > precision)
            throw unknownType(sqlType);
        return ParamType{name == QLatin1String("decimal") ? K::Decimal : K::Numeric, 0, precision, scale};
    }
    if (name == QLatin1String("money") || name == QLatin1String("smallmoney")) {
        if (hasFirst)
            throw unknownType(sqlType);
        return ParamType{K::Decimal, 0, name == QLatin1String("money") ? 19 : 10, 4};
    }
    if (name == QLatin1String("datetime") || name == QLatin1String("smalldatetime")) {
        if (hasFirst)
            throw unknownType(sqlType);
        return ParamType{K::DateTime, 0, 0, name == QLatin1String("datetime") ? 3 : 0};
    }
    static const Named scaled[] = {
        {"time", K::Time}, {"datetime2", K::DateTime2}, {"datetimeoffset", K::DateTimeOffset}};
    for (const Named &n : scaled)
        if (name == QLatin1String(n.name)) {
            const int scale = hasFirst ? a : 7;
            if (first == QLatin1String("max") || hasSecond || scale > 7)
                throw unknownType(sqlType);
            return ParamType{n.kind, 0, 0, scale};
        }
    static const Named sized[] = {{"char", K::Char},     {"varchar", K::VarChar},
                                  {"nchar", K::NChar},   {"nvarchar", K::NVarChar},
                                  {"binary", K::Binary}, {"varbinary", K::VarBinary}};
    for (const Named &n : sized)
        if (name == QLatin1String(n.name)) {
            const bool fixed = n.kind == K::Char || n.kind == K::NChar || n.kind == K::Binary;
            const bool max = first == QLatin1String("max");
            const int limit = n.kind == K::NChar || n.kind == K::NVarChar ? 4000 : 8000;
            if (hasSecond || (max && fixed) || (!max && hasFirst && (a < 1 || a > limit)))
                throw unknownType(sqlType);
            return ParamType{n.kind, max ? kMax : hasFirst ? a : 1, 0, 0};
        }
    throw unknownType(sqlType);
}

bool ParamType::travelsAsText() const {
    return kind == Kind::Date || kind == Kind::Time || kind == Kind::DateTime2 ||
           kind == Kind::DateTimeOffset;
}

QString ParamType::castType() const {
    if (kind == Kind::Date)
        return QStringLiteral("date");
    const QString name = kind == Kind::Time        ? QStringLiteral("time(%1)")
                         : kind == Kind::DateTime2 ? QStringLiteral("datetime2(%1)")
                                                   : QStringLiteral("datetimeoffset(%1)");
    return name.arg(scale);
}

namespace {

// The positions of the '?' markers of sql: outside '...' and N'...' literals, [...] and "..." names, --
// and /* */ comments (a doubled quote or bracket stays inside).
std::vector<qsizetype> markerPositions(const QString &sql) {
    std::vector<qsizetype> out;
    const qsizetype n = sql.size();
    auto skipQuoted = [&](qsizetype i, QChar close) {
        for (++i; i < n; ++i)
            if (sql[i] == close) {
                if (i + 1 < n && sql[i + 1] == close)
                    ++i;
                else
                    break;
            }
        return i;
    };
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = sql[i];
        if (c == QLatin1Char('\''))
            i = skipQuoted(i, QLatin1Char('\''));
        else if (c == QLatin1Char('['))
            i = skipQuoted(i, QLatin1Char(']'));
        else if (c == QLatin1Char('"'))
            i = skipQuoted(i, QLatin1Char('"'));
        else if (c == QLatin1Char('-') && i + 1 < n && sql[i + 1] == QLatin1Char('-')) {
            const qsizetype end = sql.indexOf(QLatin1Char('\n'), i);
            i = end < 0 ? n : end;
        } else if (c == QLatin1Char('/') && i + 1 < n && sql[i + 1] == QLatin1Char('*')) {
            const qsizetype end = sql.indexOf(QLatin1String("*/"), i + 2);
            i = end < 0 ? n : end + 1;
        } else if (c == QLatin1Char('?'))
            out.push_back(i);
    }
    return out;
}

} // namespace

QString castTextMarkers(const QString &sql, const std::vector<ParamType> &types) {
    const std::vector<qsizetype> markers = markerPositions(sql);
    if (markers.size() != types.size())
        return sql;
    QString out;
    out.reserve(sql.size());
    qsizetype from = 0;
    for (size_t i = 0; i < markers.size(); ++i) {
        if (!types[i].travelsAsText())
            continue;
        out += QStringView(sql).mid(from, markers[i] - from);
        out += QStringLiteral("CAST(? AS ") + types[i].castType() + QLatin1Char(')');
        from = markers[i] + 1;
    }
    out += QStringView(sql).mid(from);
    return out;
}

} // namespace quorix
