// The shell on POSIX desktops: the file manager opens smb://server/backup (xdg-open), and a terminal opens on
// a mapped drive, in the folder where the desktop has mounted that share or else on an smbclient session
// of the share. A program that is missing or fails gives one log line; nothing waits for the programs.

#include "core/shares/Paths.h"
#include "core/shares/Platform.h"
#include "core/shares/posix/DriveTable.h"
#include "core/shares/posix/Smb.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace quorix::shares {

namespace {

std::string findProgram(const std::string &name) {
    if (name.empty())
        return {};
    if (name.find('/') != std::string::npos)
        return ::access(name.c_str(), X_OK) == 0 ? name : std::string();
    const char *path = std::getenv("PATH");
    std::string dirs = path ? path : "/usr/bin:/bin";
    std::size_t start = 0;
    while (start <= dirs.size()) {
        std::size_t end = dirs.find(':', start);
        if (end == std::string::npos)
            end = dirs.size();
        const std::string candidate = (end > start ? dirs.substr(start, end - start) : ".") + "/" + name;
        struct stat st {};
        if (::stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
            ::access(candidate.c_str(), X_OK) == 0)
            return candidate;
        start = end + 1;
    }
    return {};
}

// Starts argv[0] (a full path) without waiting, in a session of its own so that it outlives the tool. A
// thread reaps it and reports a failing exit as failure. extraEnv entries are "NAME=value". leftover is a
// file the program's session removes once it has read it: when the program fails, nothing will, so it is
// removed then (a program that ends well may have handed the session to a terminal server, which reads it
// later).
bool launch(const std::vector<std::string> &argv, const std::string &cwd,
            const std::vector<std::string> &extraEnv, const std::string &failure,
            const std::string &leftover = {}) {
    std::vector<char *> args;
    for (const auto &arg : argv)
        args.push_back(const_cast<char *>(arg.c_str()));
    args.push_back(nullptr);
    std::vector<std::string> envText;
    for (char **e = environ; *e; ++e)
        envText.emplace_back(*e);
    envText.insert(envText.end(), extraEnv.begin(), extraEnv.end());
    std::vector<char *> env;
    for (auto &entry : envText)
        env.push_back(entry.data());
    env.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    if (!cwd.empty())
        posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID);
    pid_t pid = 0;
    const int rc = ::posix_spawn(&pid, args[0], &actions, &attr, args.data(), env.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    if (rc != 0) {
        logLine(failure + " (" + std::strerror(rc) + ")");
        return false;
    }
    std::thread([pid, failure, leftover, program = argv[0]] {
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        const bool failed = (WIFEXITED(status) && WEXITSTATUS(status) != 0) || WIFSIGNALED(status);
        if (failed && !leftover.empty())
            ::unlink(leftover.c_str());
        if (WIFEXITED(status) && WEXITSTATUS(status) != 0)
            logLine(failure + " (" + program + " ended with code " + std::to_string(WEXITSTATUS(status)) +
                    ")");
        else if (WIFSIGNALED(status))
            logLine(failure + " (" + program + " was stopped by signal " + std::to_string(WTERMSIG(status)) +
                    ")");
    }).detach();
    return true;
}

// The terminal program and how it takes a command to run.
struct Terminal {
    std::string path;
    std::vector<std::string> runFlag;
};

Terminal findTerminal() {
    if (const char *preferred = std::getenv("TERMINAL")) {
        if (std::string path = findProgram(preferred); !path.empty())
            return {path, {"-e"}};
    }
    const std::pair<const char *, std::vector<std::string>> known[] = {
        {"x-terminal-emulator", {"-e"}}, {"gnome-terminal", {"--"}}, {"konsole", {"-e"}},
        {"xfce4-terminal", {"-x"}},      {"xterm", {"-e"}},
    };
    for (const auto &[name, flag] : known) {
        if (std::string path = findProgram(name); !path.empty())
            return {path, flag};
    }
    return {};
}

// The password in a file of a random name that only its owner may read (0600), in the user's runtime folder
// (XDG_RUNTIME_DIR, itself owner-only) or else the temporary folder; "" when none could be written.
std::string ownerOnlyPasswordFile(const std::string &password) {
    const char *runtime = std::getenv("XDG_RUNTIME_DIR");
    const char *temp = std::getenv("TMPDIR");
    std::string path = std::string(runtime && *runtime ? runtime
                                   : temp && *temp     ? temp
                                                       : "/tmp") +
                       "/quorix-share-XXXXXX";
    const int fd = ::mkstemp(path.data()); // made 0600
    if (fd < 0)
        return {};
    const char *data = password.data();
    std::size_t left = password.size();
    bool written = true;
    while (left > 0 && written) {
        const ssize_t n = ::write(fd, data, left);
        if (n < 0 && errno == EINTR)
            continue;
        written = n > 0;
        if (written) {
            data += n;
            left -= static_cast<std::size_t>(n);
        }
    }
    ::close(fd);
    if (!written) {
        ::unlink(path.c_str());
        return {};
    }
    return path;
}

// How the terminal starts smbclient with the password on a descriptor: the shell opens the file as
// descriptor 3, removes it, and smbclient reads the password from PASSWD_FD. So the password is in no
// environment and on no command line, and the file is gone as soon as the session starts.
const char *const kPasswordOnDescriptor =
    "exec 3<\"$1\" && rm -f -- \"$1\" && shift && PASSWD_FD=3 exec \"$0\" \"$@\"";

// Where the desktop (gvfs) mounts an SMB share the user opened in the file manager, if it has.
std::string desktopMount(const std::string &server, const std::string &share) {
    const char *runtime = std::getenv("XDG_RUNTIME_DIR");
    if (!runtime)
        return {};
    const std::string base = std::string(runtime) + "/gvfs/";
    const std::string plain = "smb-share:server=" + toLower(server) + ",share=" + toLower(share);
    const std::string withPort = "smb-share:port=" + std::to_string(posix::smbPort()) +
                                 ",server=" + toLower(server) + ",share=" + toLower(share);
    for (const auto &name : {withPort, plain}) {
        struct stat st {};
        if (::stat((base + name).c_str(), &st) == 0 && S_ISDIR(st.st_mode))
            return base + name;
    }
    return {};
}

class PosixShell : public Shell {
public:
    bool openShare(const std::string &server) override {
        const std::string url = posix::smbUrl(server, "backup");
        const std::string failure = "Cannot open " + url + " in the file manager";
        const std::string opener = findProgram("xdg-open");
        if (opener.empty()) {
            logLine(failure + " (xdg-open is not installed)");
            return false;
        }
        return launch({opener, url}, {}, {}, failure);
    }

    bool openTerminal(const std::string &drive) override {
        const std::string letter = drive.substr(0, 2);
        const std::string failure = "Cannot open a terminal on " + letter;
        const auto entry = drive.empty() ? std::nullopt : posix::DriveTable::find(drive[0]);
        if (!entry) {
            logLine(failure + " (the drive is not mapped)");
            return false;
        }
        const Terminal terminal = findTerminal();
        if (terminal.path.empty()) {
            logLine(failure + " (no terminal program found: x-terminal-emulator, gnome-terminal, konsole, "
                              "xfce4-terminal, xterm)");
            return false;
        }
        const ParsedPath remote = parsePath(entry->remote);
        if (std::string folder = desktopMount(remote.server, remote.share); !folder.empty()) {
            ParsedPath inside;
            inside.parts = remote.parts;
            if (!inside.parts.empty())
                folder += "/" + formatPath(inside, '/');
            return launch({terminal.path}, folder, {}, failure);
        }
        // The share is not mounted on this desktop: an smbclient session on it is the terminal on the drive.
        const std::string client = findProgram("smbclient");
        if (client.empty()) {
            logLine(failure + " (the share is not mounted and smbclient is not installed)");
            return false;
        }
        const auto account = accountFor(remote.server);
        std::vector<std::string> argv{terminal.path};
        argv.insert(argv.end(), terminal.runFlag.begin(), terminal.runFlag.end());
        std::string passwordFile;
        if (account) {
            passwordFile = ownerOnlyPasswordFile(account->password);
            if (passwordFile.empty()) {
                logLine(failure + " (the password could not be handed to smbclient)");
                return false;
            }
            argv.insert(argv.end(), {"/bin/sh", "-c", kPasswordOnDescriptor, client, passwordFile});
        } else {
            argv.push_back(client);
        }
        argv.insert(argv.end(),
                    {"//" + remote.server + "/" + remote.share, "-p", std::to_string(posix::smbPort()), "-U",
                     account ? account->user : entry->user});
        if (!remote.parts.empty()) {
            ParsedPath inside;
            inside.parts = remote.parts;
            argv.insert(argv.end(), {"-D", formatPath(inside, '/')});
        }
        const bool started = launch(argv, {}, {}, failure, passwordFile);
        if (!started && !passwordFile.empty())
            ::unlink(passwordFile.c_str());
        return started;
    }
};

} // namespace

Shell &platformShell() {
    static PosixShell posixShell;
    return posixShell;
}

} // namespace quorix::shares
