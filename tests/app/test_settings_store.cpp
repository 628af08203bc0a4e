#include "core/settings/SettingsStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#endif

using quorix::SettingsStore;

namespace {

void writeFile(const QString &path, const QByteArray &bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

QByteArray fileBytes(const QString &path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(no file)");
}

} // namespace

TEST(SettingsStore, KeepsAnyTextExactlyAndGivesDefaultsForMissingKeys) {
    QTemporaryDir dir;
    const QString path = dir.filePath("quorix-dbtools.ini");
    const QStringList texts = {
        "p:\\backup\\MIR\\", "a, b",       "  padded  ", "@Variant(x)",    "line1\r\nline2\r\n",
        "x=y;[z]",           "\"quoted\"", "Ünïcödé",    "#not a comment", "",
    };
    {
        SettingsStore store;
        store.openFile(path);
        for (int i = 0; i < texts.size(); ++i)
            ASSERT_TRUE(store.write("MAIN", QString("k%1").arg(i), texts[i]));
    }
    SettingsStore again;
    again.openFile(path);
    EXPECT_TRUE(again.openProblem().isEmpty());
    for (int i = 0; i < texts.size(); ++i)
        EXPECT_EQ(again.read("MAIN", QString("k%1").arg(i), "default"), texts[i]) << i;
    EXPECT_EQ(again.read("MAIN", "absent", "administrator"), "administrator");
    EXPECT_EQ(again.read("Other", "k0", "d"), "d");
}

TEST(SettingsStore, FollowsXdgConfigHomeAndUsesTheApplicationName) {
    QTemporaryDir dir;
    qputenv("XDG_CONFIG_HOME", dir.path().toUtf8());
    SettingsStore store;
    store.open("quorix-dbtools");
    EXPECT_EQ(store.location(), dir.filePath("quorix-dbtools.ini"));
    store.write("MIR", "txtServer1", "127.0.0.3");
    QFile f(dir.filePath("quorix-dbtools.ini"));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray ini = f.readAll();
    EXPECT_TRUE(ini.contains("[MIR]")) << ini.toStdString();
    EXPECT_TRUE(ini.contains("txtServer1=127.0.0.3")) << ini.toStdString();
}

TEST(SettingsStore, SectionKeysCanBeListedAndRemoved) {
    QTemporaryDir dir;
    SettingsStore store;
    store.openFile(dir.filePath("s.ini"));
    store.write("Drives", "X", "smb://a/backup");
    store.write("Drives", "XUser", "administrator");
    store.write("MAIN", "txtBackupDrive", "p:\\");
    EXPECT_EQ(store.keys("Drives"), QStringList({"X", "XUser"}));
    EXPECT_TRUE(store.removeSection("Drives"));
    EXPECT_TRUE(store.keys("Drives").isEmpty());
    EXPECT_EQ(store.read("MAIN", "txtBackupDrive"), "p:\\");
}

TEST(SettingsStore, AFileThatCannotBeParsedStartsEmptyAndIsKeptAside) {
    QByteArray randomBytes(4096, '\0');
    QRandomGenerator noise(12);
    for (char &c : randomBytes)
        c = char(noise.bounded(256));
    const struct {
        const char *name;
        QByteArray bytes;
    } damaged[] = {
        {"unclosed section", "[MIR\ntxtServer0=old\n"},
        {"random bytes", randomBytes},
        // What a crash during a write can leave behind: the text, then a block of zeros.
        {"valid text followed by NUL bytes", QByteArray("[MIR]\ntxtServer0=old\n") + QByteArray(512, '\0')},
        // A serialized value claiming 29 GB: reading it would try to allocate them.
        {"a serialized variant", "[MIR]\ntxtServer0=old\nvariant=@Variant(\\0\\0\\0\\t7f\\0\\0\\0\\x18Q)\n"},
        // The same after a line that ends in a lone CR, which the settings reader takes for a line end.
        {"a serialized variant after a CR",
         "[MIR]\ntxtServer0=old\rvariant=@Variant(\\0\\0\\0\\t7f\\0\\0\\0\\x18Q)\n"},
    };
    for (const auto &file : damaged) {
        SCOPED_TRACE(file.name);
        QTemporaryDir dir;
        const QString path = dir.filePath("q.ini");
        writeFile(path, file.bytes);
        SettingsStore store;
        QStringList problems;
        store.setProblemHandler([&](const QString &p) { problems << p; });
        store.openFile(path);
        EXPECT_EQ(store.openProblem(),
                  QString("Settings file %1 could not be read; starting with the defaults "
                          "(the file was kept as %1.bad)")
                      .arg(path));
        EXPECT_EQ(store.read("MIR", "txtServer0", "none"), "none");
        EXPECT_TRUE(store.keys("MIR").isEmpty());

        // The first write makes a clean file of its own and reports nothing; the old bytes stay untouched.
        EXPECT_TRUE(store.write("MIR", "txtServer0", "new"));
        EXPECT_TRUE(problems.isEmpty()) << problems.join('\n').toStdString();
        EXPECT_EQ(fileBytes(path), QByteArray("[MIR]\ntxtServer0=new\n"));
        EXPECT_EQ(fileBytes(path + ".bad"), file.bytes);

        SettingsStore again;
        again.openFile(path);
        EXPECT_TRUE(again.openProblem().isEmpty());
        EXPECT_EQ(again.read("MIR", "txtServer0"), "new");
    }
}

TEST(SettingsStore, AFileThatCannotBeReadStartsEmpty) {
    QTemporaryDir dir;
    const QString path = dir.filePath("q.ini");
    ASSERT_TRUE(QDir().mkpath(path)); // a folder where the file should be
    SettingsStore store;
    store.openFile(path);
    EXPECT_TRUE(store.openProblem().contains("could not be read"));
    EXPECT_EQ(store.read("MIR", "DB0", "x"), "x");
    EXPECT_TRUE(store.write("MIR", "DB0", "pw"));
    EXPECT_EQ(store.read("MIR", "DB0"), "pw");
}

TEST(SettingsStore, AnUnwritableLocationReportsOnceAndKeepsWorking) {
    QTemporaryDir dir;
    const QString blocker = dir.filePath("file");
    writeFile(blocker, "x"); // a file where the folder should be
    SettingsStore store;
    QStringList problems;
    store.setProblemHandler([&](const QString &p) { problems << p; });
    store.openFile(blocker + "/sub/q.ini");
    EXPECT_FALSE(store.write("MIR", "txtServer0", "a"));
    EXPECT_FALSE(store.write("MIR", "txtServer0", "ab"));
    ASSERT_EQ(problems.size(), 1);
    EXPECT_TRUE(problems[0].contains(blocker + "/sub/q.ini"));
    EXPECT_EQ(store.read("MIR", "absent", "d"), "d");
}

TEST(SettingsStore, AFileDamagedByAnotherProgramMeanwhileIsStillWrittenWithoutAReport) {
    QTemporaryDir dir;
    const QString path = dir.filePath("q.ini");
    SettingsStore store;
    QStringList problems;
    store.setProblemHandler([&](const QString &p) { problems << p; });
    store.openFile(path);
    ASSERT_TRUE(store.write("MIR", "txtServer0", "a"));
    writeFile(path, QByteArray("[MIR]\ntxtServer1=b\n") + QByteArray(64, '\0'));
    // The write re-reads the changed file, which leaves a format error behind, yet it lands.
    EXPECT_TRUE(store.write("MIR", "txtServer0", "c"));
    EXPECT_TRUE(problems.isEmpty()) << problems.join('\n').toStdString();
    EXPECT_TRUE(fileBytes(path).contains("txtServer0=c\n"));
}

#ifndef _WIN32
namespace {
mode_t modeOf(const QString &path) {
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? (st.st_mode & 07777) : 07777;
}
} // namespace

// The file holds passwords: only its owner may read it, whatever the umask or an earlier version left.
TEST(SettingsStore, TheFileAndItsKeptAsideCopyAreReadableByTheOwnerOnly) {
    const struct {
        const char *name;
        mode_t umask;
        const char *before; // existing file's bytes, or null for none
        bool keptAside;
    } cases[] = {
        {"new file, usual umask", 022, nullptr, false},
        {"new file, open umask", 000, nullptr, false},
        {"earlier file readable by all", 022, "[MIR]\ntxtServer0=old\n", false},
        {"damaged file readable by all", 022, "[MIR\n", true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        const QString path = dir.filePath("q.ini");
        if (c.before) {
            writeFile(path, c.before);
            ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0644), 0);
        }
        const mode_t old = ::umask(c.umask);
        SettingsStore store;
        store.openFile(path);
        const bool written = store.write("MIR", "txtPassword0", "secret");
        ::umask(old);
        ASSERT_TRUE(written);
        EXPECT_EQ(modeOf(path), 0600u);
        EXPECT_EQ(QFileInfo::exists(path + ".bad"), c.keptAside);
        if (c.keptAside)
            EXPECT_EQ(modeOf(path + ".bad"), 0600u);
    }
}
#endif
