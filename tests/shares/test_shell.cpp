// The shell on POSIX desktops: the file manager on a share, a terminal on a mapped drive, and one clear log
// line when a program is missing or fails.

#include "ShellRecorder.h"
#include "SmbTestBase.h"
#include "core/shares/ModNetUse.h"

#include <iterator>
#include <mutex>
#include <sys/stat.h>

using namespace quorix;
using namespace quorix::testsupport;

namespace {

class Shell : public SmbTest {
protected:
    void SetUp() override {
        SmbTest::SetUp();
        if (HasFatalFailure() || IsSkipped())
            return;
        shares::setLog([this](const std::string &line) {
            std::lock_guard lock(m_mutex);
            m_lines.push_back(line);
        });
    }
    void TearDown() override {
        shares::setLog({});
        SmbTest::TearDown();
    }
    std::vector<std::string> lines(std::size_t atLeast = 0) {
        for (int i = 0; i < 200; ++i) {
            {
                std::lock_guard lock(m_mutex);
                if (m_lines.size() >= atLeast)
                    return m_lines;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(25));
        }
        std::lock_guard lock(m_mutex);
        return m_lines;
    }
    std::string port() const { return std::to_string(samba().port()); }

    ShellRecorder m_programs;
    std::mutex m_mutex;
    std::vector<std::string> m_lines;
};

} // namespace

TEST_F(Shell, OpensTheShareInTheFileManager) {
    EXPECT_TRUE(shares::shell().openShare(server(0)));
    const std::string url = "smb://" + server(0) + ":" + port() + "/backup";
    EXPECT_NE(m_programs.started("xdg-open").find("|" + url + "|"), std::string::npos);
    EXPECT_TRUE(lines().empty());

    // The opener fails: one line, after the fact.
    ::setenv("FAKE_EXIT", "4", 1);
    EXPECT_TRUE(shares::shell().openShare(server(1)));
    const auto failed = lines(1);
    ASSERT_EQ(failed.size(), 1u);
    EXPECT_EQ(failed[0], "Cannot open smb://" + server(1) + ":" + port() + "/backup in the file manager (" +
                             (m_programs.dir() / "bin/xdg-open").string() + " ended with code 4)");

    // No opener at all.
    m_programs.usePrograms(false);
    EXPECT_FALSE(shares::shell().openShare(server(0)));
    EXPECT_EQ(lines(2).back(), "Cannot open " + url + " in the file manager (xdg-open is not installed)");
}

TEST_F(Shell, OpensATerminalOnAMappedDrive) {
    EXPECT_FALSE(shares::shell().openTerminal("y:"));
    ASSERT_EQ(lines(1).size(), 1u);
    EXPECT_EQ(lines()[0], "Cannot open a terminal on y: (the drive is not mapped)");

    ModNetUse::MapNetworkDrive(server(1) + "\\backup", "Y:", share(1).user, share(1).password);
    ASSERT_EQ(ModNetUse::lastResult(), 0);

    // Not mounted on the desktop: a share session in the terminal, the password in an owner-only file that
    // the session's shell opens as a descriptor for smbclient and removes; nothing in the environment.
    EXPECT_TRUE(shares::shell().openTerminal("y:"));
    const std::string session = m_programs.started("x-terminal-emulator");
    const std::string head = std::string("|-e /bin/sh -c exec 3<\"$1\" && rm -f -- \"$1\" && shift && ") +
                             "PASSWD_FD=3 exec \"$0\" \"$@\" /usr/bin/smbclient ";
    const auto at = session.find(head);
    ASSERT_NE(at, std::string::npos) << session;
    const std::string rest = session.substr(at + head.size());
    const std::string file = rest.substr(0, rest.find(' '));
    EXPECT_EQ(rest.substr(file.size()),
              " //" + server(1) + "/backup -p " + port() + " -U " + share(1).user + "|\n")
        << session;
    EXPECT_EQ(session.find(share(1).password), std::string::npos) << session;
    struct stat st {};
    ASSERT_EQ(::stat(file.c_str(), &st), 0) << file;
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    std::ifstream held(file);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(held), {}), share(1).password);
    std::filesystem::remove(file); // the stand-in terminal runs nothing that would

    // A terminal that fails never ran the session that would remove the password's file: the tool does.
    ::setenv("FAKE_EXIT", "4", 1);
    EXPECT_TRUE(shares::shell().openTerminal("y:"));
    ASSERT_EQ(lines(2).size(), 2u);
    EXPECT_EQ(lines()[1], "Cannot open a terminal on y: (" +
                              (m_programs.dir() / "bin/x-terminal-emulator").string() +
                              " ended with code 4)");
    const std::string failedStart = m_programs.started("x-terminal-emulator", 2);
    const std::string failedRest = failedStart.substr(failedStart.rfind(head) + head.size());
    EXPECT_FALSE(std::filesystem::exists(failedRest.substr(0, failedRest.find(' ')))) << failedStart;
    ::unsetenv("FAKE_EXIT");

    // Mounted by the desktop: the terminal starts in that folder.
    const auto runtime = m_programs.dir() / "run";
    const auto mount = runtime / "gvfs" / ("smb-share:server=" + server(1) + ",share=backup");
    std::filesystem::create_directories(mount);
    ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    EXPECT_TRUE(shares::shell().openTerminal("Y:"));
    const std::string both = m_programs.started("x-terminal-emulator", 3);
    EXPECT_NE(both.find(mount.string() + "||\n"), std::string::npos) << both;
    ::unsetenv("XDG_RUNTIME_DIR");

    // A terminal that runs the session: smbclient reads the password from the descriptor, and the file is
    // gone before it runs.
    ::unsetenv("XDG_RUNTIME_DIR");
    const auto bin = m_programs.dir() / "bin";
    const auto runs = bin / "runs-terminal";
    std::ofstream(runs) << "#!/bin/sh\nshift\nexec \"$@\"\n";
    const auto client = bin / "smbclient";
    const auto seen = m_programs.dir() / "smbclient.seen";
    // A folder of the test's own, so that other tests' files in /tmp are not listed; the record is moved
    // into place whole, so that it is never read half-written.
    const auto temp = m_programs.dir() / "tmp";
    std::filesystem::create_directories(temp);
    std::ofstream(client) << "#!/bin/sh\n{ printf '%s|' \"$PASSWD\" \"$*\"; cat <&\"$PASSWD_FD\"; ls "
                             "\"$TMPDIR\"/quorix-share-* "
                             "2>/dev/null; } > \""
                          << seen.string() << ".part\"; mv -f \"" << seen.string() << ".part\" \""
                          << seen.string() << "\"\nexit 0\n";
    std::filesystem::permissions(runs, std::filesystem::perms::owner_all);
    std::filesystem::permissions(client, std::filesystem::perms::owner_all);
    ::setenv("TERMINAL", runs.c_str(), 1);
    ::setenv("TMPDIR", temp.c_str(), 1);
    EXPECT_TRUE(shares::shell().openTerminal("Y:"));
    std::string seenText;
    for (int i = 0; i < 400 && seenText.find(share(1).password) == std::string::npos; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
        std::ifstream in(seen);
        seenText.assign(std::istreambuf_iterator<char>(in), {});
    }
    EXPECT_EQ(seenText,
              "|//" + server(1) + "/backup -p " + port() + " -U " + share(1).user + "|" + share(1).password);
    ::unsetenv("TERMINAL");
    ::unsetenv("TMPDIR");

    m_programs.usePrograms(false);
    EXPECT_FALSE(shares::shell().openTerminal("Y:"));
    EXPECT_EQ(lines(3).back(),
              "Cannot open a terminal on Y: (no terminal program found: x-terminal-emulator, "
              "gnome-terminal, konsole, xfce4-terminal, xterm)");
}
