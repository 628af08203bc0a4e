#include "core/shares/CommandLine.h"

namespace quorix::shares {

std::string quoteArgument(const std::string &arg, bool always) {
    if (!always && !arg.empty() && arg.find_first_of(" \t\n\v\"") == std::string::npos)
        return arg;
    std::string quoted = "\"";
    size_t backslashes = 0;
    for (const char c : arg) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        // Backslashes count as themselves unless a quote follows them: then each one is doubled.
        quoted.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
        backslashes = 0;
        quoted.push_back(c);
    }
    quoted.append(backslashes * 2, '\\');
    quoted.push_back('"');
    return quoted;
}

std::string commandLine(const std::string &program, const std::vector<std::string> &args, bool quoteAll) {
    // The program's name is read up to the next quote, without escapes: a path holds no quote anyway.
    std::string line = "\"" + program + "\"";
    for (const std::string &arg : args)
        line += ' ' + quoteArgument(arg, quoteAll);
    return line;
}

} // namespace quorix::shares
