// The shell on Windows: Explorer on a server's backup share and a command prompt on a mapped drive.

#include "core/shares/Platform.h"
#include "core/shares/win/WinCommon.h"

namespace quorix::shares {

namespace {

class WinShell : public Shell {
public:
    bool openShare(const std::string &server) override {
        // The share as one quoted argument: a blank or a comma in the name cannot become an option.
        const std::string explorer = win::systemProgram(win::SystemFolder::Windows, "explorer.exe");
        const std::string share = "\\\\" + server + "\\backup";
        if (DWORD rc = win::runProgram(explorer, {share}, SW_SHOWNORMAL, {}, true); rc != 0) {
            logLine("Cannot run \"explorer " + share + "\" (" + win::systemMessage(rc) + ")");
            return false;
        }
        return true;
    }

    bool openTerminal(const std::string &drive) override {
        // The prompt starts on the drive itself instead of having "X: {ENTER}" typed into whatever window
        // has the focus a moment later.
        const std::string root = drive.size() >= 2 ? drive.substr(0, 2) + "\\" : std::string();
        const std::string cmd = win::systemProgram(win::SystemFolder::System, "cmd.exe");
        DWORD rc = win::runProgram(cmd, {}, -1, root);
        if (rc == ERROR_DIRECTORY || rc == ERROR_PATH_NOT_FOUND || rc == ERROR_INVALID_DRIVE) {
            logLine("The command prompt starts elsewhere (drive " + drive.substr(0, 2) +
                    " is not available)");
            rc = win::runProgram(cmd, {}, -1);
        }
        if (rc != 0) {
            logLine("Cannot run \"cmd.exe\" (" + win::systemMessage(rc) + ")");
            return false;
        }
        return true;
    }
};

} // namespace

Shell &platformShell() {
    static WinShell winShell;
    return winShell;
}

} // namespace quorix::shares
