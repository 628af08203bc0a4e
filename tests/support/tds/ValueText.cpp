#include "tds/ValueText.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <stdexcept>

namespace quorix::tds {

namespace {

[[noreturn]] void bad(const char *what, const std::string &text) {
    throw std::invalid_argument(std::string("not a valid ") + what + ": '" + text + "'");
}

// Days since 1970-01-01 of a proleptic Gregorian date.
std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

const std::int64_t kEpoch1 = daysFromCivil(1, 1, 1);

void civilFromDays(std::int64_t z, std::int64_t &y, unsigned &m, unsigned &d) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y = static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2);
}

unsigned digitsAt(const std::string &text, std::size_t pos, std::size_t count, const char *what) {
    unsigned v = 0;
    if (pos + count > text.size())
        bad(what, text);
    for (std::size_t i = pos; i < pos + count; ++i) {
        if (text[i] < '0' || text[i] > '9')
            bad(what, text);
        v = v * 10 + static_cast<unsigned>(text[i] - '0');
    }
    return v;
}

} // namespace

std::int64_t parseInteger(const std::string &text, std::int64_t min, std::int64_t max) {
    std::int64_t v = 0;
    const char *end = text.data() + text.size();
    const auto [p, ec] = std::from_chars(text.data(), end, v);
    if (ec != std::errc() || p != end || v < min || v > max)
        bad("integer", text);
    return v;
}

bool parseBit(const std::string &text) {
    if (text == "1" || text == "true" || text == "TRUE")
        return true;
    if (text == "0" || text == "false" || text == "FALSE")
        return false;
    bad("bit", text);
}

double parseDouble(const std::string &text) {
    double v = 0;
    const char *end = text.data() + text.size();
    const auto [p, ec] = std::from_chars(text.data(), end, v);
    if (ec != std::errc() || p != end)
        bad("number", text);
    return v;
}

std::string formatDouble(double v) {
    char buf[64];
    const auto [p, ec] = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, p);
}

std::string formatFloat(float v) {
    char buf[64];
    const auto [p, ec] = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, p);
}

Scaled parseScaled(const std::string &text, int scale) {
    Scaled out;
    std::size_t i = 0;
    if (i < text.size() && (text[i] == '-' || text[i] == '+'))
        out.negative = text[i++] == '-';
    bool anyDigit = false;
    bool point = false;
    int fraction = 0;
    bool roundUp = false;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '.' && !point) {
            point = true;
            continue;
        }
        if (c < '0' || c > '9')
            bad("decimal", text);
        anyDigit = true;
        if (point && fraction >= scale) {
            // The first dropped digit decides the rounding; the rest are ignored.
            if (fraction++ == scale)
                roundUp = c >= '5';
            continue;
        }
        if (point)
            ++fraction;
        if (out.magnitude > (~Int128(0)) / 20)
            bad("decimal (too many digits)", text);
        out.magnitude = out.magnitude * 10 + static_cast<unsigned>(c - '0');
    }
    if (!anyDigit)
        bad("decimal", text);
    for (; fraction < scale; ++fraction)
        out.magnitude *= 10;
    if (roundUp)
        out.magnitude += 1;
    if (out.magnitude == 0)
        out.negative = false;
    return out;
}

std::string formatScaled(const Scaled &v, int scale) {
    std::string digits;
    Int128 m = v.magnitude;
    do {
        digits.insert(digits.begin(), static_cast<char>('0' + static_cast<int>(m % 10)));
        m /= 10;
    } while (m != 0);
    while (static_cast<int>(digits.size()) <= scale)
        digits.insert(digits.begin(), '0');
    if (scale > 0)
        digits.insert(digits.end() - scale, '.');
    return (v.negative && v.magnitude != 0 ? "-" : "") + digits;
}

std::int64_t parseDate(const std::string &text) {
    if (text.size() != 10 || text[4] != '-' || text[7] != '-')
        bad("date", text);
    const unsigned y = digitsAt(text, 0, 4, "date");
    const unsigned m = digitsAt(text, 5, 2, "date");
    const unsigned d = digitsAt(text, 8, 2, "date");
    if (y < 1 || m < 1 || m > 12 || d < 1 || d > 31)
        bad("date", text);
    const std::int64_t days = daysFromCivil(y, m, d);
    std::int64_t yy;
    unsigned mm, dd;
    civilFromDays(days, yy, mm, dd);
    if (mm != m || dd != d) // 2023-02-30
        bad("date", text);
    return days - kEpoch1;
}

std::string formatDate(std::int64_t days) {
    std::int64_t y;
    unsigned m, d;
    civilFromDays(days + kEpoch1, y, m, d);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04lld-%02u-%02u", static_cast<long long>(y), m, d);
    return buf;
}

std::int64_t parseTime(const std::string &text) {
    if (text.size() < 8 || text[2] != ':' || text[5] != ':')
        bad("time", text);
    const unsigned h = digitsAt(text, 0, 2, "time");
    const unsigned mi = digitsAt(text, 3, 2, "time");
    const unsigned s = digitsAt(text, 6, 2, "time");
    if (h > 23 || mi > 59 || s > 59)
        bad("time", text);
    std::int64_t ticks = ((h * 60 + mi) * 60 + s) * 10000000LL;
    if (text.size() > 8) {
        const std::size_t count = text.size() - 9;
        if (text[8] != '.' || count == 0 || count > 7)
            bad("time", text);
        std::int64_t fraction = digitsAt(text, 9, count, "time");
        for (std::size_t k = count; k < 7; ++k)
            fraction *= 10;
        ticks += fraction;
    }
    return ticks;
}

std::string formatTime(std::int64_t ticks, int digits) {
    const std::int64_t seconds = ticks / 10000000;
    char buf[48];
    std::snprintf(buf, sizeof buf, "%02lld:%02lld:%02lld", static_cast<long long>(seconds / 3600),
                  static_cast<long long>(seconds / 60 % 60), static_cast<long long>(seconds % 60));
    std::string out = buf;
    if (digits > 0) {
        std::snprintf(buf, sizeof buf, ".%07lld", static_cast<long long>(ticks % 10000000));
        out += std::string(buf, 1 + static_cast<std::size_t>(digits));
    }
    return out;
}

void parseDateTime(const std::string &text, std::int64_t &days, std::int64_t &ticks) {
    if (text.size() < 10)
        bad("date and time", text);
    days = parseDate(text.substr(0, 10));
    ticks = 0;
    if (text.size() > 10) {
        if (text[10] != ' ' && text[10] != 'T')
            bad("date and time", text);
        ticks = parseTime(text.substr(11));
    }
}

void parseDateTimeOffset(const std::string &text, std::int64_t &days, std::int64_t &ticks, int &offset) {
    std::string local = text;
    offset = 0;
    const auto sign = text.find_last_of("+-");
    if (!text.empty() && text.back() == 'Z') {
        local.pop_back();
    } else if (sign != std::string::npos && sign > 10) {
        const std::string zone = text.substr(sign);
        if (zone.size() != 6 || zone[3] != ':')
            bad("offset", text);
        const int minutes =
            static_cast<int>(digitsAt(zone, 1, 2, "offset") * 60 + digitsAt(zone, 4, 2, "offset"));
        if (digitsAt(zone, 4, 2, "offset") > 59 || minutes > 14 * 60)
            bad("offset", text);
        offset = zone[0] == '-' ? -minutes : minutes;
        local = text.substr(0, sign);
    }
    while (!local.empty() && local.back() == ' ')
        local.pop_back();
    parseDateTime(local, days, ticks);
}

void parseDateTimeOffsetUtc(const std::string &text, std::int64_t &days, std::int64_t &ticks, int &offset) {
    parseDateTimeOffset(text, days, ticks, offset);
    const std::int64_t utc = days * kTicksPerDay + ticks - offset * kTicksPerMinute;
    if (utc < 0 || utc >= (parseDate("9999-12-31") + 1) * kTicksPerDay)
        bad("datetimeoffset (outside its range in UTC)", text);
    days = utc / kTicksPerDay;
    ticks = utc % kTicksPerDay;
}

std::string formatDateTimeOffset(std::int64_t utcDays, std::int64_t utcTicks, int offset, int digits) {
    const std::int64_t local = utcDays * kTicksPerDay + utcTicks + offset * kTicksPerMinute;
    const int minutes = offset < 0 ? -offset : offset;
    char zone[16];
    std::snprintf(zone, sizeof zone, " %c%02d:%02d", offset < 0 ? '-' : '+', minutes / 60, minutes % 60);
    return formatDate(local / kTicksPerDay) + " " + formatTime(local % kTicksPerDay, digits) + zone;
}

namespace {
// Wire position of each of the 16 bytes in text order.
constexpr int kGuidOrder[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
} // namespace

std::string parseGuid(const std::string &text) {
    std::string hex;
    for (const char c : text)
        if (c != '-' && c != '{' && c != '}')
            hex += c;
    if (hex.size() != 32 || hex.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
        bad("uniqueidentifier", text);
    std::string bytes(16, '\0');
    for (int i = 0; i < 16; ++i)
        bytes[kGuidOrder[i]] = static_cast<char>(std::stoi(hex.substr(2 * i, 2), nullptr, 16));
    return bytes;
}

std::string formatGuid(const std::string &bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    for (int i = 0; i < 16; ++i) {
        const auto b = static_cast<unsigned char>(bytes.at(kGuidOrder[i]));
        if (i == 4 || i == 6 || i == 8 || i == 10)
            text += '-';
        text += digits[b >> 4];
        text += digits[b & 15];
    }
    return text;
}

} // namespace quorix::tds
