#pragma once

// A real Samba server for tests: smbd started twice with its own configuration and state folders, on the
// loopback addresses that stand for Main (127.0.0.2) and Mirror (127.0.0.3), each sharing a folder "backup"
// with a subfolder "MIR" under its own account. Main's account is "administrator" / "garden@584" (mapped to
// the system user quorixsmb0), the Mirror's "mirroruser" / "Mirror#2" (system user quorixsmb1). The port is
// QUORIX_SMB_PORT, 4450 when unset (and then set, so the shares layer finds it). Needs root: it adds the
// addresses to lo, creates the system users, mounts a tmpfs and starts smbd; without root its tests skip
// (QUORIX_SKIP_WITHOUT_SAMBA) and their ctest entries count as skipped (SKIP_REGULAR_EXPRESSION
// "Samba fixture needs root"). Tests using it take the ctest RESOURCE_LOCK "samba".

#include <filesystem>
#include <string>
#include <sys/types.h>

namespace quorix::testsupport {

struct SambaShare {
    std::string server;           // "127.0.0.2"
    std::string user;             // the share account
    std::string password;         // its password
    std::filesystem::path folder; // the shared "backup" folder on this machine
    std::filesystem::path tiny; // a second share "tiny" of 1 MiB (tmpfs) when it could be mounted, else empty
};

class SambaFixture {
public:
    // Why this process cannot run the fixture (it is not root), or empty when it can.
    static std::string unavailable();

    SambaFixture();
    ~SambaFixture(); // stops the servers
    SambaFixture(const SambaFixture &) = delete;
    SambaFixture &operator=(const SambaFixture &) = delete;

    // Sets up and starts both servers; false with a description when that failed.
    bool start(std::string &error);
    void stop();
    bool running() const { return m_pgid[0] > 0; }
    // Kills one server at once (SIGKILL, as a crash would), and starts it again.
    void killServer(int slot);
    bool restartServer(int slot, std::string &error);

    const SambaShare &share(int slot) const { return m_shares[slot]; }
    int port() const { return m_port; }
    // Empties both "backup" folders (and "tiny") and recreates "MIR", owned by each share's account.
    void clearShares();
    // Writes a file into a share folder as its account owns it. rel is relative to "backup".
    void putFile(int slot, const std::string &rel, const std::string &contents);
    // Gives every file in both shares to its share's account, after files were written there directly.
    void adoptFiles();
    // The smbd output of one server, for failure messages.
    std::string log(int slot) const;

private:
    bool prepare(int slot, std::string &error);
    bool launch(int slot, std::string &error);
    void killStale();

    std::filesystem::path m_root;
    int m_port = 4450;
    SambaShare m_shares[2];
    pid_t m_pgid[2] = {0, 0};
    int m_stdin[2] = {-1, -1};
    uid_t m_uid[2] = {0, 0};
    gid_t m_gid[2] = {0, 0};
};

} // namespace quorix::testsupport

// At the start of a test or of its SetUp: skips the test, giving the reason, when this process cannot run
// the fixture.
#define QUORIX_SKIP_WITHOUT_SAMBA()                                                                          \
    if (const std::string quorixWhy = ::quorix::testsupport::SambaFixture::unavailable();                    \
        !quorixWhy.empty())                                                                                  \
    GTEST_SKIP() << quorixWhy
