// The file layer on local paths: listing by patterns, copy with overwrite through a temporary name that the
// lists never show, rename that refuses an existing name.

#include "core/shares/FileAccess.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;
using quorix::Outcome;
using quorix::shares::files;

namespace {

class LocalFiles : public ::testing::Test {
protected:
    void SetUp() override {
        m_dir = fs::temp_directory_path() / ("quorix-local-" + std::to_string(::getpid()));
        fs::remove_all(m_dir);
        fs::create_directories(m_dir / "a");
        fs::create_directories(m_dir / "b");
    }
    void TearDown() override {
        fs::permissions(m_dir / "b", fs::perms::owner_all, fs::perm_options::add);
        fs::remove_all(m_dir);
    }
    std::string path(const std::string &rel) const { return (m_dir / rel).string(); }
    static void write(const std::string &p, const std::string &text) {
        std::ofstream(p, std::ios::binary) << text;
    }
    static std::string read(const std::string &p) {
        std::ifstream in(p, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    fs::path m_dir;
};

} // namespace

TEST_F(LocalFiles, ListsFilesByPatternsSortedIgnoringCase) {
    for (auto name : {"b.BAK", "a.bak", "c.mdf", "d.LDF", "e.txt"})
        write(path("a/") + name, "x");
    fs::create_directories(m_dir / "a" / "dir.bak");
    std::vector<std::string> names;
    ASSERT_TRUE(files().list(path("a"), "*.bak", names).ok());
    EXPECT_EQ(names, (std::vector<std::string>{"a.bak", "b.BAK"}));
    ASSERT_TRUE(files().list(path("a") + "\\", "*.mdf;*.ldf", names).ok());
    EXPECT_EQ(names, (std::vector<std::string>{"c.mdf", "d.LDF"}));

    auto missing = files().list(path("nope"), "*.bak", names);
    EXPECT_FALSE(missing.ok());
    EXPECT_EQ(missing.error(), "Cannot list " + path("nope") + ": folder not found");
}

TEST_F(LocalFiles, CopyOverwritesAndDropsTrailingBlanksOfNames) {
    write(path("a/D.BAK"), "new contents");
    write(path("b/D.BAK"), "old");
    auto result = files().copy(path("a/D.BAK  "), path("b/D.BAK  "));
    ASSERT_TRUE(result.ok()) << result.error();
    EXPECT_EQ(read(path("b/D.BAK")), "new contents");
    EXPECT_EQ(std::distance(fs::directory_iterator(m_dir / "b"), fs::directory_iterator()), 1);
}

TEST_F(LocalFiles, FailedCopyNamesThePathAndLeavesTargetAlone) {
    write(path("b/D.BAK"), "old");
    auto missing = files().copy(path("a/D.BAK  "), path("b/D.BAK"));
    EXPECT_FALSE(missing.ok());
    EXPECT_EQ(missing.error(), "Cannot read " + path("a/D.BAK  ") + ": file not found");
    EXPECT_EQ(read(path("b/D.BAK")), "old");

    write(path("a/D.BAK"), "x");
    auto noFolder = files().copy(path("a/D.BAK"), path("c/D.BAK"));
    EXPECT_FALSE(noFolder.ok());
    EXPECT_EQ(noFolder.error(), "Cannot write " + path("c/D.BAK") + ": folder not found");

    auto folder = files().copy(path("a"), path("b/x"));
    EXPECT_FALSE(folder.ok());
    EXPECT_NE(folder.error().find("not a file"), std::string::npos) << folder.error();

    if (::geteuid() != 0) { // root writes anywhere
        fs::permissions(m_dir / "b", fs::perms::owner_write, fs::perm_options::remove);
        auto denied = files().copy(path("a/D.BAK"), path("b/E.BAK"));
        EXPECT_EQ(denied.error(), "Cannot write " + path("b/E.BAK") + ": access denied");
    }
}

TEST_F(LocalFiles, RenameRefusesAnExistingName) {
    write(path("a/Billing_20150312.bak"), "1");
    write(path("a/Billing_20160101.bak"), "2");
    ASSERT_TRUE(files().rename(path("a/Billing_20150312.bak"), path("a/Billing.bak")).ok());
    auto clash = files().rename(path("a/Billing_20160101.bak"), path("a/Billing.bak"));
    EXPECT_FALSE(clash.ok());
    EXPECT_EQ(clash.error(), "Cannot rename " + path("a/Billing_20160101.bak") + " to " +
                                 path("a/Billing.bak") + ": file already exists");
    EXPECT_EQ(read(path("a/Billing.bak")), "1");
    EXPECT_EQ(read(path("a/Billing_20160101.bak")), "2");

    auto gone = files().rename(path("a/none.bak"), path("a/x.bak"));
    EXPECT_EQ(gone.error(), "Cannot rename " + path("a/none.bak") + ": file not found");

    auto unmapped = files().rename("q:\\MIR\\a.bak", "q:\\MIR\\b.bak");
    EXPECT_EQ(unmapped.error(), "Cannot rename q:\\MIR\\a.bak: drive Q: not mapped");
}

TEST_F(LocalFiles, ACopysTemporaryFileIsNeverListedAndTheNextCopyRemovesWhatAKilledOneLeft) {
    write(path("a/Billing.BAK"), "new backup");
    write(path("b/Billing.BAK"), "old backup");
    write(path("b/Notes.tmp"), "a file of the user's own");
    // What killed copies of a backup and of a data file left behind.
    write(path("b/Billing.BAK.~quorix-copy.tmp"), "half a backup");
    write(path("b/Billing.MDF.~QUORIX-COPY.TMP"), "half a data file");
    const std::vector<std::pair<std::string, std::vector<std::string>>> cases = {
        {"*.bak", {"Billing.BAK"}},
        {"*.mdf;*.ldf", {}},
        {"*.tmp", {"Notes.tmp"}},
        {"*", {"Billing.BAK", "Notes.tmp"}},
    };
    std::vector<std::string> names;
    for (const auto &[pattern, expected] : cases) {
        ASSERT_TRUE(files().list(path("b"), pattern, names).ok());
        EXPECT_EQ(names, expected) << pattern;
    }

    auto result = files().copy(path("a/Billing.BAK"), path("b/Billing.BAK"));
    ASSERT_TRUE(result.ok()) << result.error();
    EXPECT_EQ(read(path("b/Billing.BAK")), "new backup");
    EXPECT_FALSE(fs::exists(m_dir / "b/Billing.BAK.~quorix-copy.tmp"));
    EXPECT_TRUE(fs::exists(m_dir / "b/Billing.MDF.~QUORIX-COPY.TMP")) << "only the same file's is removed";

    // Two copies of one file at once: the first reads from a pipe and is still writing when the second
    // starts, which is refused and leaves the first to finish.
    ASSERT_EQ(::mkfifo(path("a/Pipe.BAK").c_str(), 0600), 0);
    Outcome first;
    std::thread running([&] { first = files().copy(path("a/Pipe.BAK"), path("b/Billing.BAK")); });
    {
        std::ofstream pipe(path("a/Pipe.BAK"), std::ios::binary);
        for (int i = 0; i < 1000 && !fs::exists(m_dir / "b/Billing.BAK.~quorix-copy.tmp"); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        auto second = files().copy(path("a/Billing.BAK"), path("b/Billing.BAK"));
        EXPECT_EQ(second.error(),
                  "Cannot write " + path("b/Billing.BAK") +
                      ": another copy of this file is running (Billing.BAK.~quorix-copy.tmp is in "
                      "use)");
        pipe << "the first copy's backup";
    }
    running.join();
    ASSERT_TRUE(first.ok()) << first.error();
    EXPECT_EQ(read(path("b/Billing.BAK")), "the first copy's backup");

    // A leftover that cannot be removed is named, and the target keeps its contents.
    fs::create_directories(m_dir / "b/Billing.BAK.~quorix-copy.tmp");
    result = files().copy(path("a/Billing.BAK"), path("b/Billing.BAK"));
    EXPECT_EQ(result.error(),
              "Cannot write " + path("b/Billing.BAK") +
                  ": Billing.BAK.~quorix-copy.tmp, left by an earlier copy, cannot be removed: not a "
                  "file");
    EXPECT_EQ(read(path("b/Billing.BAK")), "the first copy's backup");
}
