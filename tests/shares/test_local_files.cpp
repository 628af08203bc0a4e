// The file layer on local paths: listing by patterns, copy with overwrite through a temporary name, rename
// that refuses an existing name.

#include "shares/FileAccess.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace fs = std::filesystem;
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
    ASSERT_TRUE(files().list(path("a"), "*.bak", names).ok);
    EXPECT_EQ(names, (std::vector<std::string>{"a.bak", "b.BAK"}));
    ASSERT_TRUE(files().list(path("a") + "\\", "*.mdf;*.ldf", names).ok);
    EXPECT_EQ(names, (std::vector<std::string>{"c.mdf", "d.LDF"}));

    auto missing = files().list(path("nope"), "*.bak", names);
    EXPECT_FALSE(missing.ok);
    EXPECT_EQ(missing.error, "Cannot list " + path("nope") + ": folder not found");
}

TEST_F(LocalFiles, CopyOverwritesAndDropsTrailingBlanksOfNames) {
    write(path("a/D.BAK"), "new contents");
    write(path("b/D.BAK"), "old");
    auto result = files().copy(path("a/D.BAK  "), path("b/D.BAK  "));
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_EQ(read(path("b/D.BAK")), "new contents");
    EXPECT_EQ(std::distance(fs::directory_iterator(m_dir / "b"), fs::directory_iterator()), 1);
}

TEST_F(LocalFiles, FailedCopyNamesThePathAndLeavesTargetAlone) {
    write(path("b/D.BAK"), "old");
    auto missing = files().copy(path("a/D.BAK  "), path("b/D.BAK"));
    EXPECT_FALSE(missing.ok);
    EXPECT_EQ(missing.error, "Cannot read " + path("a/D.BAK  ") + ": file not found");
    EXPECT_EQ(read(path("b/D.BAK")), "old");

    write(path("a/D.BAK"), "x");
    auto noFolder = files().copy(path("a/D.BAK"), path("c/D.BAK"));
    EXPECT_FALSE(noFolder.ok);
    EXPECT_EQ(noFolder.error, "Cannot write " + path("c/D.BAK") + ": folder not found");

    auto folder = files().copy(path("a"), path("b/x"));
    EXPECT_FALSE(folder.ok);
    EXPECT_NE(folder.error.find("not a file"), std::string::npos) << folder.error;

    if (::geteuid() != 0) { // root writes anywhere
        fs::permissions(m_dir / "b", fs::perms::owner_write, fs::perm_options::remove);
        auto denied = files().copy(path("a/D.BAK"), path("b/E.BAK"));
        EXPECT_EQ(denied.error, "Cannot write " + path("b/E.BAK") + ": access denied");
    }
}

TEST_F(LocalFiles, RenameRefusesAnExistingName) {
    write(path("a/Billing_20150312.bak"), "1");
    write(path("a/Billing_20160101.bak"), "2");
    ASSERT_TRUE(files().rename(path("a/Billing_20150312.bak"), path("a/Billing.bak")).ok);
    auto clash = files().rename(path("a/Billing_20160101.bak"), path("a/Billing.bak"));
    EXPECT_FALSE(clash.ok);
    EXPECT_EQ(clash.error, "Cannot rename " + path("a/Billing_20160101.bak") + " to " +
                               path("a/Billing.bak") + ": file already exists");
    EXPECT_EQ(read(path("a/Billing.bak")), "1");
    EXPECT_EQ(read(path("a/Billing_20160101.bak")), "2");

    auto gone = files().rename(path("a/none.bak"), path("a/x.bak"));
    EXPECT_EQ(gone.error, "Cannot rename " + path("a/none.bak") + ": file not found");

    auto unmapped = files().rename("q:\\MIR\\a.bak", "q:\\MIR\\b.bak");
    EXPECT_EQ(unmapped.error, "Cannot rename q:\\MIR\\a.bak: drive Q: not mapped");
}
