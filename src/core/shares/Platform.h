#pragma once

// The platform services of the shares layer besides file access: network drives, the shell, and the
// settings they take from the window (accounts, log lines, the drive table's storage). Plain C++ so that
// every platform's implementation can be built without Qt.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

namespace quorix::shares {

struct Account {
    std::string user;
    std::string password;
};

// The account for a server ("127.0.0.2", "MAINSRV"), if one is known. The window answers with the slot
// whose server box names it; called at every use, from any thread.
using AccountLookup = std::function<std::optional<Account>(const std::string &server)>;
// Receives one line for the log pane; may be called from any thread.
using LogSink = std::function<void(const std::string &line)>;

void setAccounts(AccountLookup lookup);
void setLog(LogSink sink);
// Writes a line through the sink set by setLog (to stderr when none is set).
void logLine(const std::string &line);
// The account for a server: the window's answer first, then the one last given to a connection call for it
// in this run (mapping or connecting), so an unnamed server still works after its share was connected.
std::optional<Account> accountFor(const std::string &server);
void rememberAccount(const std::string &server, const Account &account);
void forgetAccounts();

// Persistent key/value text storage for the drive table (the window puts it in its settings store,
// section "Drives"). Keys and values are plain text.
class DriveStore {
public:
    virtual ~DriveStore() = default;
    virtual std::map<std::string, std::string> load() = 0;
    virtual void save(const std::map<std::string, std::string> &values) = 0;
};

class MemoryDriveStore : public DriveStore {
public:
    std::map<std::string, std::string> load() override { return m_values; }
    void save(const std::map<std::string, std::string> &values) override { m_values = values; }

private:
    std::map<std::string, std::string> m_values;
};

// Where the drive table is kept; an in-memory store until the window sets its own.
void setDriveStore(std::shared_ptr<DriveStore> store);
std::shared_ptr<DriveStore> driveStore();

// Win32 result codes used by every platform, so the same messages appear everywhere.
namespace code {
constexpr std::int32_t ok = 0;
constexpr std::int32_t accessDenied = 5;
constexpr std::int32_t badNetPath = 53;
constexpr std::int32_t unexpectedNetError = 59;
constexpr std::int32_t badNetName = 67;
constexpr std::int32_t alreadyAssigned = 85;
constexpr std::int32_t invalidPassword = 86;
constexpr std::int32_t noNetwork = 1222;
constexpr std::int32_t notConnected = 2250;
} // namespace code

class NetDrives {
public:
    virtual ~NetDrives() = default;
    // Connects to the share remote ("\\server\backup") with the account; local is the drive letter ("X:"),
    // or empty for a connection without a letter. Flags 1 remembers the mapping beyond this run. Returns the
    // Win32 result code.
    virtual std::int32_t addConnection(const std::string &remote, const std::string &local,
                                       const std::string &user, const std::string &password,
                                       std::uint32_t flags) = 0;
    // Removes every drive mapping and connection ("Drop Dir"). Does not report an outcome.
    virtual void dropAll() = 0;
};

class Shell {
public:
    virtual ~Shell() = default;
    // Opens the share "\\server\backup" in the desktop's file manager. Returns false (after a log line)
    // when nothing could be started.
    virtual bool openShare(const std::string &server) = 0;
    // Opens a command prompt on a drive letter ("X:", "y:").
    virtual bool openTerminal(const std::string &drive) = 0;
};

// As every caller uses them: behind the "Script only" gate (Gate.h).
NetDrives &drives();
Shell &shell();
// The implementations of this platform, without the gate.
NetDrives &platformDrives();
Shell &platformShell();

} // namespace quorix::shares
