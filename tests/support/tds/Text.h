#pragma once
// Text conversions between the UTF-8 the tests use and what travels on the wire.

#include "tds/Bytes.h"

#include <string>

namespace quorix::tds {

// UTF-16LE with surrogate pairs. Malformed UTF-8 becomes U+FFFD.
Bytes utf8ToUtf16(const std::string &text);
// Number of UTF-16 code units of the UTF-8 text.
std::size_t utf16Units(const std::string &text);
// A lone surrogate becomes U+FFFD.
std::string utf16ToUtf8(const char *data, std::size_t bytes);
inline std::string utf16ToUtf8(const Bytes &b) {
    return utf16ToUtf8(b.data(), b.size());
}

// A password as LOGIN7 carries it: UTF-16LE, each byte's nibbles swapped, then XORed with 0xA5 (what a
// capture of a login sent in clear holds, and so what it must be searched for).
Bytes scrambledPassword(const std::string &text);

// Code page 1252, the code page of the collation this server announces. Unmappable characters become '?'.
Bytes utf8ToCp1252(const std::string &text);
std::string cp1252ToUtf8(const Bytes &bytes);

// "0x0A1B" <-> bytes. fromHex accepts upper or lower case, with or without "0x"; throws
// std::invalid_argument otherwise.
std::string toHex(const Bytes &bytes);
Bytes fromHex(const std::string &text);

// B_VARCHAR / US_VARCHAR: a 1- or 2-byte count of UTF-16 units, then UTF-16LE.
void putBVarchar(Bytes &b, const std::string &text);
void putUsVarchar(Bytes &b, const std::string &text);
std::string readBVarchar(Cursor &c);
std::string readUsVarchar(Cursor &c);

// Case-insensitive ASCII comparison (SQL Server's default collations ignore case for names).
bool equalsIgnoreCase(const std::string &a, const std::string &b);

} // namespace quorix::tds
