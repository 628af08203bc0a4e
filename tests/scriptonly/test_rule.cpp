// What Script only lets through: the rule on batches of every kind (reads, changes, the session context,
// comments and literals that must not fool it), and the script it collects: servers, GO lines, the USE
// in front of a change, prepared statements once, file operations as comments and not done.

#include "db/ScriptOnly.h"
#include "shares/FileAccess.h"
#include "shares/Gate.h"

#include <QDate>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <fstream>

using namespace quorix;

namespace {

struct Case {
    const char *sql;
    SqlKind kind;
};

const Case kCases[] = {
    // Reads the flows need.
    {"SELECT name FROM sys.databases where database_id >= 5 order by name ", SqlKind::Read},
    {" RESTORE FILELISTONLY  FROM DISK = 'p:\\backup\\MIR\\Billing.bak' WITH FILE = 1", SqlKind::Read},
    {"restore headeronly from disk = N'x.bak'", SqlKind::Read},
    {"RESTORE LABELONLY FROM DISK = 'x.bak'", SqlKind::Read},
    {"RESTORE VERIFYONLY FROM DISK = 'x.bak'", SqlKind::Read},
    {"SELECT r.percent_complete FROM sys.dm_exec_requests r WHERE r.session_id = 52", SqlKind::Read},
    {"select top 10 * from [Billing].[dbo].[Orders] o WITH (NOLOCK) where o.[into] = 'INTO'", SqlKind::Read},
    {"SELECT CASE WHEN 1 = 1 THEN 'a' ELSE 'b' END AS x FROM t UNION ALL SELECT 'c' FROM u", SqlKind::Read},
    {"WITH c AS (SELECT id FROM t) SELECT * FROM c", SqlKind::Read},
    {"SELECT * FROM t ORDER BY id OFFSET 10 ROWS FETCH NEXT 5 ROWS ONLY", SqlKind::Read},
    {"IF EXISTS (SELECT * FROM sys.databases WHERE name = 'x') SELECT 1 ELSE SELECT 0", SqlKind::Read},
    // A cursor's steps, variables.
    {"DECLARE c CURSOR FOR SELECT id, name FROM t FOR UPDATE OF name", SqlKind::Read},
    {"OPEN c; FETCH NEXT FROM c INTO @id, @name; CLOSE c; DEALLOCATE c", SqlKind::Read},
    {"DECLARE @n int SET @n = (SELECT COUNT(*) FROM t) SELECT @n", SqlKind::Read},
    {"", SqlKind::Read},
    // Comments and literals do not count.
    {"SELECT 1 -- INSERT", SqlKind::Read},
    {"SELECT 1 /* DROP TABLE t /* nested */ still a comment */", SqlKind::Read},
    {"SELECT 'x; DROP TABLE t', N'it''s -- not a comment; DELETE'", SqlKind::Read},
    {"SELECT [DROP], \"DELETE\" FROM [we]]ird; name]", SqlKind::Read},
    // The session's context: sent, and kept for the script.
    {"USE master;", SqlKind::Context},
    {"use [Billing]", SqlKind::Context},
    {"SET IDENTITY_INSERT [dbo].[t] ON", SqlKind::Context},
    {"SET NOCOUNT ON; SELECT 1", SqlKind::Context},
    {"SET TRANSACTION ISOLATION LEVEL READ UNCOMMITTED", SqlKind::Context},
    // Changes.
    {"BACKUP DATABASE Billing TO DISK = 'p:\\backup\\MIR\\Billing.BAK'   WITH FORMAT", SqlKind::Change},
    {"RESTORE DATABASE  Billing FROM DISK = 'x.bak' With   NORECOVERY   ", SqlKind::Change},
    {"RESTORE VERIFYONLY FROM DISK = 'x.bak' WITH LOADHISTORY", SqlKind::Change},
    {"DROP DATABASE [Billing]", SqlKind::Change},
    {"ALTER DATABASE Billing SET PARTNER OFF", SqlKind::Change},
    {"TRUNCATE TABLE [dbo].[Orders]", SqlKind::Change},
    {"INSERT INTO t (id) VALUES (?)", SqlKind::Change},
    {"UPDATE t SET name = ? WHERE CURRENT OF c", SqlKind::Change},
    {"DELETE t", SqlKind::Change},
    {"SELECT * INTO copy FROM t", SqlKind::Change},
    {"SELECT NEXT VALUE FOR dbo.seq", SqlKind::Change},
    {"SELECT * FROM OPENQUERY(srv, 'SELECT 1')", SqlKind::Change},
    {"SELECT 'x' ; DROP TABLE t", SqlKind::Change},
    {"SELECT 1 DROP TABLE t", SqlKind::Change},
    {"USE master; CREATE MASTER KEY ENCRYPTION BY PASSWORD = 'x';", SqlKind::Change},
    {"exec('kill ' + @spid)", SqlKind::Change},
    {"EXEC sp_who", SqlKind::Change},
    {"sp_who", SqlKind::Change}, // a procedure named first runs
    {"SET ANSI_NULLS ON SET NOEXEC ON", SqlKind::Change},
    {"SET PARSEONLY ON", SqlKind::Change},
    {"BEGIN TRAN", SqlKind::Change},
    {"DBCC SHRINKFILE (1)", SqlKind::Change},
    {"WAITFOR DELAY '00:00:01'", SqlKind::Change}, // not known to read, so not sent
    {"MAKE EVERYTHING READ ONLY", SqlKind::Change},
    {"GO", SqlKind::Change},
    // Text the rule cannot read to its end.
    {"SELECT 'unended", SqlKind::Change},
    {"SELECT 1 /* unended", SqlKind::Change},
    {"SELECT [unended", SqlKind::Change},
};

const char *name(SqlKind k) {
    return k == SqlKind::Read ? "Read" : k == SqlKind::Context ? "Context" : "Change";
}

} // namespace

TEST(ScriptOnlyRule, KnowsReadsContextAndChanges) {
    for (const Case &c : kCases)
        EXPECT_STREQ(name(classifySql(QString::fromUtf8(c.sql))), name(c.kind)) << c.sql;
}

class Collecting : public ::testing::Test {
protected:
    void SetUp() override {
        scriptOnly().clear();
        scriptOnly().setLog([this](const QString &line) { logged << line; });
        scriptOnly().setActive(true);
    }
    void TearDown() override {
        scriptOnly().setActive(false);
        scriptOnly().setLog({});
        scriptOnly().clear();
        shares::setCollector({});
    }
    // The script with each comment line's time cut to "T".
    static QString scriptWithoutTimes() {
        QStringList lines = scriptOnly().script().split(QLatin1Char('\n'));
        for (QString &l : lines)
            if (l.startsWith(QLatin1String("-- ")))
                l.replace(QRegularExpression(QStringLiteral("\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d")),
                          QStringLiteral("T"));
        return lines.join(QLatin1Char('\n'));
    }
    QStringList logged;
};

TEST_F(Collecting, SendsReadsKeepsChangesAndPutsTheContextInFrontOfTheNextChange) {
    EXPECT_TRUE(scriptOnly().sends("Main", "SELECT name FROM sys.databases"));
    EXPECT_TRUE(scriptOnly().sends("Main", "USE master;"));
    EXPECT_TRUE(scriptOnly().sends("Mirror", "USE [Zeta]"));
    EXPECT_FALSE(scriptOnly().sends("Main", "CREATE MASTER KEY ENCRYPTION BY PASSWORD = 'x';"));
    EXPECT_FALSE(scriptOnly().sends("Main", "DROP DATABASE [A]\r\n"));
    EXPECT_FALSE(scriptOnly().sends("Mirror", "DROP DATABASE [B]"));
    EXPECT_EQ(scriptWithoutTimes(), "-- Main, T\n"
                                    "USE master;\n"
                                    "GO\n"
                                    "-- Main, T\n"
                                    "CREATE MASTER KEY ENCRYPTION BY PASSWORD = 'x';\n"
                                    "GO\n"
                                    "-- Main, T\n"
                                    "DROP DATABASE [A]\r\n"
                                    "GO\n"
                                    "-- Mirror, T\n"
                                    "USE [Zeta]\n"
                                    "GO\n"
                                    "-- Mirror, T\n"
                                    "DROP DATABASE [B]\n"
                                    "GO\n");
    // The log pane gets each kept batch as it would have been sent, and nothing else.
    EXPECT_EQ(logged, (QStringList{"CREATE MASTER KEY ENCRYPTION BY PASSWORD = 'x';", "DROP DATABASE [A]\r\n",
                                   "DROP DATABASE [B]"}));

    // Switched off, everything is sent and nothing is added; the script stays for saving.
    scriptOnly().setActive(false);
    EXPECT_TRUE(scriptOnly().sends("Main", "DROP DATABASE [C]"));
    EXPECT_EQ(scriptOnly().items().size(), 5u);
}

TEST_F(Collecting, APreparedChangeIsCollectedOnceWithItsExecutions) {
    EXPECT_EQ(scriptOnly().collectPrepared("Main", "SELECT * FROM t WHERE id = ?", {"int"}), nullptr);
    auto insert =
        scriptOnly().collectPrepared("Mirror", "INSERT INTO t (id, name, price, at) VALUES (?, ?, ?, ?)",
                                     {"int", "nvarchar(50)", "decimal(10,2)", "date"});
    ASSERT_NE(insert, nullptr);
    EXPECT_EQ(insert->execute({1, QStringLiteral("O'Brien"), QStringLiteral("12.30"), QDate(2026, 1, 2)}), 1);
    insert->execute({2, QVariant(), QStringLiteral("1"), QDate(2026, 1, 3)});
    insert->execute({3, QStringLiteral("x"), QStringLiteral("2"), QDate(2026, 1, 4)});
    EXPECT_EQ(scriptWithoutTimes(),
              "-- Mirror, T\n"
              "-- prepared (int, nvarchar(50), decimal(10,2), date); executed 3 times; first values: 1, "
              "N'O''Brien', N'12.30', '2026-01-02'\n"
              "INSERT INTO t (id, name, price, at) VALUES (?, ?, ?, ?)\n"
              "GO\n");
    EXPECT_EQ(logged, QStringList{"INSERT INTO t (id, name, price, at) VALUES (?, ?, ?, ?)"});
}

TEST_F(Collecting, FileOperationsAreCommentsAndAreNotDone) {
    QTemporaryDir dir;
    const std::string from = dir.filePath("a.bak").toStdString();
    const std::string to = dir.filePath("b.bak").toStdString();
    std::ofstream(from) << "backup";
    shares::setCollector(
        [](const std::string &what) { scriptOnly().collectFileOperation(QString::fromStdString(what)); });
    EXPECT_TRUE(shares::files().copy(from, to).ok);
    EXPECT_TRUE(shares::files().rename(from, to).ok);
    EXPECT_FALSE(QFile::exists(QString::fromStdString(to)));
    EXPECT_TRUE(QFile::exists(QString::fromStdString(from)));
    std::vector<std::string> names;
    EXPECT_TRUE(shares::files().list(dir.path().toStdString(), "*.bak", names).ok) << "listing still reads";
    EXPECT_EQ(names, std::vector<std::string>{"a.bak"});
    EXPECT_EQ(scriptWithoutTimes(),
              QString::fromStdString("-- file, T: copy " + from + " to " + to + "\n" + "-- file, T: rename " +
                                     from + " to " + to + "\n"));
    EXPECT_EQ(logged.first(), QString::fromStdString("Not done (Script only): copy " + from + " to " + to));

    // Without the collector the copy is done.
    shares::setCollector({});
    EXPECT_TRUE(shares::files().copy(from, to).ok);
    EXPECT_TRUE(QFile::exists(QString::fromStdString(to)));
}

TEST_F(Collecting, SaveWritesTheScript) {
    scriptOnly().sends("Main", "DROP DATABASE [A]");
    QTemporaryDir dir;
    const QString path = dir.filePath("dry.sql");
    EXPECT_EQ(scriptOnly().save(path), QString());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(file.readAll()), scriptOnly().script());
    EXPECT_FALSE(scriptOnly().save(dir.filePath("no/such/folder/x.sql")).isEmpty());
}
