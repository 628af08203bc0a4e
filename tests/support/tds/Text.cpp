#include "tds/Text.h"

#include <array>
#include <stdexcept>

namespace quorix::tds {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Decodes one code point from UTF-8 at s[i], advancing i.
char32_t nextCodePoint(const std::string &s, std::size_t &i) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char lead = byte(i++);
    if (lead < 0x80)
        return lead;
    int extra = 0;
    char32_t cp = 0;
    if ((lead & 0xE0) == 0xC0) {
        extra = 1;
        cp = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        extra = 2;
        cp = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        extra = 3;
        cp = lead & 0x07;
    } else {
        return kReplacement;
    }
    for (int k = 0; k < extra; ++k) {
        if (i >= s.size() || (byte(i) & 0xC0) != 0x80)
            return kReplacement;
        cp = (cp << 6) | (byte(i++) & 0x3F);
    }
    const char32_t minimum[] = {0, 0x80, 0x800, 0x10000};
    if (cp < minimum[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return kReplacement;
    return cp;
}

void appendUtf8(std::string &out, char32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

// Code points of bytes 0x80..0x9F in code page 1252 (0 = undefined); the rest equals Latin-1.
constexpr std::array<char16_t, 32> kCp1252High = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

int hexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

Bytes utf8ToUtf16(const std::string &text) {
    Bytes out;
    out.reserve(text.size() * 2);
    for (std::size_t i = 0; i < text.size();) {
        const char32_t cp = nextCodePoint(text, i);
        if (cp >= 0x10000) {
            const char32_t v = cp - 0x10000;
            put16(out, 0xD800 | (v >> 10));
            put16(out, 0xDC00 | (v & 0x3FF));
        } else {
            put16(out, cp);
        }
    }
    return out;
}

std::size_t utf16Units(const std::string &text) {
    std::size_t units = 0;
    for (std::size_t i = 0; i < text.size();)
        units += nextCodePoint(text, i) >= 0x10000 ? 2 : 1;
    return units;
}

Bytes scrambledPassword(const std::string &text) {
    Bytes out = utf8ToUtf16(text);
    for (char &c : out) {
        const auto b = static_cast<unsigned char>(c);
        c = static_cast<char>((((b << 4) | (b >> 4)) & 0xFF) ^ 0xA5);
    }
    return out;
}

std::string utf16ToUtf8(const char *data, std::size_t bytes) {
    std::string out;
    out.reserve(bytes / 2);
    const std::size_t units = bytes / 2;
    const auto unit = [&](std::size_t k) {
        return static_cast<char16_t>(static_cast<unsigned char>(data[2 * k]) |
                                     (static_cast<unsigned char>(data[2 * k + 1]) << 8));
    };
    for (std::size_t k = 0; k < units; ++k) {
        const char16_t u = unit(k);
        if (u >= 0xD800 && u <= 0xDBFF && k + 1 < units && unit(k + 1) >= 0xDC00 && unit(k + 1) <= 0xDFFF) {
            appendUtf8(out, 0x10000 + ((static_cast<char32_t>(u) - 0xD800) << 10) + (unit(k + 1) - 0xDC00));
            ++k;
        } else if (u >= 0xD800 && u <= 0xDFFF) {
            appendUtf8(out, kReplacement);
        } else {
            appendUtf8(out, u);
        }
    }
    return out;
}

Bytes utf8ToCp1252(const std::string &text) {
    Bytes out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const char32_t cp = nextCodePoint(text, i);
        if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) {
            out.push_back(static_cast<char>(cp));
            continue;
        }
        char mapped = '?';
        for (std::size_t k = 0; k < kCp1252High.size(); ++k)
            if (kCp1252High[k] != 0 && kCp1252High[k] == cp)
                mapped = static_cast<char>(0x80 + k);
        out.push_back(mapped);
    }
    return out;
}

std::string cp1252ToUtf8(const Bytes &bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (const char ch : bytes) {
        const auto b = static_cast<unsigned char>(ch);
        if (b >= 0x80 && b <= 0x9F)
            appendUtf8(out, kCp1252High[b - 0x80] ? kCp1252High[b - 0x80] : kReplacement);
        else
            appendUtf8(out, b);
    }
    return out;
}

std::string toHex(const Bytes &bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out = "0x";
    out.reserve(2 + bytes.size() * 2);
    for (const char ch : bytes) {
        const auto b = static_cast<unsigned char>(ch);
        out.push_back(digits[b >> 4]);
        out.push_back(digits[b & 0xF]);
    }
    return out;
}

Bytes fromHex(const std::string &text) {
    std::size_t start = text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X') ? 2 : 0;
    if ((text.size() - start) % 2 != 0)
        throw std::invalid_argument("odd number of hex digits in '" + text + "'");
    Bytes out;
    for (std::size_t i = start; i < text.size(); i += 2) {
        const int hi = hexDigit(text[i]);
        const int lo = hexDigit(text[i + 1]);
        if (hi < 0 || lo < 0)
            throw std::invalid_argument("not hex: '" + text + "'");
        out.push_back(static_cast<char>(hi * 16 + lo));
    }
    return out;
}

void putBVarchar(Bytes &b, const std::string &text) {
    const Bytes units = utf8ToUtf16(text);
    if (units.size() / 2 > 255)
        throw std::invalid_argument("text too long for a B_VARCHAR: " + text);
    put8(b, static_cast<std::uint32_t>(units.size() / 2));
    b += units;
}

void putUsVarchar(Bytes &b, const std::string &text) {
    Bytes units = utf8ToUtf16(text);
    if (units.size() / 2 > 0xFFFF)
        units.resize(0xFFFF * 2);
    put16(b, static_cast<std::uint32_t>(units.size() / 2));
    b += units;
}

std::string readBVarchar(Cursor &c) {
    const std::size_t n = c.u8();
    return utf16ToUtf8(c.take(2 * n), 2 * n);
}

std::string readUsVarchar(Cursor &c) {
    const std::size_t n = c.u16();
    return utf16ToUtf8(c.take(2 * n), 2 * n);
}

bool equalsIgnoreCase(const std::string &a, const std::string &b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) {
            return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
        };
        if (lower(a[i]) != lower(b[i]))
            return false;
    }
    return true;
}

} // namespace quorix::tds
