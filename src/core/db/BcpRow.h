#pragma once

// One row of a bulk load as the driver's bcp functions read it: a buffer per column, bound once, holding a
// 4-byte length (-1 for NULL) and the value's bytes, refilled for every row.
//
// Values go as the driver converts them without loss: integers as 64-bit integers, floating types as
// doubles, binary as bytes, and everything else (decimal, date and time, uniqueidentifier, text) as text in
// the server's own notation, which the driver converts to the column's type digit for digit. A value that
// would not go in as it is (too long, out of range, not of the column's kind) is refused by fill() before
// anything is sent, since a driver that fails to convert a value mid-row has already sent part of the row:
// its batch then goes the block path, where the server judges each row.

#include "core/db/BcpDriver.h"
#include "core/db/ParamType.h"

#include <QVariant>
#include <optional>
#include <vector>

namespace quorix {

class BcpRow {
public:
    struct Column {
        int ordinal = 0; // the table column it fills, from 1
        ParamType type;  // the column's type as the block path declares it
    };

    // Whether a column of this type can be loaded this way: not the (max) types, whose buffers the
    // drivers size by the column's limit.
    static bool carries(const ParamType &type);

    // Throws nothing; every column's type must be carried.
    BcpRow(std::vector<Column> columns, bool utf16Text);
    BcpRow(const BcpRow &) = delete; // the driver holds the buffers' addresses
    BcpRow &operator=(const BcpRow &) = delete;

    // Binds every buffer; false at the first column the driver refuses.
    bool bind(BcpDriver &driver) const;
    // The values of one row into the buffers, one per column; false when a value would not go in as it is
    // (the buffers then hold part of the row: fill them again before sending).
    bool fill(const std::vector<QVariant> &values);

private:
    struct Buffer {
        Column column;
        int hostType = 0;
        std::vector<char> bytes; // the length, then the value
    };
    bool put(Buffer &b, const QVariant &value);

    std::vector<Buffer> m_buffers;
    bool m_utf16 = false;
};

} // namespace quorix
