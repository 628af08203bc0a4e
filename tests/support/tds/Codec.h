#pragma once
// TYPE_INFO and values: the text form the tests use <-> the bytes of COLMETADATA, ROW and RPC parameters.

#include "tds/Bytes.h"
#include "tds/ScriptedServer.h"

#include <vector>

namespace quorix::tds {

// How one column or parameter travels.
struct TypeDesc {
    SqlType type = SqlType::Int;
    std::uint8_t token = 0x26;
    int maxLen = 4; // the TYPE_INFO length: bytes, 0xFFFF for the PLP (max) types
    int precision = 0;
    int scale = 0;
    bool plp = false;
    bool fixed = false; // a fixed-length type without a length byte (INT4, DATETIME, ...)
    int lenBytes = 1;   // size of the value's length prefix: 1, 2 or 4 (text/ntext/image)
};

// Column of a result set; `rows` (may be null) lets char/binary types size themselves to the longest value.
// Throws std::invalid_argument for a value that cannot be encoded in the column.
TypeDesc describeColumn(const Column &column, const std::vector<Row> *rows, std::size_t index);

void putTypeInfo(Bytes &b, const TypeDesc &type);
// Throws std::invalid_argument when the text does not fit the type.
void putValue(Bytes &b, const TypeDesc &type, const Value &value);

// RPC parameters and return values. Throws ProtocolError for types this server does not know.
TypeDesc readTypeInfo(Cursor &c);
Value readValue(Cursor &c, const TypeDesc &type);

// The 5 collation bytes this server announces and echoes: Latin1_General_CI_AS-like, code page 1252.
inline const Bytes &collation() {
    static const Bytes c("\x09\x04\xD0\x00\x34", 5);
    return c;
}

} // namespace quorix::tds
