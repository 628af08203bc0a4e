#include "core/db/odbc/OdbcValue.h"

#include <QDate>
#include <QDateTime>
#include <QTime>
#include <QTimeZone>
#include <algorithm>
#include <cstdlib>

namespace quorix::odbc {

namespace {

constexpr SQLSMALLINT kSsTime2 = -154;           // the SQL Server time(n) type
constexpr SQLSMALLINT kSsTimestampOffset = -155; // datetimeoffset(n)

// The layout in which a datetimeoffset arrives as bytes: the local date and time, then the offset, whose
// hour and minute share its sign.
struct TimestampOffset {
    SQLSMALLINT year;
    SQLUSMALLINT month, day, hour, minute, second;
    SQLUINTEGER fraction; // nanoseconds
    SQLSMALLINT offsetHour, offsetMinute;
};
static_assert(sizeof(TimestampOffset) == 20);

// "yyyy-MM-dd hh:mm:ss" and `digits` fraction digits: the driver's own text writes a year before 1000 with
// fewer than four digits, which the server does not read back.
QString dateTimeText(const SQL_TIMESTAMP_STRUCT &t, int digits) {
    QString text = QString::asprintf("%04d-%02u-%02u %02u:%02u:%02u", t.year, t.month, t.day, t.hour,
                                     t.minute, t.second);
    if (digits > 0)
        text += QLatin1Char('.') +
                QString::asprintf("%09u", static_cast<unsigned>(t.fraction)).left(std::min(digits, 7));
    return text;
}

QString columnText(const Handle &stmt, SQLUSMALLINT col, SQLUSMALLINT field) {
    SQLWCHAR text[256];
    SQLSMALLINT bytes = 0;
    if (!succeeded(SQLColAttributeW(stmt.get(), col, field, text, sizeof text, &bytes, nullptr)))
        return {};
    return fromWide(text, std::min<qsizetype>(bytes / 2, 255));
}

template <class T> bool readFixed(const Handle &stmt, SQLUSMALLINT col, SQLSMALLINT cType, T &value) {
    SQLLEN indicator = 0;
    stmt.check(SQLGetData(stmt.get(), col, cType, &value, sizeof value, &indicator), "SQLGetData");
    return indicator != SQL_NULL_DATA;
}

// Reads a variable-length value in pieces; unit is the size of one element (2 for UTF-16 text, 1 for
// bytes), terminator the number of elements the driver reserves for a terminating zero.
bool readLong(const Handle &stmt, SQLUSMALLINT col, SQLSMALLINT cType, int unit, int terminator,
              std::vector<char> &buffer, QByteArray &out) {
    if (buffer.size() < 8192)
        buffer.resize(8192);
    out.clear();
    for (;;) {
        SQLLEN indicator = 0;
        const SQLRETURN rc =
            SQLGetData(stmt.get(), col, cType, buffer.data(), static_cast<SQLLEN>(buffer.size()), &indicator);
        if (rc == SQL_NO_DATA)
            return true;
        stmt.check(rc, "SQLGetData");
        if (indicator == SQL_NULL_DATA)
            return false;
        const SQLLEN room = static_cast<SQLLEN>(buffer.size()) - terminator * unit;
        const bool whole = indicator != SQL_NO_TOTAL && indicator <= room;
        const SQLLEN got = whole ? indicator : room;
        out.append(buffer.data(), static_cast<qsizetype>(got - got % unit));
        if (whole)
            return true;
    }
}

QVariant readText(const Handle &stmt, SQLUSMALLINT col, std::vector<char> &buffer) {
    QByteArray bytes;
    if (!readLong(stmt, col, SQL_C_WCHAR, 2, 1, buffer, bytes))
        return {};
    return QString::fromUtf16(reinterpret_cast<const char16_t *>(bytes.constData()), bytes.size() / 2);
}

} // namespace

std::vector<Column> describeColumns(const Handle &stmt) {
    SQLSMALLINT count = 0;
    stmt.check(SQLNumResultCols(stmt.get(), &count), "SQLNumResultCols");
    std::vector<Column> columns;
    columns.reserve(static_cast<size_t>(count));
    for (SQLUSMALLINT i = 1; i <= static_cast<SQLUSMALLINT>(count); ++i) {
        SQLWCHAR name[256];
        SQLSMALLINT nameLen = 0, type = 0, scale = 0, nullable = 0;
        SQLULEN size = 0;
        stmt.check(SQLDescribeColW(stmt.get(), i, name, 256, &nameLen, &type, &size, &scale, &nullable),
                   "SQLDescribeCol");
        Column c;
        c.name = fromWide(name, std::min<SQLSMALLINT>(nameLen, 255));
        c.sqlType = type;
        c.size = size;
        c.scale = scale;
        c.nullable = nullable != SQL_NO_NULLS;
        c.typeName = columnText(stmt, i, SQL_DESC_TYPE_NAME);
        columns.push_back(std::move(c));
    }
    return columns;
}

QVariant readValue(const Handle &stmt, SQLUSMALLINT col, const Column &column, std::vector<char> &buffer) {
    switch (column.sqlType) {
    case SQL_BIT: {
        unsigned char v = 0;
        return readFixed(stmt, col, SQL_C_BIT, v) ? QVariant(v != 0) : QVariant();
    }
    case SQL_TINYINT:
    case SQL_SMALLINT:
    case SQL_INTEGER: {
        SQLINTEGER v = 0;
        return readFixed(stmt, col, SQL_C_SLONG, v) ? QVariant(static_cast<int>(v)) : QVariant();
    }
    case SQL_BIGINT: {
        SQLBIGINT v = 0;
        return readFixed(stmt, col, SQL_C_SBIGINT, v) ? QVariant(static_cast<qlonglong>(v)) : QVariant();
    }
    case SQL_REAL:
    case SQL_FLOAT:
    case SQL_DOUBLE: {
        double v = 0;
        return readFixed(stmt, col, SQL_C_DOUBLE, v) ? QVariant(v) : QVariant();
    }
    case SQL_TYPE_DATE: {
        SQL_DATE_STRUCT d{};
        return readFixed(stmt, col, SQL_C_TYPE_DATE, d) ? QVariant(QDate(d.year, d.month, d.day))
                                                        : QVariant();
    }
    case SQL_TYPE_TIMESTAMP: {
        SQL_TIMESTAMP_STRUCT t{};
        if (!readFixed(stmt, col, SQL_C_TYPE_TIMESTAMP, t))
            return {};
        if (column.scale > 3) // 100-ns digits that QDateTime cannot hold
            return dateTimeText(t, column.scale);
        // In UTC, which has no daylight-saving gap that would move a local time such as 02:30.
        return QDateTime(QDate(t.year, t.month, t.day),
                         QTime(t.hour, t.minute, t.second, static_cast<int>(t.fraction / 1000000)),
                         QTimeZone::utc());
    }
    case kSsTimestampOffset: {
        TimestampOffset t{};
        if (!readFixed(stmt, col, SQL_C_BINARY, t))
            return {};
        const int offset = t.offsetHour * 60 + t.offsetMinute;
        return dateTimeText({t.year, t.month, t.day, t.hour, t.minute, t.second, t.fraction}, column.scale) +
               QString::asprintf(" %c%02d:%02d", offset < 0 ? '-' : '+', std::abs(offset) / 60,
                                 std::abs(offset) % 60);
    }
    case SQL_BINARY:
    case SQL_VARBINARY:
    case SQL_LONGVARBINARY: {
        QByteArray bytes;
        if (!readLong(stmt, col, SQL_C_BINARY, 1, 0, buffer, bytes))
            return {};
        return bytes;
    }
    case kSsTime2:
    default:
        return readText(stmt, col, buffer);
    }
}

} // namespace quorix::odbc
