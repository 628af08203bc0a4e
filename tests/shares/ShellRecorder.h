#pragma once

// Stand-ins for the desktop's programs, put first on PATH: each records how it was started (arguments,
// working folder, PASSWD) in a file and ends with the code in FAKE_EXIT. The shares layer starts them as it
// would start the real ones. TMPDIR points into the recorder's folder, so that a password file handed to a
// stand-in terminal (which runs no session to remove it) goes when the recorder does.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <unistd.h>

namespace quorix::testsupport {

class ShellRecorder {
public:
    ShellRecorder() {
        m_dir = std::filesystem::temp_directory_path() / ("quorix-shell-" + std::to_string(::getpid()));
        std::filesystem::remove_all(m_dir);
        std::filesystem::create_directories(m_dir / "bin");
        std::filesystem::create_directories(m_dir / "empty");
        for (const char *name : {"xdg-open", "x-terminal-emulator"}) {
            const auto path = m_dir / "bin" / name;
            std::ofstream(path) << "#!/bin/sh\n"
                                   "printf '%s|%s|%s\\n' \"$PWD\" \"$*\" \"$PASSWD\" >> \""
                                << (m_dir / name).string() << ".log\"\n"
                                << "exit ${FAKE_EXIT:-0}\n";
            std::filesystem::permissions(path, std::filesystem::perms::owner_all);
        }
        m_oldPath = std::getenv("PATH") ? std::getenv("PATH") : "";
        if (const char *temp = std::getenv("TMPDIR"))
            m_oldTemp = temp;
        std::filesystem::create_directories(m_dir / "tmp");
        ::setenv("TMPDIR", (m_dir / "tmp").c_str(), 1);
        usePrograms(true);
    }
    ~ShellRecorder() {
        ::setenv("PATH", m_oldPath.c_str(), 1);
        ::unsetenv("FAKE_EXIT");
        ::unsetenv("TERMINAL");
        if (m_oldTemp)
            ::setenv("TMPDIR", m_oldTemp->c_str(), 1);
        else
            ::unsetenv("TMPDIR");
        std::filesystem::remove_all(m_dir);
    }
    // With false no program is found at all.
    void usePrograms(bool on) {
        const std::string path =
            on ? (m_dir / "bin").string() + ":/usr/bin:/bin" : (m_dir / "empty").string();
        ::setenv("PATH", path.c_str(), 1);
        ::unsetenv("TERMINAL");
    }
    // The lines "folder|arguments|PASSWD" of every start of the program, waiting a while for the first.
    std::string started(const std::string &name, int minLines = 1) const {
        const auto log = m_dir / (name + ".log");
        for (int i = 0; i < 200; ++i) {
            std::ifstream in(log);
            std::stringstream s;
            s << in.rdbuf();
            const std::string text = s.str();
            if (std::count(text.begin(), text.end(), '\n') >= minLines)
                return text;
            std::this_thread::sleep_for(std::chrono::milliseconds(25));
        }
        return {};
    }
    std::filesystem::path dir() const { return m_dir; }

private:
    std::filesystem::path m_dir;
    std::string m_oldPath;
    std::optional<std::string> m_oldTemp;
};

} // namespace quorix::testsupport
