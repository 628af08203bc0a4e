#pragma once
// Parsing and formatting the text form of values (see ScriptedServer.h for the formats).
// Parsers throw std::invalid_argument with the offending text.

#include <cstdint>
#include <string>

namespace quorix::tds {

using Int128 = unsigned __int128;

std::int64_t parseInteger(const std::string &text, std::int64_t min, std::int64_t max);
bool parseBit(const std::string &text);
double parseDouble(const std::string &text);
std::string formatDouble(double v);
std::string formatFloat(float v);

// A decimal scaled to `scale` digits: "-1.5" with scale 2 -> negative, 150. Extra digits are rounded.
struct Scaled {
    bool negative = false;
    Int128 magnitude = 0;
};
Scaled parseScaled(const std::string &text, int scale);
std::string formatScaled(const Scaled &v, int scale);

// Days since 0001-01-01 of "YYYY-MM-DD".
std::int64_t parseDate(const std::string &text);
std::string formatDate(std::int64_t days);
// 100-ns ticks since midnight of "hh:mm:ss[.fffffff]".
std::int64_t parseTime(const std::string &text);
// `digits` fraction digits (0..7), rounded down from ticks.
std::string formatTime(std::int64_t ticks, int digits);
// "YYYY-MM-DD[ hh:mm:ss[.f]]" (a 'T' may separate the parts) -> days since 0001-01-01 and ticks.
void parseDateTime(const std::string &text, std::int64_t &days, std::int64_t &ticks);
// "YYYY-MM-DD hh:mm:ss[.f] +hh:mm" (a 'T' may separate date and time, the blank before the offset may be left
// out, "Z" and no offset stand for +00:00) -> the local date (days since 0001-01-01), its ticks and the
// offset in minutes (-14:00 .. +14:00).
void parseDateTimeOffset(const std::string &text, std::int64_t &days, std::int64_t &ticks, int &offset);
// The same, as a datetimeoffset travels: the moment in UTC (throws when it lies outside 0001-01-01 ..
// 9999-12-31 there), then the offset; and back to the text of the local date and time with `digits`
// fraction digits and the offset ("+05:45").
void parseDateTimeOffsetUtc(const std::string &text, std::int64_t &days, std::int64_t &ticks, int &offset);
std::string formatDateTimeOffset(std::int64_t utcDays, std::int64_t utcTicks, int offset, int digits);
// "6F9619FF-8B86-D011-B42D-00C04FC964FF" (braces allowed) <-> the 16 bytes on the wire, whose first three
// groups are little-endian.
std::string parseGuid(const std::string &text);
std::string formatGuid(const std::string &bytes);

// Days between 0001-01-01 and 1900-01-01 (the datetime epoch).
constexpr std::int64_t kDaysTo1900 = 693595;
constexpr std::int64_t kTicksPerDay = 864000000000LL;
constexpr std::int64_t kTicksPerMinute = 600000000LL;

} // namespace quorix::tds
