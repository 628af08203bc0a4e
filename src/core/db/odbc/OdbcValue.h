#pragma once

// Reading column descriptions and values of the current row into Qt types (see Row in OdbcConnection.h).

#include "core/db/odbc/OdbcConnection.h"

namespace quorix::odbc {

std::vector<Column> describeColumns(const Handle &stmt);
// The value of column col (1-based) of the current row. buffer is scratch space kept between calls.
QVariant readValue(const Handle &stmt, SQLUSMALLINT col, const Column &column, std::vector<char> &buffer);

} // namespace quorix::odbc
