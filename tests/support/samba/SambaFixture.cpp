#include "SambaFixture.h"
#include "TestFiles.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <grp.h>
#include <netinet/in.h>
#include <pwd.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char **environ;

namespace fs = std::filesystem;

namespace quorix::testsupport {

namespace {

struct Account {
    const char *address;
    const char *systemUser;
    const char *user;
    const char *password;
    const char *netbios;
};

const Account kAccounts[2] = {
    {"127.0.0.2", "quorixsmb0", "administrator", "garden@584", "QUORIXMAIN"},
    {"127.0.0.3", "quorixsmb1", "mirroruser", "Mirror#2", "QUORIXMIRROR"},
};

int quietSystem(const std::string &command) {
    return std::system((command + " >/dev/null 2>&1").c_str());
}

bool writeText(const fs::path &path, const std::string &text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    return static_cast<bool>(out);
}

bool canConnect(const std::string &address, int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    ::inet_pton(AF_INET, address.c_str(), &addr.sin_addr);
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) == 0;
    ::close(fd);
    return ok;
}

void chownTree(const fs::path &path, uid_t uid, gid_t gid) {
    ::chown(path.c_str(), uid, gid);
    if (fs::is_directory(path)) {
        for (const auto &entry : fs::recursive_directory_iterator(path))
            ::lchown(entry.path().c_str(), uid, gid);
    }
}

} // namespace

SambaFixture::SambaFixture() {
    const char *port = std::getenv("QUORIX_SMB_PORT");
    if (port && std::atoi(port) > 0)
        m_port = std::atoi(port);
    else
        ::setenv("QUORIX_SMB_PORT", std::to_string(m_port).c_str(), 1);
    m_root = fs::temp_directory_path() / ("quorix-samba-" + std::to_string(m_port));
    for (int slot = 0; slot < 2; ++slot) {
        m_shares[slot].server = kAccounts[slot].address;
        m_shares[slot].user = kAccounts[slot].user;
        m_shares[slot].password = kAccounts[slot].password;
    }
}

SambaFixture::~SambaFixture() {
    stop();
}

void SambaFixture::killStale() {
    // A run that crashed leaves its servers behind; their process groups are noted in the state folder.
    for (int slot = 0; slot < 2; ++slot) {
        const fs::path note = m_root / ("pgid" + std::to_string(slot));
        const int pgid = std::atoi(quorix::testing::readLocal(note).c_str());
        if (pgid > 1 && ::kill(-pgid, SIGKILL) == 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        ::umount2((m_root / ("slot" + std::to_string(slot)) / "tiny").c_str(), MNT_DETACH);
    }
}

std::string SambaFixture::unavailable() {
    if (::geteuid() == 0)
        return {};
    return "the Samba fixture needs root: it adds loopback addresses and system users, mounts a tmpfs and "
           "starts smbd (run the tests as root, as CI does)";
}

bool SambaFixture::start(std::string &error) {
    if (running())
        return true;
    if (error = unavailable(); !error.empty())
        return false;
    killStale();
    std::error_code ec;
    fs::remove_all(m_root, ec);
    fs::create_directories(m_root, ec);
    fs::permissions(m_root, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                fs::perms::others_read | fs::perms::others_exec);
    for (int slot = 0; slot < 2; ++slot) {
        if (!prepare(slot, error) || !launch(slot, error)) {
            stop();
            return false;
        }
    }
    return true;
}

bool SambaFixture::prepare(int slot, std::string &error) {
    const Account &account = kAccounts[slot];
    quietSystem(std::string("ip addr add ") + account.address + "/8 dev lo"); // "exists" is fine

    if (!::getpwnam(account.systemUser))
        quietSystem(std::string("useradd --system --no-create-home --home-dir /nonexistent --shell "
                                "/usr/sbin/nologin ") +
                    account.systemUser);
    const passwd *pw = ::getpwnam(account.systemUser);
    if (!pw) {
        error = std::string("cannot create the system user ") + account.systemUser;
        return false;
    }
    m_uid[slot] = pw->pw_uid;
    m_gid[slot] = pw->pw_gid;

    const fs::path dir = m_root / ("slot" + std::to_string(slot));
    for (auto sub :
         {"private", "lock", "state", "cache", "run", "ncalrpc", "bind-dns", "log", "backup/MIR", "tiny"})
        fs::create_directories(dir / sub);
    fs::permissions(dir / "private", fs::perms::owner_all);
    SambaShare &share = m_shares[slot];
    share.folder = dir / "backup";
    chownTree(share.folder, m_uid[slot], m_gid[slot]);

    // A share too small for big files, to see how a copy that fails midway ends.
    const std::string options =
        "size=1m,mode=0755,uid=" + std::to_string(m_uid[slot]) + ",gid=" + std::to_string(m_gid[slot]);
    share.tiny.clear();
    if (::mount("tmpfs", (dir / "tiny").c_str(), "tmpfs", 0, options.c_str()) == 0)
        share.tiny = dir / "tiny";

    const std::string d = dir.string();
    std::string conf = "[global]\n"
                       "netbios name = " +
                       std::string(account.netbios) +
                       "\n"
                       "workgroup = WORKGROUP\n"
                       "server role = standalone server\n"
                       "interfaces = " +
                       account.address +
                       "\n"
                       "bind interfaces only = yes\n"
                       "smb ports = " +
                       std::to_string(m_port) +
                       "\n"
                       "disable netbios = yes\n"
                       "passdb backend = tdbsam:" +
                       d + "/private/passdb.tdb\n" + "private dir = " + d + "/private\n" +
                       "lock directory = " + d + "/lock\n" + "state directory = " + d + "/state\n" +
                       "cache directory = " + d + "/cache\n" + "pid directory = " + d + "/run\n" +
                       "ncalrpc dir = " + d + "/ncalrpc\n" + "binddns dir = " + d + "/bind-dns\n" +
                       "log file = " + d + "/log/smbd.log\n" +
                       "log level = 1\n"
                       "map to guest = never\n"
                       "restrict anonymous = 2\n"
                       "load printers = no\n"
                       "printing = bsd\n"
                       "printcap name = /dev/null\n"
                       "disable spoolss = yes\n"
                       "usershare path =\n"
                       "obey pam restrictions = no\n"
                       "kernel oplocks = no\n"
                       "server min protocol = SMB2_02\n";
    if (std::string(account.user) != account.systemUser) {
        writeText(dir / "usermap", std::string(account.systemUser) + " = " + account.user + "\n");
        conf += "username map = " + d + "/usermap\n";
    }
    const std::string shareOptions = "read only = no\nvalid users = " + std::string(account.systemUser) +
                                     "\ncreate mask = 0644\ndirectory mask = 0755\n";
    conf += "\n[backup]\npath = " + share.folder.string() + "\n" + shareOptions;
    if (!share.tiny.empty())
        conf += "\n[tiny]\npath = " + share.tiny.string() + "\n" + shareOptions;
    writeText(dir / "smb.conf", conf);

    const std::string add =
        "smbpasswd -c " + d + "/smb.conf -s -a " + account.systemUser + " >/dev/null 2>&1";
    FILE *pipe = ::popen(add.c_str(), "w");
    if (!pipe) {
        error = "cannot run smbpasswd";
        return false;
    }
    std::fprintf(pipe, "%s\n%s\n", account.password, account.password);
    if (::pclose(pipe) != 0) {
        error = std::string("smbpasswd could not add ") + account.systemUser;
        return false;
    }
    return true;
}

bool SambaFixture::launch(int slot, std::string &error) {
    const fs::path dir = m_root / ("slot" + std::to_string(slot));
    const std::string conf = (dir / "smb.conf").string();
    const std::string out = (dir / "log" / "stdout.log").string();

    // smbd in the foreground ends when its standard input closes, so a pipe stays open to it until stop().
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        error = "pipe failed";
        return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[0], 0);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attr, 0); // a group of its own, so stop() ends its children too
    const char *argv[] = {"smbd",       "--foreground", "--no-process-group", "--debug-stdout", "-s",
                          conf.c_str(), nullptr};
    pid_t pid = 0;
    const int rc = ::posix_spawnp(&pid, "smbd", &actions, &attr, const_cast<char **>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    ::close(fds[0]);
    if (rc != 0) {
        ::close(fds[1]);
        error = std::string("cannot start smbd: ") + std::strerror(rc);
        return false;
    }
    m_pgid[slot] = pid;
    m_stdin[slot] = fds[1];
    writeText(m_root / ("pgid" + std::to_string(slot)), std::to_string(pid));

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < deadline) {
        if (canConnect(kAccounts[slot].address, m_port))
            return true;
        int status = 0;
        if (::waitpid(pid, &status, WNOHANG) == pid) {
            m_pgid[slot] = 0;
            error = "smbd for " + std::string(kAccounts[slot].address) + " exited: " + log(slot);
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    error = "smbd for " + std::string(kAccounts[slot].address) + " does not answer on port " +
            std::to_string(m_port) + ": " + log(slot);
    return false;
}

void SambaFixture::stop() {
    for (int slot = 0; slot < 2; ++slot) {
        if (m_stdin[slot] >= 0) {
            ::close(m_stdin[slot]);
            m_stdin[slot] = -1;
        }
        if (m_pgid[slot] > 0) {
            const pid_t pgid = m_pgid[slot];
            ::kill(-pgid, SIGTERM);
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
            while (::kill(-pgid, 0) == 0 && std::chrono::steady_clock::now() < deadline) {
                ::waitpid(pgid, nullptr, WNOHANG);
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
            ::kill(-pgid, SIGKILL);
            ::waitpid(pgid, nullptr, 0);
            m_pgid[slot] = 0;
            std::error_code ec;
            fs::remove(m_root / ("pgid" + std::to_string(slot)), ec);
        }
        if (!m_shares[slot].tiny.empty()) {
            ::umount2(m_shares[slot].tiny.c_str(), MNT_DETACH);
            m_shares[slot].tiny.clear();
        }
    }
}

void SambaFixture::killServer(int slot) {
    if (m_pgid[slot] <= 0)
        return;
    ::kill(-m_pgid[slot], SIGKILL);
    ::waitpid(m_pgid[slot], nullptr, 0);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (::kill(-m_pgid[slot], 0) == 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20)); // its children go with the group
    m_pgid[slot] = 0;
    if (m_stdin[slot] >= 0) {
        ::close(m_stdin[slot]);
        m_stdin[slot] = -1;
    }
}

bool SambaFixture::restartServer(int slot, std::string &error) {
    killServer(slot);
    return launch(slot, error);
}

void SambaFixture::clearShares() {
    for (int slot = 0; slot < 2; ++slot) {
        for (const fs::path &folder : {m_shares[slot].folder, m_shares[slot].tiny}) {
            if (folder.empty())
                continue;
            std::error_code ec;
            for (const auto &entry : fs::directory_iterator(folder, ec))
                fs::remove_all(entry.path(), ec);
        }
        fs::create_directories(m_shares[slot].folder / "MIR");
        chownTree(m_shares[slot].folder, m_uid[slot], m_gid[slot]);
    }
}

void SambaFixture::putFile(int slot, const std::string &rel, const std::string &contents) {
    const fs::path path = m_shares[slot].folder / rel;
    fs::create_directories(path.parent_path());
    writeText(path, contents);
    chownTree(m_shares[slot].folder, m_uid[slot], m_gid[slot]);
}

void SambaFixture::adoptFiles() {
    for (int slot = 0; slot < 2; ++slot)
        chownTree(m_shares[slot].folder, m_uid[slot], m_gid[slot]);
}

std::string SambaFixture::log(int slot) const {
    const fs::path dir = m_root / ("slot" + std::to_string(slot)) / "log";
    std::string text =
        quorix::testing::readLocal(dir / "stdout.log") + quorix::testing::readLocal(dir / "smbd.log");
    return text.size() > 4000 ? text.substr(text.size() - 4000) : text;
}

} // namespace quorix::testsupport
