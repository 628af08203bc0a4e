#include "db/odbc/OdbcValue.h"

#include <QDate>
#include <QDateTime>
#include <QTime>

namespace quorix::odbc {

namespace {

constexpr SQLSMALLINT kSsTime2 = -154; // the SQL Server time(n) type

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
    case SQL_TYPE_TIMESTAMP:
        if (column.scale <= 3) {
            SQL_TIMESTAMP_STRUCT t{};
            if (!readFixed(stmt, col, SQL_C_TYPE_TIMESTAMP, t))
                return {};
            return QDateTime(QDate(t.year, t.month, t.day),
                             QTime(t.hour, t.minute, t.second, static_cast<int>(t.fraction / 1000000)));
        }
        return readText(stmt, col, buffer);
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
