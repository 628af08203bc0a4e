#include "core/db/BcpRow.h"

#include <QDate>
#include <QDateTime>
#include <QRegularExpression>
#include <QUuid>
#include <cfloat>
#include <cstring>

namespace quorix {

namespace {

using K = ParamType::Kind;

bool isInteger(K k) {
    return k == K::TinyInt || k == K::SmallInt || k == K::Int || k == K::BigInt || k == K::Bit;
}
bool isNarrowText(K k) {
    return k == K::Char || k == K::VarChar;
}
bool isWideText(K k) {
    return k == K::NChar || k == K::NVarChar;
}
bool isBinary(K k) {
    return k == K::Binary || k == K::VarBinary;
}

// The most bytes a value of the column takes in its buffer.
int capacity(const ParamType &t, bool utf16) {
    if (isInteger(t.kind) || t.kind == K::Real || t.kind == K::Float)
        return 8;
    // Narrow text is checked as UTF-8 bytes, never more than the column's length; as UTF-16, twice that.
    if (isNarrowText(t.kind))
        return utf16 ? 2 * t.length : t.length;
    if (isWideText(t.kind))
        return utf16 ? 2 * t.length : 3 * t.length; // UTF-8 of at most length UTF-16 units
    if (isBinary(t.kind))
        return t.length;
    return 64; // decimal, date and time, uniqueidentifier as text
}

// The integer value of v, when it has one exactly.
std::optional<qint64> integerOf(const QVariant &v) {
    switch (v.typeId()) {
    case QMetaType::Bool:
        return v.toBool() ? 1 : 0;
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::UChar:
    case QMetaType::SChar:
        return v.toLongLong();
    case QMetaType::QString: {
        bool ok = false;
        const qint64 n = v.toString().trimmed().toLongLong(&ok);
        return ok ? std::optional<qint64>(n) : std::nullopt;
    }
    default:
        return std::nullopt;
    }
}

bool inRange(K k, qint64 n) {
    switch (k) {
    case K::TinyInt:
        return n >= 0 && n <= 255;
    case K::SmallInt:
        return n >= INT16_MIN && n <= INT16_MAX;
    case K::Int:
        return n >= INT32_MIN && n <= INT32_MAX;
    default:
        return true; // bigint; bit takes any number (non-zero is 1)
    }
}

// decimal/numeric text that the column holds without rounding or overflow.
bool decimalFits(const QString &text, const ParamType &t) {
    static const QRegularExpression form(QStringLiteral(R"(^\s*[+-]?(\d*)(?:\.(\d*))?\s*$)"));
    const QRegularExpressionMatch m = form.match(text);
    if (!m.hasMatch() || (m.capturedLength(1) == 0 && m.capturedLength(2) == 0))
        return false;
    QString whole = m.captured(1);
    while (whole.size() > 1 && whole.startsWith(QLatin1Char('0')))
        whole.remove(0, 1);
    QString fraction = m.captured(2);
    while (fraction.endsWith(QLatin1Char('0')))
        fraction.chop(1);
    const int wholeDigits = whole == QLatin1String("0") ? 0 : static_cast<int>(whole.size());
    return wholeDigits <= t.precision - t.scale && fraction.size() <= t.scale;
}

// Date and time text in the server's notation ("2024-01-31", "2024-01-31 13:45:00.1234567"), of a year the
// column holds.
std::optional<QString> dateTimeText(const QVariant &v, const ParamType &t) {
    QString text;
    if (v.typeId() == QMetaType::QDate)
        text = v.toDate().toString(QStringLiteral("yyyy-MM-dd"));
    else if (v.typeId() == QMetaType::QDateTime)
        text = v.toDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
    else if (v.typeId() == QMetaType::QString)
        text = v.toString().trimmed().replace(QLatin1Char('T'), QLatin1Char(' '));
    else
        return std::nullopt;
    static const QRegularExpression form(
        QStringLiteral(R"(^(\d{4})-\d{2}-\d{2}(?: \d{2}:\d{2}(?::\d{2}(?:\.\d{1,7})?)?)?$)"));
    const QRegularExpressionMatch m = form.match(text);
    if (!m.hasMatch())
        return std::nullopt;
    const int year = m.captured(1).toInt();
    // The driver's text conversion to date and datetime2 loses years before 1900 (0001 arrived as 2001,
    // 1601 as 1900), and smalldatetime and datetime hold less: such values go the block path, which sends
    // them as text the server converts.
    const bool datetime = t.kind == K::DateTime && t.scale > 0,
               smalldatetime = t.kind == K::DateTime && !datetime;
    if (year < (datetime ? 1753 : 1900) || (smalldatetime && year > 2078))
        return std::nullopt;
    return text;
}

void setLength(std::vector<char> &b, qint32 n) {
    std::memcpy(b.data(), &n, 4);
}

bool putBytes(std::vector<char> &b, const char *data, qsizetype n) {
    if (n + 4 > static_cast<qsizetype>(b.size()))
        return false;
    setLength(b, static_cast<qint32>(n));
    std::memcpy(b.data() + 4, data, static_cast<size_t>(n));
    return true;
}

} // namespace

bool BcpRow::carries(const ParamType &type) {
    if (type.isMax())
        return false;
    switch (type.kind) {
    case K::Time:           // the drivers' text conversions of these are not ones the tool relies on
    case K::DateTimeOffset: // (the driver has no offset type, see ParamType.h)
        return false;
    default:
        return true;
    }
}

BcpRow::BcpRow(std::vector<Column> columns, bool utf16Text) : m_utf16(utf16Text) {
    for (Column &c : columns) {
        Buffer b;
        const K k = c.type.kind;
        b.hostType = isInteger(k)                                    ? BcpDriver::kInt8
                     : k == K::Real || k == K::Float                 ? BcpDriver::kFloat8
                     : isBinary(k)                                   ? BcpDriver::kVarBinary
                     : (isWideText(k) || isNarrowText(k)) && m_utf16 ? BcpDriver::kWideText
                                                                     : BcpDriver::kText;
        b.bytes.assign(static_cast<size_t>(4 + capacity(c.type, m_utf16)), '\0');
        setLength(b.bytes, -1);
        b.column = std::move(c);
        m_buffers.push_back(std::move(b));
    }
}

bool BcpRow::bind(BcpDriver &driver) const {
    for (const Buffer &b : m_buffers)
        if (!driver.bind(b.bytes.data(), 4, BcpDriver::kVarLenData, b.hostType, b.column.ordinal))
            return false;
    return true;
}

bool BcpRow::put(Buffer &b, const QVariant &value) {
    if (!value.isValid() || value.isNull()) {
        setLength(b.bytes, -1);
        return true;
    }
    const ParamType &t = b.column.type;
    const K k = t.kind;
    if (isInteger(k)) {
        const std::optional<qint64> n = integerOf(value);
        if (!n || !inRange(k, *n))
            return false;
        const qint64 v = k == K::Bit ? (*n != 0 ? 1 : 0) : *n;
        return putBytes(b.bytes, reinterpret_cast<const char *>(&v), 8);
    }
    if (k == K::Real || k == K::Float) {
        bool ok = false;
        const double v = value.toDouble(&ok);
        if (!ok || (value.typeId() != QMetaType::Double && value.typeId() != QMetaType::Float) ||
            (k == K::Real && std::abs(v) > FLT_MAX))
            return false;
        return putBytes(b.bytes, reinterpret_cast<const char *>(&v), 8);
    }
    if (isBinary(k)) {
        if (value.typeId() != QMetaType::QByteArray)
            return false;
        const QByteArray bytes = value.toByteArray();
        return bytes.size() <= t.length && putBytes(b.bytes, bytes.constData(), bytes.size());
    }
    QString text;
    if (isNarrowText(k) || isWideText(k)) {
        if (value.typeId() != QMetaType::QString)
            return false;
        text = value.toString();
        if (isNarrowText(k) ? text.toUtf8().size() > t.length : text.size() > t.length)
            return false;
    } else if (k == K::Decimal || k == K::Numeric) {
        text = value.typeId() == QMetaType::QString ? value.toString() : QString();
        if (!decimalFits(text, t))
            return false;
    } else if (k == K::UniqueIdentifier) {
        const QUuid id = value.typeId() == QMetaType::QUuid ? value.toUuid() : QUuid(value.toString());
        if (id.isNull() && value.toString().count(QLatin1Char('0')) != 32)
            return false;
        text = id.toString(QUuid::WithoutBraces).toUpper();
    } else {
        const std::optional<QString> dated = dateTimeText(value, t);
        if (!dated)
            return false;
        text = *dated;
    }
    if (b.hostType == BcpDriver::kWideText)
        return putBytes(b.bytes, reinterpret_cast<const char *>(text.utf16()), 2 * text.size());
    const QByteArray utf8 = text.toUtf8();
    return putBytes(b.bytes, utf8.constData(), utf8.size());
}

bool BcpRow::fill(const std::vector<QVariant> &values) {
    if (values.size() != m_buffers.size())
        return false;
    for (size_t i = 0; i < values.size(); ++i)
        if (!put(m_buffers[i], values[i]))
            return false;
    return true;
}

} // namespace quorix
