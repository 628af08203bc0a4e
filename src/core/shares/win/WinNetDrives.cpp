// Drive mapping on Windows: WNetAddConnection2A with the network resource record, and "net use * /delete"
// through the shell for "Drop Dir".

#include "core/shares/Platform.h"
#include "core/shares/win/WinCommon.h"

#include <winnetwk.h>

namespace quorix::shares {

namespace {

class WinNetDrives : public NetDrives {
public:
    std::int32_t addConnection(const std::string &remote, const std::string &local, const std::string &user,
                               const std::string &password, std::uint32_t flags) override {
        // All texts ANSI and zero-terminated; an empty box is an empty text, not a missing one.
        std::string ansiRemote = win::toAnsi(remote);
        std::string ansiLocal = win::toAnsi(local);
        const std::string ansiUser = win::toAnsi(user);
        const std::string ansiPassword = win::toAnsi(password);
        char provider[1] = "";

        NETRESOURCEA resource{};
        resource.dwScope = 0;
        resource.dwType = RESOURCETYPE_DISK;
        resource.dwDisplayType = 0;
        resource.dwUsage = 0;
        resource.lpLocalName = local.empty() ? nullptr : ansiLocal.data();
        resource.lpRemoteName = ansiRemote.data();
        resource.lpComment = nullptr;
        resource.lpProvider = provider;
        return static_cast<std::int32_t>(WNetAddConnection2A(&resource, ansiPassword.c_str(),
                                                             ansiUser.c_str(), static_cast<DWORD>(flags)));
    }

    void dropAll() override {
        win::forgetShareConnections();
        // Window style 1: normal and activated, so the user sees what net asks; the outcome is not awaited.
        const std::string net = win::systemProgram(win::SystemFolder::System, "net.exe");
        if (DWORD rc = win::runProgram(net, {"use", "*", "/delete"}, SW_SHOWNORMAL); rc != 0)
            logLine("Cannot run \"net use * /delete\" (" + win::systemMessage(rc) + ")");
    }
};

} // namespace

NetDrives &platformDrives() {
    static WinNetDrives netDrives;
    return netDrives;
}

} // namespace quorix::shares
