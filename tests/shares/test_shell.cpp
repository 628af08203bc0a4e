// The shell on POSIX desktops: the file manager on a share, a terminal on a mapped drive, and one clear log
// line when a program is missing or fails.

#include "ShellRecorder.h"
#include "SmbTestBase.h"
#include "core/shares/ModNetUse.h"

#include <mutex>

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

    // Not mounted on the desktop: a share session in the terminal, the password in its environment only.
    EXPECT_TRUE(shares::shell().openTerminal("y:"));
    const std::string session = m_programs.started("x-terminal-emulator");
    EXPECT_NE(session.find("|-e /usr/bin/smbclient //" + server(1) + "/backup -p " + port() + " -U " +
                           share(1).user + "|" + share(1).password + "\n"),
              std::string::npos)
        << session;

    // Mounted by the desktop: the terminal starts in that folder.
    const auto runtime = m_programs.dir() / "run";
    const auto mount = runtime / "gvfs" / ("smb-share:server=" + server(1) + ",share=backup");
    std::filesystem::create_directories(mount);
    ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    EXPECT_TRUE(shares::shell().openTerminal("Y:"));
    const std::string both = m_programs.started("x-terminal-emulator", 2);
    EXPECT_NE(both.find(mount.string() + "||\n"), std::string::npos) << both;
    ::unsetenv("XDG_RUNTIME_DIR");

    m_programs.usePrograms(false);
    EXPECT_FALSE(shares::shell().openTerminal("Y:"));
    EXPECT_EQ(lines(2).back(),
              "Cannot open a terminal on Y: (no terminal program found: x-terminal-emulator, "
              "gnome-terminal, konsole, xfce4-terminal, xterm)");
}
