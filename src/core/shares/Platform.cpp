#include "core/shares/Platform.h"

#include "core/shares/Paths.h"

#include <cstdio>
#include <mutex>

namespace quorix::shares {

namespace {

struct State {
    std::mutex mutex;
    AccountLookup lookup;
    LogSink log;
    std::map<std::string, Account> remembered; // by server, lower case
    std::shared_ptr<DriveStore> store = std::make_shared<MemoryDriveStore>();
};

State &state() {
    static State s;
    return s;
}

} // namespace

void setAccounts(AccountLookup lookup) {
    std::lock_guard lock(state().mutex);
    state().lookup = std::move(lookup);
}

void setLog(LogSink sink) {
    std::lock_guard lock(state().mutex);
    state().log = std::move(sink);
}

void logLine(const std::string &line) {
    LogSink sink;
    {
        std::lock_guard lock(state().mutex);
        sink = state().log;
    }
    if (sink) {
        sink(line);
    } else {
        std::fputs((line + "\n").c_str(), stderr);
    }
}

std::optional<Account> accountFor(const std::string &server) {
    AccountLookup lookup;
    {
        std::lock_guard lock(state().mutex);
        lookup = state().lookup;
    }
    // The lookup runs unlocked: it may take its own locks.
    if (lookup) {
        if (auto account = lookup(server))
            return account;
    }
    std::lock_guard lock(state().mutex);
    auto it = state().remembered.find(toLower(server));
    if (it != state().remembered.end())
        return it->second;
    return std::nullopt;
}

void rememberAccount(const std::string &server, const Account &account) {
    std::lock_guard lock(state().mutex);
    state().remembered[toLower(server)] = account;
}

void forgetAccounts() {
    std::lock_guard lock(state().mutex);
    state().remembered.clear();
}

void setDriveStore(std::shared_ptr<DriveStore> store) {
    std::lock_guard lock(state().mutex);
    state().store = store ? std::move(store) : std::make_shared<MemoryDriveStore>();
}

std::shared_ptr<DriveStore> driveStore() {
    std::lock_guard lock(state().mutex);
    return state().store;
}

} // namespace quorix::shares
