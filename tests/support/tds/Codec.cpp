#include "tds/Codec.h"

#include "tds/Text.h"
#include "tds/ValueText.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace quorix::tds {

namespace {

int decimalBytes(int precision) {
    return precision <= 9 ? 5 : precision <= 19 ? 9 : precision <= 28 ? 13 : 17;
}

int timeBytes(int scale) {
    return scale <= 2 ? 3 : scale <= 4 ? 4 : 5;
}

std::int64_t pow10(int n) {
    std::int64_t v = 1;
    while (n-- > 0)
        v *= 10;
    return v;
}

bool isNarrowText(SqlType t) {
    return t == SqlType::Char || t == SqlType::VarChar || t == SqlType::VarCharMax;
}
bool isWideText(SqlType t) {
    return t == SqlType::NChar || t == SqlType::NVarChar || t == SqlType::NVarCharMax;
}
bool isPadded(SqlType t) {
    return t == SqlType::Char || t == SqlType::NChar || t == SqlType::Binary;
}

// The bytes a character or binary value occupies on the wire.
Bytes wireBytes(SqlType t, const std::string &text) {
    if (isNarrowText(t))
        return utf8ToCp1252(text);
    if (isWideText(t))
        return utf8ToUtf16(text);
    return fromHex(text);
}

TypeDesc sized(SqlType type, std::uint8_t token, int maxLen) {
    TypeDesc d;
    d.type = type;
    d.token = token;
    d.maxLen = maxLen;
    return d;
}

TypeDesc describeSized(const Column &column, const std::vector<Row> *rows, std::size_t index) {
    const SqlType t = column.type;
    const bool wide = isWideText(t);
    const int unit = wide ? 2 : 1;
    const std::uint8_t token = t == SqlType::Char       ? 0xAF
                               : t == SqlType::VarChar  ? 0xA7
                               : t == SqlType::NChar    ? 0xEF
                               : t == SqlType::NVarChar ? 0xE7
                               : t == SqlType::Binary   ? 0xAD
                                                        : 0xA5;
    int maxLen = column.length > 0 ? column.length * unit : (isPadded(t) ? unit : 8000);
    if (rows && (column.length > 0 || isPadded(t))) {
        for (const Row &row : *rows)
            if (index < row.size() && row[index])
                maxLen = std::max(maxLen, static_cast<int>(wireBytes(t, *row[index]).size()));
    }
    if (maxLen > 8000)
        throw std::invalid_argument("column " + column.name + " holds more than 8000 bytes; use a max type");
    TypeDesc d = sized(t, token, maxLen);
    d.lenBytes = 2;
    return d;
}

void putPlp(Bytes &b, const Bytes &data) {
    put64(b, data.size());
    for (std::size_t pos = 0; pos < data.size(); pos += 0x8000) {
        const std::size_t n = std::min<std::size_t>(0x8000, data.size() - pos);
        put32(b, static_cast<std::uint32_t>(n));
        b.append(data, pos, n);
    }
    put32(b, 0);
}

std::optional<Bytes> readPlp(Cursor &c) {
    const std::uint64_t total = c.u64();
    if (total == ~std::uint64_t(0))
        return std::nullopt;
    Bytes data;
    for (;;) {
        const std::uint32_t n = c.u32();
        if (n == 0)
            break;
        data += c.bytes(n);
    }
    return data;
}

void putTimeValue(Bytes &b, std::int64_t ticks, int scale) {
    putN(b, static_cast<std::uint64_t>(ticks / pow10(7 - scale)), timeBytes(scale));
}

// Writes the value without its length prefix (numeric, date and time types).
void putFixedData(Bytes &b, const TypeDesc &d, const std::string &text) {
    switch (d.type) {
    case SqlType::TinyInt:
        put8(b, static_cast<std::uint32_t>(parseInteger(text, 0, 255)));
        break;
    case SqlType::SmallInt:
        put16(b, static_cast<std::uint32_t>(parseInteger(text, INT16_MIN, INT16_MAX)));
        break;
    case SqlType::Int:
        put32(b, static_cast<std::uint32_t>(parseInteger(text, INT32_MIN, INT32_MAX)));
        break;
    case SqlType::BigInt:
        put64(b, static_cast<std::uint64_t>(parseInteger(text, INT64_MIN, INT64_MAX)));
        break;
    case SqlType::Bit:
        put8(b, parseBit(text) ? 1 : 0);
        break;
    case SqlType::Float:
    case SqlType::Real: {
        const double v = parseDouble(text);
        if (d.maxLen == 8) {
            std::uint64_t bits;
            std::memcpy(&bits, &v, 8);
            put64(b, bits);
        } else {
            const auto f = static_cast<float>(v);
            std::uint32_t bits;
            std::memcpy(&bits, &f, 4);
            put32(b, bits);
        }
        break;
    }
    case SqlType::Decimal:
    case SqlType::Numeric: {
        const Scaled v = parseScaled(text, d.scale);
        Int128 limit = 1;
        for (int i = 0; i < d.precision; ++i)
            limit *= 10;
        if (v.magnitude >= limit)
            throw std::invalid_argument("'" + text + "' does not fit decimal(" + std::to_string(d.precision) +
                                        "," + std::to_string(d.scale) + ")");
        put8(b, v.negative ? 0 : 1);
        for (int i = 0; i < d.maxLen - 1; ++i)
            put8(b, static_cast<std::uint32_t>((v.magnitude >> (8 * i)) & 0xFF));
        break;
    }
    case SqlType::Money: {
        const Scaled v = parseScaled(text, 4);
        const auto limit = static_cast<Int128>(d.maxLen == 8 ? INT64_MAX : INT32_MAX) + (v.negative ? 1 : 0);
        if (v.magnitude > limit)
            throw std::invalid_argument("'" + text + "' does not fit money");
        const auto magnitude = static_cast<std::uint64_t>(v.magnitude);
        const auto m = static_cast<std::int64_t>(v.negative ? ~magnitude + 1 : magnitude);
        if (d.maxLen == 8) {
            put32(b, static_cast<std::uint32_t>(static_cast<std::uint64_t>(m) >> 32));
            put32(b, static_cast<std::uint32_t>(m));
        } else {
            put32(b, static_cast<std::uint32_t>(m));
        }
        break;
    }
    case SqlType::DateTime: {
        std::int64_t days, ticks;
        parseDateTime(text, days, ticks);
        days -= kDaysTo1900;
        if (d.maxLen == 4) {
            put16(b, static_cast<std::uint32_t>(days));
            put16(b, static_cast<std::uint32_t>(ticks / 600000000));
            break;
        }
        std::int64_t t300 = (ticks * 3 + 50000) / 100000;
        if (t300 >= 300LL * 86400) {
            t300 = 0;
            ++days;
        }
        put32(b, static_cast<std::uint32_t>(static_cast<std::int32_t>(days)));
        put32(b, static_cast<std::uint32_t>(t300));
        break;
    }
    case SqlType::Date:
        putN(b, static_cast<std::uint64_t>(parseDate(text)), 3);
        break;
    case SqlType::Time:
        putTimeValue(b, parseTime(text), d.scale);
        break;
    case SqlType::DateTime2: {
        std::int64_t days, ticks;
        parseDateTime(text, days, ticks);
        putTimeValue(b, ticks, d.scale);
        putN(b, static_cast<std::uint64_t>(days), 3);
        break;
    }
    case SqlType::DateTimeOffset: {
        std::int64_t days, ticks;
        int offset;
        parseDateTimeOffsetUtc(text, days, ticks, offset);
        putTimeValue(b, ticks, d.scale);
        putN(b, static_cast<std::uint64_t>(days), 3);
        put16(b, static_cast<std::uint16_t>(static_cast<std::int16_t>(offset)));
        break;
    }
    case SqlType::UniqueIdentifier:
        b += parseGuid(text);
        break;
    default:
        throw std::invalid_argument("not a fixed type");
    }
}

std::int64_t signExtend(std::uint64_t v, int bytes) {
    if (bytes >= 8)
        return static_cast<std::int64_t>(v);
    const std::uint64_t sign = std::uint64_t(1) << (8 * bytes - 1);
    return static_cast<std::int64_t>((v ^ sign) - sign);
}

std::string readFixedData(Cursor &c, const TypeDesc &d, int len) {
    switch (d.type) {
    case SqlType::TinyInt:
    case SqlType::SmallInt:
    case SqlType::Int:
    case SqlType::BigInt: {
        const std::uint64_t raw = c.uN(len);
        return std::to_string(len == 1 ? static_cast<std::int64_t>(raw) : signExtend(raw, len));
    }
    case SqlType::Bit:
        return c.uN(len) ? "1" : "0";
    case SqlType::Float:
    case SqlType::Real: {
        if (len == 8) {
            const std::uint64_t bits = c.u64();
            double v;
            std::memcpy(&v, &bits, 8);
            return formatDouble(v);
        }
        const std::uint32_t bits = c.u32();
        float f;
        std::memcpy(&f, &bits, 4);
        return formatFloat(f);
    }
    case SqlType::Decimal:
    case SqlType::Numeric: {
        if (len < 2 || len > 17)
            throw ProtocolError("bad decimal length");
        Scaled v;
        v.negative = c.u8() == 0;
        for (int i = 0; i < len - 1; ++i)
            v.magnitude |= static_cast<Int128>(c.u8()) << (8 * i);
        return formatScaled(v, d.scale);
    }
    case SqlType::Money: {
        std::int64_t m;
        if (len == 8) {
            const std::uint64_t high = c.u32();
            m = static_cast<std::int64_t>((high << 32) | c.u32());
        } else {
            m = signExtend(c.u32(), 4);
        }
        Scaled v;
        v.negative = m < 0;
        v.magnitude = m < 0 ? static_cast<Int128>(-(m + 1)) + 1 : static_cast<Int128>(m);
        return formatScaled(v, 4);
    }
    case SqlType::DateTime: {
        if (len == 4) {
            const std::int64_t days = c.u16();
            const std::int64_t minutes = c.u16();
            return formatDate(days + kDaysTo1900) + " " + formatTime(minutes * 600000000, 3);
        }
        const std::int64_t days = signExtend(c.u32(), 4);
        const std::int64_t t300 = c.u32();
        const std::int64_t ms = (t300 * 10 + 1) / 3;
        return formatDate(days + kDaysTo1900) + " " + formatTime(ms * 10000, 3);
    }
    case SqlType::Date:
        return formatDate(static_cast<std::int64_t>(c.uN(3)));
    case SqlType::Time:
        return formatTime(static_cast<std::int64_t>(c.uN(len)) * pow10(7 - d.scale), d.scale);
    case SqlType::DateTime2: {
        const std::int64_t ticks = static_cast<std::int64_t>(c.uN(len - 3)) * pow10(7 - d.scale);
        return formatDate(static_cast<std::int64_t>(c.uN(3))) + " " + formatTime(ticks, d.scale);
    }
    case SqlType::DateTimeOffset: {
        const std::int64_t ticks = static_cast<std::int64_t>(c.uN(len - 5)) * pow10(7 - d.scale);
        const auto days = static_cast<std::int64_t>(c.uN(3));
        return formatDateTimeOffset(days, ticks, static_cast<std::int16_t>(c.u16()), d.scale);
    }
    case SqlType::UniqueIdentifier:
        return formatGuid(c.bytes(static_cast<std::size_t>(len)));
    default:
        throw ProtocolError("not a fixed type");
    }
}

} // namespace

TypeDesc describeColumn(const Column &column, const std::vector<Row> *rows, std::size_t index) {
    const int scale = column.scale;
    switch (column.type) {
    case SqlType::Int:
        return sized(column.type, 0x26, 4);
    case SqlType::BigInt:
        return sized(column.type, 0x26, 8);
    case SqlType::SmallInt:
        return sized(column.type, 0x26, 2);
    case SqlType::TinyInt:
        return sized(column.type, 0x26, 1);
    case SqlType::Bit:
        return sized(column.type, 0x68, 1);
    case SqlType::Float:
        return sized(column.type, 0x6D, 8);
    case SqlType::Real:
        return sized(column.type, 0x6D, 4);
    case SqlType::Decimal:
    case SqlType::Numeric: {
        const int precision = std::clamp(column.precision, 1, 38);
        TypeDesc d =
            sized(column.type, column.type == SqlType::Decimal ? 0x6A : 0x6C, decimalBytes(precision));
        d.precision = precision;
        d.scale = std::clamp(scale < 0 ? 0 : scale, 0, precision);
        return d;
    }
    case SqlType::Money:
        return sized(column.type, 0x6E, 8);
    case SqlType::DateTime:
        return sized(column.type, 0x6F, 8);
    case SqlType::Date:
        return sized(column.type, 0x28, 3);
    case SqlType::UniqueIdentifier:
        return sized(column.type, 0x24, 16);
    case SqlType::Time:
    case SqlType::DateTime2:
    case SqlType::DateTimeOffset: {
        const int s = std::clamp(scale < 0 ? 7 : scale, 0, 7);
        TypeDesc d = column.type == SqlType::Time        ? sized(column.type, 0x29, timeBytes(s))
                     : column.type == SqlType::DateTime2 ? sized(column.type, 0x2A, timeBytes(s) + 3)
                                                         : sized(column.type, 0x2B, timeBytes(s) + 5);
        d.scale = s;
        return d;
    }
    case SqlType::VarCharMax:
    case SqlType::NVarCharMax:
    case SqlType::VarBinaryMax: {
        const std::uint8_t token = column.type == SqlType::VarCharMax    ? 0xA7
                                   : column.type == SqlType::NVarCharMax ? 0xE7
                                                                         : 0xA5;
        TypeDesc d = sized(column.type, token, 0xFFFF);
        d.plp = true;
        d.lenBytes = 0;
        return d;
    }
    default:
        return describeSized(column, rows, index);
    }
}

void putTypeInfo(Bytes &b, const TypeDesc &d) {
    put8(b, d.token);
    if (d.fixed)
        return;
    switch (d.token) {
    case 0x6A:
    case 0x6C:
        put8(b, static_cast<std::uint32_t>(d.maxLen));
        put8(b, static_cast<std::uint32_t>(d.precision));
        put8(b, static_cast<std::uint32_t>(d.scale));
        return;
    case 0x28:
        return;
    case 0x29:
    case 0x2A:
    case 0x2B:
        put8(b, static_cast<std::uint32_t>(d.scale));
        return;
    case 0xA7:
    case 0xAF:
    case 0xE7:
    case 0xEF:
        put16(b, static_cast<std::uint32_t>(d.maxLen));
        b += collation();
        return;
    case 0xA5:
    case 0xAD:
        put16(b, static_cast<std::uint32_t>(d.maxLen));
        return;
    case 0x23:
    case 0x63:
        put32(b, static_cast<std::uint32_t>(d.maxLen));
        b += collation();
        return;
    case 0x22:
        put32(b, static_cast<std::uint32_t>(d.maxLen));
        return;
    default:
        put8(b, static_cast<std::uint32_t>(d.maxLen));
    }
}

void putValue(Bytes &b, const TypeDesc &d, const Value &value) {
    const bool bytesType = isNarrowText(d.type) || isWideText(d.type) || d.type == SqlType::Binary ||
                           d.type == SqlType::VarBinary || d.type == SqlType::VarBinaryMax;
    if (!bytesType) {
        if (d.fixed) {
            if (!value)
                throw std::invalid_argument("NULL in a fixed-length type");
            putFixedData(b, d, *value);
            return;
        }
        if (!value) {
            put8(b, 0);
            return;
        }
        const std::size_t lenAt = b.size();
        put8(b, 0);
        putFixedData(b, d, *value);
        b[lenAt] = static_cast<char>(b.size() - lenAt - 1);
        return;
    }
    if (!value) {
        if (d.plp)
            put64(b, ~std::uint64_t(0));
        else if (d.lenBytes == 4)
            put32(b, 0xFFFFFFFF);
        else
            put16(b, 0xFFFF);
        return;
    }
    Bytes data = wireBytes(d.type, *value);
    if (d.plp) {
        putPlp(b, data);
        return;
    }
    if (static_cast<int>(data.size()) > d.maxLen)
        throw std::invalid_argument("value longer than its column: '" + *value + "'");
    if (isPadded(d.type)) {
        const Bytes pad = d.type == SqlType::NChar  ? Bytes(" \0", 2)
                          : d.type == SqlType::Char ? " "
                                                    : Bytes(1, '\0');
        while (static_cast<int>(data.size()) < d.maxLen)
            data += pad;
    }
    if (d.lenBytes == 4)
        put32(b, static_cast<std::uint32_t>(data.size()));
    else
        put16(b, static_cast<std::uint32_t>(data.size()));
    b += data;
}

TypeDesc readTypeInfo(Cursor &c) {
    TypeDesc d;
    d.token = c.u8();
    const auto fixed = [&](SqlType t, int len) {
        d.type = t;
        d.maxLen = len;
        d.fixed = true;
        return d;
    };
    switch (d.token) {
    case 0x1F:
        return fixed(SqlType::Int, 0);
    case 0x30:
        return fixed(SqlType::TinyInt, 1);
    case 0x32:
        return fixed(SqlType::Bit, 1);
    case 0x34:
        return fixed(SqlType::SmallInt, 2);
    case 0x38:
        return fixed(SqlType::Int, 4);
    case 0x7F:
        return fixed(SqlType::BigInt, 8);
    case 0x3B:
        return fixed(SqlType::Real, 4);
    case 0x3E:
        return fixed(SqlType::Float, 8);
    case 0x3C:
        return fixed(SqlType::Money, 8);
    case 0x7A:
        return fixed(SqlType::Money, 4);
    case 0x3D:
        return fixed(SqlType::DateTime, 8);
    case 0x3A:
        return fixed(SqlType::DateTime, 4);
    case 0x26:
        d.maxLen = c.u8();
        d.type = d.maxLen == 1   ? SqlType::TinyInt
                 : d.maxLen == 2 ? SqlType::SmallInt
                 : d.maxLen == 8 ? SqlType::BigInt
                                 : SqlType::Int;
        return d;
    case 0x68:
        d.maxLen = c.u8();
        d.type = SqlType::Bit;
        return d;
    case 0x24:
        d.maxLen = c.u8();
        d.type = SqlType::UniqueIdentifier;
        return d;
    case 0x6D:
        d.maxLen = c.u8();
        d.type = d.maxLen == 4 ? SqlType::Real : SqlType::Float;
        return d;
    case 0x6E:
        d.maxLen = c.u8();
        d.type = SqlType::Money;
        return d;
    case 0x6F:
        d.maxLen = c.u8();
        d.type = SqlType::DateTime;
        return d;
    case 0x6A:
    case 0x6C:
        d.maxLen = c.u8();
        d.precision = c.u8();
        d.scale = c.u8();
        d.type = d.token == 0x6A ? SqlType::Decimal : SqlType::Numeric;
        return d;
    case 0x28:
        d.maxLen = 3;
        d.type = SqlType::Date;
        return d;
    case 0x29:
    case 0x2A:
    case 0x2B:
        d.scale = c.u8();
        if (d.scale > 7)
            throw ProtocolError("bad time scale");
        d.type = d.token == 0x29   ? SqlType::Time
                 : d.token == 0x2A ? SqlType::DateTime2
                                   : SqlType::DateTimeOffset;
        d.maxLen = timeBytes(d.scale) + (d.token == 0x2A ? 3 : d.token == 0x2B ? 5 : 0);
        return d;
    case 0xA7:
    case 0xAF:
    case 0xE7:
    case 0xEF:
    case 0xA5:
    case 0xAD: {
        d.maxLen = c.u16();
        if (d.token != 0xA5 && d.token != 0xAD)
            c.take(5); // collation: whatever the client echoes
        d.plp = d.maxLen == 0xFFFF;
        d.lenBytes = d.plp ? 0 : 2;
        const bool max = d.plp;
        switch (d.token) {
        case 0xA7:
            d.type = max ? SqlType::VarCharMax : SqlType::VarChar;
            break;
        case 0xAF:
            d.type = SqlType::Char;
            break;
        case 0xE7:
            d.type = max ? SqlType::NVarCharMax : SqlType::NVarChar;
            break;
        case 0xEF:
            d.type = SqlType::NChar;
            break;
        case 0xA5:
            d.type = max ? SqlType::VarBinaryMax : SqlType::VarBinary;
            break;
        default:
            d.type = SqlType::Binary;
        }
        return d;
    }
    case 0x23:
    case 0x63:
    case 0x22:
        d.maxLen = static_cast<int>(c.u32());
        if (d.token != 0x22)
            c.take(5);
        d.lenBytes = 4;
        d.type = d.token == 0x23   ? SqlType::VarCharMax
                 : d.token == 0x63 ? SqlType::NVarCharMax
                                   : SqlType::VarBinaryMax;
        return d;
    default:
        throw ProtocolError("unsupported parameter type 0x" +
                            toHex(Bytes(1, static_cast<char>(d.token))).substr(2));
    }
}

Value readValue(Cursor &c, const TypeDesc &d) {
    const bool bytesType = d.plp || d.lenBytes == 2 || d.lenBytes == 4;
    if (!bytesType) {
        if (d.token == 0x1F)
            return std::nullopt;
        const int len = d.fixed ? d.maxLen : c.u8();
        if (len == 0)
            return std::nullopt;
        return readFixedData(c, d, len);
    }
    std::optional<Bytes> data;
    if (d.plp) {
        data = readPlp(c);
    } else if (d.lenBytes == 4) {
        const std::uint32_t n = c.u32();
        if (n != 0xFFFFFFFF)
            data = c.bytes(n);
    } else {
        const std::uint16_t n = c.u16();
        if (n != 0xFFFF)
            data = c.bytes(n);
    }
    if (!data)
        return std::nullopt;
    if (isNarrowText(d.type))
        return cp1252ToUtf8(*data);
    if (isWideText(d.type))
        return utf16ToUtf8(*data);
    return toHex(*data);
}

} // namespace quorix::tds
