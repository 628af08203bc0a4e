#include "core/shares/posix/DriveTable.h"

#include "core/shares/Platform.h"

#include <cctype>
#include <mutex>

namespace quorix::shares::posix {

namespace {

// Keys of the store: "X" holds the share, "XUser" the account name. No passwords are kept here; the
// account's password comes from the window at each use.
const char *const kUserSuffix = "User";

std::mutex &tableMutex() {
    static std::mutex m;
    return m;
}

std::map<char, DriveEntry> decode(const std::map<std::string, std::string> &values) {
    std::map<char, DriveEntry> table;
    for (const auto &[key, value] : values) {
        if (key.size() == 1 && std::isalpha(static_cast<unsigned char>(key[0])) && !value.empty()) {
            const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(key[0])));
            DriveEntry entry{value, {}};
            auto user = values.find(key + kUserSuffix);
            if (user != values.end())
                entry.user = user->second;
            table[letter] = entry;
        }
    }
    return table;
}

std::map<std::string, std::string> encode(const std::map<char, DriveEntry> &table) {
    std::map<std::string, std::string> values;
    for (const auto &[letter, entry] : table) {
        values[std::string(1, letter)] = entry.remote;
        values[std::string(1, letter) + kUserSuffix] = entry.user;
    }
    return values;
}

} // namespace

std::optional<DriveEntry> DriveTable::find(char letter) {
    std::lock_guard lock(tableMutex());
    const auto table = decode(driveStore()->load());
    auto it = table.find(static_cast<char>(std::toupper(static_cast<unsigned char>(letter))));
    if (it == table.end())
        return std::nullopt;
    return it->second;
}

bool DriveTable::add(char letter, const DriveEntry &entry) {
    std::lock_guard lock(tableMutex());
    auto store = driveStore();
    auto table = decode(store->load());
    const char upper = static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
    if (table.count(upper))
        return false;
    table[upper] = entry;
    store->save(encode(table));
    return true;
}

void DriveTable::clear() {
    std::lock_guard lock(tableMutex());
    driveStore()->save({});
}

std::map<char, DriveEntry> DriveTable::all() {
    std::lock_guard lock(tableMutex());
    return decode(driveStore()->load());
}

} // namespace quorix::shares::posix
