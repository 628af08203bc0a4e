#pragma once

// The drive letters of this tool on platforms without Windows drive mapping: each letter points at a share
// ("\\server\backup") and names the account it was mapped with. Kept in the drive store (the window's
// settings, section "Drives"), so a mapping outlives the run as a remembered Windows mapping does.

#include <map>
#include <optional>
#include <string>

namespace quorix::shares::posix {

struct DriveEntry {
    std::string remote; // "\\server\backup"
    std::string user;
};

class DriveTable {
public:
    // Letters in any case.
    static std::optional<DriveEntry> find(char letter);
    // False when the letter is taken.
    static bool add(char letter, const DriveEntry &entry);
    static void clear();
    static std::map<char, DriveEntry> all();
};

} // namespace quorix::shares::posix
