#pragma once

// Windows command lines as a program's C runtime splits them (the rules of CommandLineToArgvW): each
// argument that needs it is quoted, so a server name with blanks reaches the program as one argument and
// nothing in it is read as a further option. Plain text, so the rules are tested on every platform.

#include <string>
#include <vector>

namespace quorix::shares {

// arg as one argument: unchanged when it has no blank, tab or quote (and is not empty) and always is
// false, else in quotes with the backslashes before a quote (and before the closing quote) doubled and
// each quote escaped.
std::string quoteArgument(const std::string &arg, bool always = false);

// program (a full path, always quoted) and the arguments, each quoted as it needs (every one with
// quoteAll), joined by blanks.
std::string commandLine(const std::string &program, const std::vector<std::string> &args,
                        bool quoteAll = false);

} // namespace quorix::shares
