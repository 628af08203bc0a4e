#include "core/shares/Gate.h"

#include "core/shares/FileAccess.h"
#include "core/shares/Platform.h"

#include <mutex>

namespace quorix::shares {

namespace {

struct State {
    std::mutex mutex;
    Collector collector;
};

State &state() {
    static State s;
    return s;
}

// True when the operation was collected (and must not be done).
bool collected(const std::string &what) {
    Collector collector;
    {
        std::lock_guard lock(state().mutex);
        collector = state().collector;
    }
    if (!collector)
        return false;
    collector(what);
    return true;
}

class GatedFiles : public FileAccess {
public:
    Outcome list(const std::string &folder, const std::string &patterns,
                 std::vector<std::string> &names) override {
        return platformFiles().list(folder, patterns, names);
    }
    Outcome copy(const std::string &from, const std::string &to) override {
        return collected("copy " + from + " to " + to) ? Outcome{} : platformFiles().copy(from, to);
    }
    Outcome rename(const std::string &from, const std::string &to) override {
        return collected("rename " + from + " to " + to) ? Outcome{} : platformFiles().rename(from, to);
    }
};

class GatedDrives : public NetDrives {
public:
    std::int32_t addConnection(const std::string &remote, const std::string &local, const std::string &user,
                               const std::string &password, std::uint32_t flags) override {
        // The password stays out of the script.
        const std::string what = (local.empty() ? "connect to " : "map " + local + " to ") + remote +
                                 (user.empty() ? std::string() : " as " + user);
        return collected(what) ? code::ok
                               : platformDrives().addConnection(remote, local, user, password, flags);
    }
    void dropAll() override {
        if (!collected("remove every drive mapping and connection (Drop Dir)"))
            platformDrives().dropAll();
    }
};

class GatedShell : public Shell {
public:
    bool openShare(const std::string &server) override {
        return collected("open \\\\" + server + "\\backup in the file manager") ||
               platformShell().openShare(server);
    }
    bool openTerminal(const std::string &drive) override {
        return collected("open a command prompt on " + drive) || platformShell().openTerminal(drive);
    }
};

} // namespace

void setCollector(Collector collector) {
    std::lock_guard lock(state().mutex);
    state().collector = std::move(collector);
}

FileAccess &files() {
    static GatedFiles gated;
    return gated;
}

NetDrives &drives() {
    static GatedDrives gated;
    return gated;
}

Shell &shell() {
    static GatedShell gated;
    return gated;
}

} // namespace quorix::shares
