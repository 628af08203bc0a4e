#include "core/db/odbc/OdbcStatement.h"

#include "core/db/odbc/OdbcValue.h"

#include <QDateTime>
#include <QRegularExpression>
#include <QUuid>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <optional>

namespace quorix::odbc {

namespace {

using Kind = ParamType::Kind;

DbError badValue(const QVariant &value, int parameter, const char *state) {
    return DbError::ofText(QLatin1String(state), 0,
                           QStringLiteral("Parameter %1: the value \"%2\" cannot be converted to its type.")
                               .arg(parameter)
                               .arg(value.toString()));
}

template <class T> void store(Statement::Bound &out, const T &v) {
    out.data.resize(sizeof(T));
    std::memcpy(out.data.data(), &v, sizeof(T));
    out.indicator = 0;
}

qlonglong integer(const QVariant &value, int parameter, qlonglong low, qlonglong high) {
    bool ok = false;
    qlonglong v = 0;
    if (value.typeId() == QMetaType::Double || value.typeId() == QMetaType::Float) {
        const double d = value.toDouble();
        ok = std::isfinite(d) && d == std::trunc(d) && std::fabs(d) < 9.2e18;
        v = static_cast<qlonglong>(d);
    } else {
        v = value.toLongLong(&ok);
    }
    if (!ok)
        throw badValue(value, parameter, "22018");
    if (v < low || v > high)
        throw badValue(value, parameter, "22003");
    return v;
}

// Decimal text exactly as given: a number already in text form travels unchanged (no detour through a
// binary floating value); a double is written with the shortest digits that read back to it.
QByteArray decimalText(const QVariant &value, int parameter) {
    static const QRegularExpression form(QStringLiteral(R"(^[+-]?(\d+\.?\d*|\.\d+)$)"));
    QString text;
    if (value.typeId() == QMetaType::Double || value.typeId() == QMetaType::Float)
        text = QString::number(value.toDouble(), 'f', QLocale::FloatingPointShortest);
    else
        text = value.toString().trimmed();
    if (!form.match(text).hasMatch())
        throw badValue(value, parameter, "22018");
    return text.toLatin1();
}

// A date and time as the caller gives it: QDateTime, QDate, or text "yyyy-MM-dd[( |T)HH:mm[:ss[.f]]]" with up
// to nine fraction digits, for datetimeoffset followed by "Z" or an offset "+hh:mm" / "-hh:mm" (a blank
// before it allowed). Text is read by hand: datetime2 keeps 100-ns digits that QDateTime cannot hold.
struct Moment {
    int year = 1, month = 1, day = 1, hour = 0, minute = 0, second = 0;
    SQLUINTEGER nanoseconds = 0;
    std::optional<int> offset; // minutes east of UTC, when given
};

Moment moment(const QVariant &value, int parameter, bool offsetAllowed) {
    Moment m;
    if (value.typeId() == QMetaType::QDate || value.typeId() == QMetaType::QDateTime) {
        const bool dateOnly = value.typeId() == QMetaType::QDate;
        const QDateTime dt = dateOnly ? QDateTime() : value.toDateTime();
        const QDate d = dateOnly ? value.toDate() : dt.date();
        const QTime t = dateOnly ? QTime(0, 0) : dt.time();
        if (!d.isValid() || !t.isValid() || d.year() < 1 || d.year() > 9999)
            throw badValue(value, parameter, "22007");
        const auto nanoseconds = static_cast<SQLUINTEGER>(t.msec()) * 1000000u;
        m = {d.year(), d.month(), d.day(), t.hour(), t.minute(), t.second(), nanoseconds, {}};
        if (offsetAllowed && !dateOnly)
            m.offset = dt.offsetFromUtc() / 60;
        return m;
    }
    static const QRegularExpression form(
        QStringLiteral(R"(^(\d{4})-(\d\d)-(\d\d))"
                       R"((?:[ T](\d\d):(\d\d)(?::(\d\d)(?:\.(\d{1,9}))?)?)?)"
                       R"((?:\s*(Z|([+-])(\d\d):(\d\d)))?$)"));
    const QRegularExpressionMatch r = form.match(value.toString().trimmed());
    const auto number = [&r](int group) { return r.captured(group).toInt(); };
    if (!r.hasMatch() || number(1) < 1 || !QDate::isValid(number(1), number(2), number(3)) ||
        number(4) > 23 || number(5) > 59 || number(6) > 59 || (r.hasCaptured(8) && !offsetAllowed))
        throw badValue(value, parameter, "22007");
    const SQLUINTEGER nanoseconds = r.captured(7).leftJustified(9, QLatin1Char('0')).toUInt();
    m = {number(1), number(2), number(3), number(4), number(5), number(6), nanoseconds, {}};
    if (r.hasCaptured(8)) {
        const int minutes = number(10) * 60 + number(11);
        if (number(11) > 59 || minutes > 14 * 60)
            throw badValue(value, parameter, "22007");
        m.offset = r.captured(9) == QLatin1String("-") ? -minutes : minutes;
    }
    return m;
}

// The driver's calendar is off by a day or two before 1600-03-01 (0001-01-01 even wraps round); such a
// date is refused rather than sent wrong. Only datetime and time go this way, whose values never lie there.
SQL_TIMESTAMP_STRUCT timestamp(const QVariant &value, int parameter) {
    const Moment m = moment(value, parameter, false);
    if (QDate(m.year, m.month, m.day) < QDate(1600, 3, 1))
        throw DbError::ofText(
            QStringLiteral("22008"), 0,
            QStringLiteral("Parameter %1: the date \"%2\" lies before 1600-03-01, which the "
                           "driver cannot send exactly.")
                .arg(parameter)
                .arg(value.toString()));
    return {static_cast<SQLSMALLINT>(m.year),
            static_cast<SQLUSMALLINT>(m.month),
            static_cast<SQLUSMALLINT>(m.day),
            static_cast<SQLUSMALLINT>(m.hour),
            static_cast<SQLUSMALLINT>(m.minute),
            static_cast<SQLUSMALLINT>(m.second),
            m.nanoseconds};
}

// The ISO 8601 forms the server reads the same whatever its language and DATEFORMAT.
QString isoText(const Moment &m, ParamType::Kind kind) {
    QString text = QString::asprintf("%04d-%02d-%02d", m.year, m.month, m.day);
    if (kind == Kind::Date)
        return text;
    text += QString::asprintf("T%02d:%02d:%02d.%07u", m.hour, m.minute, m.second,
                              static_cast<unsigned>(m.nanoseconds / 100u));
    if (m.offset) {
        const int minutes = std::abs(*m.offset);
        text += QString::asprintf("%c%02d:%02d", *m.offset < 0 ? '-' : '+', minutes / 60, minutes % 60);
    }
    return text;
}

// time(n)'s parts, read into the timestamp structure.
SQL_TIMESTAMP_STRUCT timeOfDay(const QVariant &value, int parameter) {
    if (value.typeId() == QMetaType::QTime) {
        const QTime t = value.toTime();
        if (!t.isValid())
            throw badValue(value, parameter, "22007");
        return {1900,
                1,
                1,
                static_cast<SQLUSMALLINT>(t.hour()),
                static_cast<SQLUSMALLINT>(t.minute()),
                static_cast<SQLUSMALLINT>(t.second()),
                static_cast<SQLUINTEGER>(t.msec()) * 1000000u};
    }
    return timestamp(QVariant(QStringLiteral("1900-01-01 ") + value.toString().trimmed()), parameter);
}

// The driver would cut a longer value to the declared length without a word.
void refuseLonger(qsizetype length, const ParamType &type, const QVariant &value, int parameter) {
    if (!type.isMax() && length > type.length)
        throw DbError::ofText(
            QStringLiteral("22001"), 8152,
            QStringLiteral("Parameter %1: the value \"%2\" is longer than its type allows (%3).")
                .arg(parameter)
                .arg(value.toString().left(80))
                .arg(type.length));
}

void bindText(const QVariant &value, const ParamType &type, int parameter, Statement::Bound &out) {
    const QString text = value.toString();
    refuseLonger(text.size(), type, value, parameter);
    const bool wide = type.kind == Kind::NChar || type.kind == Kind::NVarChar;
    const bool fixed = type.kind == Kind::Char || type.kind == Kind::NChar;
    // Always handed over as UTF-16: the driver converts to the server's code page for char/varchar.
    out.cType = SQL_C_WCHAR;
    if (type.isMax())
        out.sqlType = wide ? SQL_WLONGVARCHAR : SQL_LONGVARCHAR;
    else
        out.sqlType = wide ? (fixed ? SQL_WCHAR : SQL_WVARCHAR) : (fixed ? SQL_CHAR : SQL_VARCHAR);
    out.size = static_cast<SQLULEN>(type.isMax() ? std::max<qsizetype>(text.size(), 1) : type.length);
    out.data.resize(static_cast<size_t>(text.size()) * 2 + 2);
    std::memcpy(out.data.data(), text.utf16(), out.data.size());
    out.indicator = static_cast<SQLLEN>(text.size()) * 2;
}

// "hh:mm:ss.fffffff": the driver's time binding turns the fraction into 100-ns units through floating point,
// which sends 07:31:37.0000309 for 07:31:37.0000310.
QString timeText(const QVariant &value, int parameter) {
    const SQL_TIMESTAMP_STRUCT t = timeOfDay(value, parameter);
    return QString::asprintf("%02u:%02u:%02u.%07u", t.hour, t.minute, t.second,
                             static_cast<unsigned>(t.fraction / 100u));
}

// date, time, datetime2 and datetimeoffset as their ISO 8601 text, declared as nvarchar of the longest such
// text so that the binding never changes; the statement casts the text to the type (castTextMarkers).
void bindIsoText(const QVariant &value, const ParamType &type, int parameter, Statement::Bound &out) {
    QString text;
    if (!value.isNull())
        text = type.kind == Kind::Time
                   ? timeText(value, parameter)
                   : isoText(moment(value, parameter, type.kind == Kind::DateTimeOffset), type.kind);
    const int longest = type.kind == Kind::Date        ? 10
                        : type.kind == Kind::Time      ? 16
                        : type.kind == Kind::DateTime2 ? 27
                                                       : 33;
    bindText(text, ParamType{Kind::NVarChar, longest, 0, 0}, parameter, out);
}

void bindBytes(const QVariant &value, const ParamType &type, int parameter, Statement::Bound &out) {
    const QByteArray bytes = value.toByteArray();
    refuseLonger(bytes.size(), type, value, parameter);
    out.cType = SQL_C_BINARY;
    out.sqlType = type.isMax() ? SQL_LONGVARBINARY : type.kind == Kind::Binary ? SQL_BINARY : SQL_VARBINARY;
    out.size = static_cast<SQLULEN>(type.isMax() ? std::max<qsizetype>(bytes.size(), 1) : type.length);
    out.data.assign(bytes.begin(), bytes.end());
    if (out.data.empty())
        out.data.push_back(0); // a buffer address even for no bytes
    out.indicator = bytes.size();
}

void bindValue(const QVariant &value, const ParamType &type, int parameter, Statement::Bound &out) {
    out.size = 0;
    out.digits = 0;
    switch (type.kind) {
    case Kind::Bit:
        out.cType = SQL_C_BIT;
        out.sqlType = SQL_BIT;
        store(out, static_cast<SQLCHAR>(value.isNull() ? 0 : value.toBool()));
        break;
    case Kind::TinyInt:
        out.cType = SQL_C_UTINYINT;
        out.sqlType = SQL_TINYINT;
        store(out, static_cast<SQLCHAR>(value.isNull() ? 0 : integer(value, parameter, 0, 255)));
        break;
    case Kind::SmallInt:
        out.cType = SQL_C_SSHORT;
        out.sqlType = SQL_SMALLINT;
        store(out, static_cast<SQLSMALLINT>(value.isNull() ? 0 : integer(value, parameter, -32768, 32767)));
        break;
    case Kind::Int:
        out.cType = SQL_C_SLONG;
        out.sqlType = SQL_INTEGER;
        store(out,
              static_cast<SQLINTEGER>(value.isNull() ? 0 : integer(value, parameter, INT32_MIN, INT32_MAX)));
        break;
    case Kind::BigInt:
        out.cType = SQL_C_SBIGINT;
        out.sqlType = SQL_BIGINT;
        store(out,
              static_cast<SQLBIGINT>(value.isNull() ? 0 : integer(value, parameter, INT64_MIN, INT64_MAX)));
        break;
    case Kind::Real:
    case Kind::Float: {
        bool ok = value.isNull();
        const double d = ok ? 0 : value.toDouble(&ok);
        if (!ok)
            throw badValue(value, parameter, "22018");
        out.cType = type.kind == Kind::Real ? SQL_C_FLOAT : SQL_C_DOUBLE;
        out.sqlType = type.kind == Kind::Real ? SQL_REAL : SQL_DOUBLE;
        if (type.kind == Kind::Real)
            store(out, static_cast<SQLREAL>(d));
        else
            store(out, static_cast<SQLDOUBLE>(d));
        break;
    }
    case Kind::Decimal:
    case Kind::Numeric: {
        const QByteArray text = value.isNull() ? QByteArray("0") : decimalText(value, parameter);
        out.cType = SQL_C_CHAR;
        out.sqlType = type.kind == Kind::Decimal ? SQL_DECIMAL : SQL_NUMERIC;
        out.size = static_cast<SQLULEN>(type.precision);
        out.digits = static_cast<SQLSMALLINT>(type.scale);
        out.data.assign(text.begin(), text.end());
        out.data.push_back('\0');
        out.indicator = text.size();
        break;
    }
    case Kind::Date:
    case Kind::Time:
    case Kind::DateTime2:
    case Kind::DateTimeOffset:
        bindIsoText(value, type, parameter, out);
        break;
    case Kind::DateTime:
        out.cType = SQL_C_TYPE_TIMESTAMP;
        out.sqlType = SQL_TYPE_TIMESTAMP;
        out.digits = static_cast<SQLSMALLINT>(type.scale);
        out.size = static_cast<SQLULEN>(19 + (type.scale ? type.scale + 1 : 0));
        store(out, value.isNull() ? SQL_TIMESTAMP_STRUCT{1, 1, 1, 0, 0, 0, 0} : timestamp(value, parameter));
        break;
    case Kind::Char:
    case Kind::VarChar:
    case Kind::NChar:
    case Kind::NVarChar:
        bindText(value, type, parameter, out);
        break;
    case Kind::Binary:
    case Kind::VarBinary:
        bindBytes(value, type, parameter, out);
        break;
    case Kind::UniqueIdentifier: {
        const QUuid uuid =
            value.typeId() == QMetaType::QUuid ? value.toUuid() : QUuid(value.toString().trimmed());
        if (!value.isNull() && uuid.isNull() && value.toString().trimmed().count(QLatin1Char('0')) < 32)
            throw badValue(value, parameter, "22018");
        out.cType = SQL_C_GUID;
        out.sqlType = SQL_GUID;
        out.size = 16;
        SQLGUID g{};
        g.Data1 = uuid.data1;
        g.Data2 = uuid.data2;
        g.Data3 = uuid.data3;
        std::memcpy(g.Data4, uuid.data4, 8);
        store(out, g);
        break;
    }
    }
    if (value.isNull())
        out.indicator = SQL_NULL_DATA;
}

} // namespace

Statement::Statement(Connection &conn, const QString &sql, std::vector<ParamType> types,
                     int queryTimeoutSeconds)
    : m_conn(&conn), m_session(conn.m_session), m_types(std::move(types)), m_bound(m_types.size()) {
    conn.requireOpen();
    Handle stmt = conn.newStatement(queryTimeoutSeconds);
    stmt.check(SQLPrepareW(stmt.get(), wide(sql), static_cast<SQLINTEGER>(sql.size())), "SQLPrepare");
    m_stmt = std::move(stmt);
}

bool Statement::connectionAlive() const {
    return m_conn && m_conn->isOpen() && m_conn->m_session == m_session;
}

bool Statement::connectionLost() const {
    return !connectionAlive() || m_conn->dead();
}

// The driver prepares the statement anew after every SQLBindParameter, so a parameter is bound once and
// its buffer refilled; it is bound again only when a value outgrows the buffer or the binding changes.
// A (max) parameter declares its buffer's size, which the driver writes as (max) whatever it is.
void Statement::place(size_t index) {
    const Bound &v = m_scratch;
    Bound &b = m_bound[index];
    const bool max = m_types[index].isMax();
    if (!b.bound || v.data.size() > b.data.size() || b.cType != v.cType || b.sqlType != v.sqlType ||
        (!max && (b.size != v.size || b.digits != v.digits))) {
        b.cType = v.cType;
        b.sqlType = v.sqlType;
        b.digits = v.digits;
        b.data.assign(std::max({v.data.size(), 2 * b.data.size(), size_t(64)}), '\0');
        b.size = max ? b.data.size() / (b.cType == SQL_C_WCHAR ? 2 : 1) : v.size;
        b.bound = false;
        m_stmt.check(SQLBindParameter(m_stmt.get(), static_cast<SQLUSMALLINT>(index + 1), SQL_PARAM_INPUT,
                                      b.cType, b.sqlType, b.size, b.digits, b.data.data(),
                                      static_cast<SQLLEN>(b.data.size()), &b.indicator),
                     "SQLBindParameter");
        b.bound = true;
    }
    std::memcpy(b.data.data(), v.data.data(), v.data.size());
    b.indicator = v.indicator;
}

void Statement::bindAll(const std::vector<QVariant> &values) {
    if (!isOpen() || !connectionAlive())
        throw closedObjectError();
    if (values.size() != m_types.size())
        throw DbError::ofText(QStringLiteral("07002"), 0,
                              QStringLiteral("The statement takes %1 values, %2 were given.")
                                  .arg(m_types.size())
                                  .arg(values.size()));
    m_conn->makeIdle();
    for (size_t i = 0; i < values.size(); ++i) {
        bindValue(values[i], m_types[i], static_cast<int>(i + 1), m_scratch);
        place(i);
    }
}

qint64 Statement::execute(const std::vector<QVariant> &values) {
    bindAll(values);
    const SQLRETURN rc = m_conn->running(m_stmt.get(), [&] { return SQLExecute(m_stmt.get()); });
    std::vector<DiagRecord> records;
    if (rc != SQL_SUCCESS)
        records = m_stmt.diagnostics();
    bool failed = rc == SQL_ERROR || rc == SQL_INVALID_HANDLE;
    SQLLEN count = -1;
    if (!failed) {
        if (rc != SQL_NO_DATA)
            SQLRowCount(m_stmt.get(), &count);
        m_conn->drain(m_stmt, records, failed);
    }
    SQLFreeStmt(m_stmt.get(), SQL_CLOSE);
    if (failed)
        throw DbError(std::move(records), QStringLiteral("The statement failed."));
    return count;
}

std::vector<Row> Statement::query(const std::vector<QVariant> &values) {
    bindAll(values);
    SQLRETURN rc = m_conn->running(m_stmt.get(), [&] { return SQLExecute(m_stmt.get()); });
    std::vector<DiagRecord> records;
    if (rc != SQL_SUCCESS)
        records = m_stmt.diagnostics();
    bool failed = rc == SQL_ERROR || rc == SQL_INVALID_HANDLE;
    std::vector<Row> rows;
    if (!failed && rc != SQL_NO_DATA) {
        const std::vector<Column> columns = describeColumns(m_stmt);
        while (!columns.empty()) {
            rc = m_conn->running(m_stmt.get(), [&] { return SQLFetch(m_stmt.get()); });
            if (rc == SQL_NO_DATA)
                break;
            if (rc == SQL_ERROR || rc == SQL_INVALID_HANDLE) {
                std::vector<DiagRecord> now = m_stmt.diagnostics();
                records.insert(records.end(), now.begin(), now.end());
                failed = true;
                break;
            }
            Row row;
            row.reserve(columns.size());
            for (size_t i = 0; i < columns.size(); ++i)
                row.push_back(readValue(m_stmt, static_cast<SQLUSMALLINT>(i + 1), columns[i], m_buffer));
            rows.push_back(std::move(row));
        }
    }
    if (!failed)
        m_conn->drain(m_stmt, records, failed);
    SQLFreeStmt(m_stmt.get(), SQL_CLOSE);
    if (failed)
        throw DbError(std::move(records), QStringLiteral("The query failed."));
    return rows;
}

std::vector<Statement::Described> Statement::describe() {
    if (!isOpen() || !connectionAlive())
        throw closedObjectError();
    m_conn->makeIdle();
    std::vector<Described> out;
    for (Column &c : describeColumns(m_stmt)) {
        const auto col = static_cast<SQLUSMALLINT>(out.size() + 1);
        Described d;
        SQLColAttributeW(m_stmt.get(), col, SQL_DESC_PRECISION, nullptr, 0, nullptr, &d.precision);
        SQLLEN unique = SQL_FALSE;
        SQLColAttributeW(m_stmt.get(), col, SQL_DESC_AUTO_UNIQUE_VALUE, nullptr, 0, nullptr, &unique);
        d.identity = unique == SQL_TRUE;
        d.column = std::move(c);
        out.push_back(std::move(d));
    }
    return out;
}

void Statement::close() noexcept {
    if (!m_stmt)
        return;
    if (connectionAlive()) {
        try {
            m_conn->makeIdle(); // freeing sends the release of the server's handle
        } catch (...) {
        }
        m_stmt.reset();
    } else {
        m_stmt.release();
    }
    m_conn = nullptr;
}

} // namespace quorix::odbc
