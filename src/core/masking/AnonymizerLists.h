#pragma once

// The anonymizer's built-in texts: the default work list and the design-time name lists. Each is a text of
// CR LF-terminated lines, as the boxes' texts are seen by the rest of the system.

#include <QString>

namespace quorix {

// The 40 table lines of the hospital schema's name-bearing tables.
QString defaultWorkList();
// 1,000 surnames.
QString builtInLastNames();
// 1,004 lines of given names (indexes 97 to 100 are stray text that came with the list).
QString builtInFirstNames();

} // namespace quorix
