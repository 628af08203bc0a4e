// The audit journal on its own: the line of each outcome to the letter, the file of the day for its owner
// only in a folder made for its owner, lines appended in order, the files older than the days kept removed
// (and nothing else), and a journal that cannot be written: told once, and the work goes on. The journal's
// own thread writes the lines: a record returns while that write is held, and flush() waits for it.

#include "core/audit/Journal.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cstdio>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace quorix;

namespace {

class RecordingLog : public LogSink {
public:
    void LogLine(const QString &text) const override { lines << text; }
    void LogError(const QString &text) const override { lines << QStringLiteral("error: ") + text; }
    mutable QStringList lines;
};

const QString kConnection = QStringLiteral(
    "Provider=SQLOLEDB;Data Source=db1.ward.local,1433;UID=sa;Initial Catalog=master;Password=pw;x");

SentStatement statement(const QString &sql) {
    SentStatement s;
    s.time = QDateTime(QDate(2026, 12, 9), QTime(8, 15, 2, 45), Qt::UTC);
    s.session = QStringLiteral("Main");
    s.connectionString = kConnection;
    s.database = QStringLiteral("Billing");
    s.sql = sql;
    s.rows = 3;
    s.milliseconds = 12;
    return s;
}

QStringList linesOf(const QString &path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList out = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    if (!out.isEmpty() && out.last().isEmpty())
        out.removeLast();
    return out;
}

mode_t modeOf(const QString &path) {
    struct stat st {};
    ::stat(QFile::encodeName(path).constData(), &st);
    return st.st_mode & 0777;
}

class JournalFiles : public ::testing::Test {
protected:
    void SetUp() override {
        journal.setFolder(dir.path() + QStringLiteral("/journal"));
        journal.setClock([this] { return now; });
        journal.setControl([this] { return control; });
    }
    QTemporaryDir dir;
    RecordingLog log;
    Journal journal{log};
    QDateTime now = QDateTime(QDate(2026, 12, 9), QTime(8, 15, 2, 45), Qt::UTC);
    QString control = QStringLiteral("cmdBackup(0)");
};

} // namespace

TEST(JournalLine, EachOutcomeToTheLetter) {
    const std::string doneLine =
        R"j({"time":"2026-12-09T08:15:02.045Z","user":"ann","workstation":"ws-07","session":"Main",)j"
        R"j("server":"db1.ward.local,1433","login":"sa","database":"Billing","control":"cmdBackup(0)",)j"
        R"j("statement":"CREATE LOGIN m WITH PASSWORD = '********'\r\n\"x\"\\","outcome":"done",)j"
        R"j("rows":3,"duration_ms":12})j";
    SentStatement done = statement(QStringLiteral("CREATE LOGIN m WITH PASSWORD = 'S3cret'\r\n\"x\"\\"));
    EXPECT_EQ(
        Journal::lineOf(done, QStringLiteral("ann"), QStringLiteral("ws-07"), QStringLiteral("cmdBackup(0)"))
            .toStdString(),
        doneLine);

    const std::string failedLine =
        R"j({"time":"2026-12-09T08:15:02.045Z","user":"ann","workstation":"ws-07","session":"Main",)j"
        R"j("server":"db1.ward.local,1433","login":"sa","database":"Billing","control":"",)j"
        R"j("statement":"BACKUP Log  Billing TO DISK = 'p:\\b.BAK'","outcome":"failed",)j"
        R"j("error_number":4208,"error":"Not allowed.","rows":null,"duration_ms":12})j";
    SentStatement failed = statement(QStringLiteral("BACKUP Log  Billing TO DISK = 'p:\\b.BAK'"));
    failed.failedWith(DbError({{QStringLiteral("01000"), 0, QStringLiteral("progress")},
                               {QStringLiteral("42000"), 4208, QStringLiteral("Not allowed.")},
                               {QStringLiteral("42000"), 3013, QStringLiteral("Terminating.")}}));
    failed.rows = -1;
    EXPECT_EQ(
        Journal::lineOf(failed, QStringLiteral("ann"), QStringLiteral("ws-07"), QString()).toStdString(),
        failedLine);

    const std::string heldLine =
        R"j({"time":"2026-12-09T08:15:02.045Z","user":"ann","workstation":"ws-07","session":"Main",)j"
        R"j("server":"db1.ward.local,1433","login":"sa","database":"","control":"cmdDrop",)j"
        R"j("statement":"DROP TABLE t","outcome":"not sent","rows":null,"duration_ms":0})j";
    SentStatement held = statement(QStringLiteral("DROP TABLE t"));
    held.result = SentStatement::Result::NotSent;
    held.database.clear();
    held.rows = -1;
    held.milliseconds = 0;
    held.time = held.time.toLocalTime(); // written in UTC whatever it was given in
    EXPECT_EQ(Journal::lineOf(held, QStringLiteral("ann"), QStringLiteral("ws-07"), QStringLiteral("cmdDrop"))
                  .toStdString(),
              heldLine);
}

TEST(JournalLine, AWindowsAuthenticationSessionNamesItsLoginSoNotTheStringsUid) {
    // The connection string still carries the login box's "sa"; the driver's integrated login sends none.
    SentStatement s = statement(QStringLiteral("DROP TABLE t"));
    s.windowsAuthentication = true;
    const QString line = Journal::lineOf(s, QStringLiteral("ann"), QStringLiteral("ws-07"), QString());
    EXPECT_TRUE(line.contains(
        QStringLiteral(R"j("server":"db1.ward.local,1433","login":"Windows authentication",)j")))
        << line.toStdString();
    EXPECT_FALSE(line.contains(QStringLiteral("\"sa\""))) << line.toStdString();
}

TEST(JournalLine, ControlCharactersAreEscaped) {
    SentStatement s = statement(QString::fromUtf8("SELECT 'a\tb\x01' -- Zoë"));
    const QString line = Journal::lineOf(s, QString(), QString(), QString());
    const QString expected = QString::fromUtf8(R"j("statement":"SELECT 'a\tb\u0001' -- Zoë")j");
    EXPECT_TRUE(line.contains(expected)) << line.toStdString();
}

TEST_F(JournalFiles, TheFileOfTheDayIsForItsOwnerInAFolderMadeForItsOwner) {
    journal.record(statement(QStringLiteral("BACKUP DATABASE Billing TO DISK = 'a'")));
    control = QStringLiteral("cmdRestore(1)");
    journal.record(statement(QStringLiteral("RESTORE DATABASE Billing FROM DISK = 'a'")));
    ASSERT_TRUE(journal.flush());
    const QString file = dir.path() + QStringLiteral("/journal/journal-2026-12-09.jsonl");
    EXPECT_EQ(journal.fileOf(QDate(2026, 12, 9)), file);
    const QStringList lines = linesOf(file);
    ASSERT_EQ(lines.size(), 2);
    const QString backup =
        QStringLiteral(R"j("control":"cmdBackup(0)","statement":"BACKUP DATABASE Billing)j");
    const QString restore =
        QStringLiteral(R"j("control":"cmdRestore(1)","statement":"RESTORE DATABASE Billing)j");
    EXPECT_TRUE(lines[0].contains(backup)) << lines[0].toStdString();
    EXPECT_TRUE(lines[1].contains(restore)) << lines[1].toStdString();
    const QString who = QStringLiteral(R"j("user":"%1","workstation":"%2")j")
                            .arg(Journal::systemUser(), Journal::workstation());
    EXPECT_TRUE(lines[0].contains(who)) << lines[0].toStdString();
    EXPECT_EQ(modeOf(file), 0600u);
    EXPECT_EQ(modeOf(dir.path() + QStringLiteral("/journal")), 0700u);
    EXPECT_TRUE(log.lines.isEmpty());

    // The next day has a file of its own.
    now = now.addDays(1);
    journal.record(statement(QStringLiteral("DBCC SHRINKFILE (2)")));
    ASSERT_TRUE(journal.flush());
    EXPECT_EQ(linesOf(dir.path() + QStringLiteral("/journal/journal-2026-12-10.jsonl")).size(), 1);
    EXPECT_EQ(linesOf(file).size(), 2);
}

TEST_F(JournalFiles, AFolderThatExistsKeepsItsPermissions) {
    const QString shared = dir.path() + QStringLiteral("/collected");
    ASSERT_TRUE(QDir().mkpath(shared));
    ::chmod(QFile::encodeName(shared).constData(), 0775);
    journal.setFolder(shared);
    journal.record(statement(QStringLiteral("TRUNCATE TABLE t")));
    ASSERT_TRUE(journal.flush());
    EXPECT_EQ(modeOf(shared), 0775u);
    EXPECT_EQ(modeOf(shared + QStringLiteral("/journal-2026-12-09.jsonl")), 0600u);
}

TEST_F(JournalFiles, FilesOlderThanTheDaysKeptAreRemovedAtTheFirstLineOfTheDay) {
    const QString folder = dir.path() + QStringLiteral("/journal");
    ASSERT_TRUE(QDir().mkpath(folder));
    const QStringList names{"journal-2026-09-09.jsonl",
                            "journal-2026-09-10.jsonl",
                            "journal-2026-12-08.jsonl",
                            "journal-2025-01-01.jsonl",
                            "notes.txt",
                            "journal-2020-01-01.jsonl.bak",
                            "journal-2020-1-011.jsonl",
                            "old-journal-2020-01-01.jsonl"};
    for (const QString &n : names) {
        QFile f(folder + QLatin1Char('/') + n);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    journal.setKeepDays(90); // 2026-12-09 less 90 days: 2026-09-10 is the oldest day kept
    journal.record(statement(QStringLiteral("DROP TABLE t")));
    ASSERT_TRUE(journal.flush());
    EXPECT_EQ(QDir(folder).entryList(QDir::Files, QDir::Name),
              (QStringList{"journal-2020-01-01.jsonl.bak", "journal-2020-1-011.jsonl",
                           "journal-2026-09-10.jsonl", "journal-2026-12-08.jsonl", "journal-2026-12-09.jsonl",
                           "notes.txt", "old-journal-2020-01-01.jsonl"}));

    // Fewer days kept: the next day's first line removes what has grown too old meanwhile.
    journal.setKeepDays(1);
    now = now.addDays(1);
    journal.record(statement(QStringLiteral("DROP TABLE u")));
    ASSERT_TRUE(journal.flush());
    EXPECT_EQ(
        QDir(folder).entryList(QDir::Files, QDir::Name),
        (QStringList{"journal-2020-01-01.jsonl.bak", "journal-2020-1-011.jsonl", "journal-2026-12-09.jsonl",
                     "journal-2026-12-10.jsonl", "notes.txt", "old-journal-2020-01-01.jsonl"}));

    // 0 keeps everything.
    journal.setKeepDays(0);
    now = now.addDays(30);
    journal.record(statement(QStringLiteral("DROP TABLE v")));
    ASSERT_TRUE(journal.flush());
    EXPECT_EQ(QDir(folder).entryList(QDir::Files).size(), 7);
}

TEST_F(JournalFiles, AJournalThatCannotBeWrittenIsToldOnceAndNothingFails) {
    // A file where the folder should be (the tests run as root, whom a read-only folder does not stop).
    const QString blocked = dir.path() + QStringLiteral("/blocked");
    {
        QFile f(blocked);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    journal.setFolder(blocked + QStringLiteral("/journal"));
    journal.record(statement(QStringLiteral("DROP TABLE t")));
    journal.record(statement(QStringLiteral("DROP TABLE u")));
    ASSERT_TRUE(journal.flush());
    ASSERT_EQ(log.lines.size(), 1);
    EXPECT_EQ(log.lines[0].toStdString(), "The journal cannot be written (cannot make the folder " +
                                              (blocked + QStringLiteral("/journal")).toStdString() +
                                              "); the work goes on without it.");

    // The day's file taken by a folder: told once for the new folder set.
    const QString folder = dir.path() + QStringLiteral("/taken");
    ASSERT_TRUE(QDir().mkpath(folder + QStringLiteral("/journal-2026-12-09.jsonl")));
    journal.setFolder(folder);
    journal.record(statement(QStringLiteral("DROP TABLE t")));
    journal.record(statement(QStringLiteral("DROP TABLE u")));
    ASSERT_TRUE(journal.flush());
    ASSERT_EQ(log.lines.size(), 2);
    EXPECT_TRUE(log.lines[1].startsWith(QStringLiteral("The journal cannot be written (") + folder +
                                        QStringLiteral("/journal-2026-12-09.jsonl: ")))
        << log.lines[1].toStdString();
}

TEST_F(JournalFiles, ARecordReturnsWhileTheWriteIsHeldAndFlushWaitsForIt) {
    // The day's file is a pipe: its write is held until the test opens the reading end.
    const QString folder = dir.path() + QStringLiteral("/journal");
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString file = folder + QStringLiteral("/journal-2026-12-09.jsonl");
    ASSERT_EQ(::mkfifo(QFile::encodeName(file).constData(), 0600), 0);

    journal.record(statement(QStringLiteral("BACKUP DATABASE Billing TO DISK = 'a'")));
    journal.record(statement(QStringLiteral("BACKUP Log  Billing TO DISK = 'b'")));
    // Both returned with nothing read yet: the lines wait on the journal's thread.

    QStringList lines;
    while (lines.size() < 2) { // each append opens the pipe anew
        FILE *reader = std::fopen(QFile::encodeName(file).constData(), "r");
        ASSERT_NE(reader, nullptr);
        char buffer[4096];
        while (std::fgets(buffer, sizeof buffer, reader))
            lines << QString::fromUtf8(buffer);
        std::fclose(reader);
    }
    ASSERT_TRUE(journal.flush());
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(
        lines[0].contains(QStringLiteral(R"j("statement":"BACKUP DATABASE Billing TO DISK = 'a'")j")));
    EXPECT_TRUE(lines[1].contains(QStringLiteral(R"j("statement":"BACKUP Log  Billing TO DISK = 'b'")j")));
    EXPECT_TRUE(log.lines.isEmpty());
}
