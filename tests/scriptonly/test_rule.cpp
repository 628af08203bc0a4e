// What Script only lets through: the rule on batches of every kind (reads, changes, the session context,
// comments and literals that must not fool it), and the script it collects: servers, GO lines, the USE
// in front of a change, prepared statements once, file operations as comments and not done.

#include "core/db/ScriptOnly.h"
#include "core/shares/FileAccess.h"
#include "core/shares/Gate.h"

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
    {"EXEC dbo.usp_purge", SqlKind::Change},
    {"usp_purge", SqlKind::Change}, // a procedure named first runs
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

using enum SqlKind;

// Batches a DBA types, by the statements' kinds on SQL Server 2008 to 2022, each with what the server does
// with it: a change, something only the session sees (context), or a read.
const Case kStatements[] = {
    // Service Broker: every statement sends, takes, moves, ends or locks messages.
    {"END CONVERSATION @h WITH CLEANUP", Change},
    {"DECLARE @h uniqueidentifier\r\nWHILE EXISTS (SELECT * FROM sys.conversation_endpoints WHERE state = "
     "'CD')"
     "\r\nBEGIN\r\n    SELECT TOP(1) @h = conversation_handle FROM sys.conversation_endpoints WHERE state = "
     "'CD';"
     "\r\n    END CONVERSATION @h WITH CLEANUP;\r\nEND",
     Change},
    {"SELECT 1 ADD SIGNATURE TO dbo.p BY CERTIFICATE c", Change},
    {"IF 1=1 SEND ON CONVERSATION @h (0x01)", Change},
    {"IF @n = 0 SELECT 0 ELSE RECEIVE TOP(1) * FROM dbo.q", Change},
    {"DECLARE @h uniqueidentifier, @g uniqueidentifier MOVE CONVERSATION @h TO @g", Change},
    {"END CONVERSATION @h", Change},
    {"END CONVERSATION @h WITH ERROR = 50001 DESCRIPTION = 'gone';", Change},
    {"BEGIN TRY END CONVERSATION @h END TRY BEGIN CATCH END CATCH", Change},
    {"BEGIN DIALOG CONVERSATION @h FROM SERVICE [s] TO SERVICE 't' ON CONTRACT [c] WITH ENCRYPTION = OFF;",
     Change},
    {"BEGIN DIALOG @h FROM SERVICE s TO SERVICE 't'", Change},
    {"BEGIN CONVERSATION TIMER (@h) TIMEOUT = 120;", Change},
    {"SEND ON CONVERSATION @h MESSAGE TYPE [m] (@body);", Change},
    {"RECEIVE TOP(1) @body = message_body FROM dbo.q", Change},
    {"WAITFOR (RECEIVE TOP(1) * FROM dbo.q), TIMEOUT 5000", Change},
    {"GET CONVERSATION GROUP @g FROM dbo.q", Change},
    {"WAITFOR (GET CONVERSATION GROUP @g FROM dbo.q), TIMEOUT 1000", Change},
    {"CREATE QUEUE dbo.q", Change},
    {"ALTER QUEUE dbo.q WITH STATUS = ON", Change},
    {"SELECT conversation_handle, state_desc FROM sys.conversation_endpoints", Read},
    {"SELECT TOP 10 * FROM dbo.q WITH (NOLOCK)", Read}, // a queue is read without taking messages
    {"SELECT GET_TRANSMISSION_STATUS(@h)", Read},
    {"SELECT is_broker_enabled FROM sys.databases WHERE name = N'Billing'", Read},
    // Signatures, keys, impersonation, permissions.
    {"ADD SIGNATURE TO dbo.p BY CERTIFICATE c WITH PASSWORD = 'x'", Change},
    {"ADD COUNTER SIGNATURE TO dbo.p BY CERTIFICATE c", Change},
    {"DROP SIGNATURE FROM dbo.p BY CERTIFICATE c", Change},
    {"ADD SENSITIVITY CLASSIFICATION TO dbo.t.c WITH (LABEL = 'Confidential')", Change},
    {"SELECT * FROM sys.crypt_properties", Read},
    {"OPEN SYMMETRIC KEY k DECRYPTION BY CERTIFICATE c", Context},
    {"OPEN MASTER KEY DECRYPTION BY PASSWORD = 'x'", Context},
    {"CLOSE SYMMETRIC KEY k", Context},
    {"CLOSE ALL SYMMETRIC KEYS", Context},
    {"CLOSE MASTER KEY", Context},
    {"OPEN SYMMETRIC KEY k DECRYPTION BY CERTIFICATE c; SELECT CONVERT(nvarchar(50), DECRYPTBYKEY(card)) "
     "FROM dbo.t; CLOSE SYMMETRIC KEY k",
     Context},
    {"EXECUTE AS USER = 'auditor'", Context},
    {"EXECUTE AS LOGIN = 'x'; SELECT SUSER_NAME(); REVERT", Context},
    {"EXECUTE AS USER = 'x' WITH COOKIE INTO @cookie", Context},
    {"REVERT WITH COOKIE = @cookie", Context},
    {"SETUSER 'u'", Context},
    {"CREATE CERTIFICATE c WITH SUBJECT = 'x'", Change},
    {"BACKUP CERTIFICATE c TO FILE = 'c.cer'", Change},
    {"GRANT CONNECT ON ENDPOINT::Mirroring TO [mirroring]", Change},
    {"DENY SELECT ON dbo.t TO u", Change},
    {"REVOKE EXECUTE ON dbo.p FROM u", Change},
    {"ALTER LOGIN sa DISABLE", Change},
    {"ENABLE TRIGGER ALL ON SERVER", Change},
    {"DISABLE TRIGGER dbo.trg ON dbo.t", Change},
    {"SELECT * FROM sys.server_permissions WHERE class_desc = 'ENDPOINT'", Read},
    {"SELECT HAS_PERMS_BY_NAME(NULL, NULL, 'VIEW SERVER STATE')", Read},
    // Cursors run their query.
    {"DECLARE c CURSOR LOCAL FAST_FORWARD FOR SELECT name FROM sys.databases", Read},
    {"DECLARE c CURSOR FOR SELECT name FROM sys.databases; OPEN c; FETCH NEXT FROM c INTO @name; "
     "WHILE @@FETCH_STATUS = 0 BEGIN PRINT @name; FETCH NEXT FROM c INTO @name END; CLOSE c; DEALLOCATE c",
     Read},
    {"OPEN GLOBAL c", Read},
    {"FETCH ABSOLUTE 5 FROM c", Read},
    {"DECLARE @cur CURSOR SET @cur = CURSOR FOR SELECT 1 OPEN @cur FETCH NEXT FROM @cur INTO @a", Read},
    {"DECLARE c CURSOR FOR SELECT id FROM t FOR UPDATE", Read},
    {"DECLARE c CURSOR FOR SELECT name FROM sys.databases OPEN c FETCH NEXT FROM c INTO @db "
     "WHILE @@FETCH_STATUS = 0 BEGIN EXEC('DBCC CHECKDB(' + @db + ')') FETCH NEXT FROM c INTO @db END",
     Change},
    {"FETCH NEXT FROM c; DELETE FROM t WHERE CURRENT OF c", Change},
    {"FETCH NEXT FROM c INTO @a SELECT @a AS a INTO #kept", Change},
    // Transactions settle changes: never sent.
    {"BEGIN TRANSACTION", Change},
    {"BEGIN TRAN t1 WITH MARK 'before the purge'", Change},
    {"BEGIN DISTRIBUTED TRANSACTION", Change},
    {"COMMIT", Change},
    {"COMMIT TRANSACTION t1", Change},
    {"ROLLBACK", Change},
    {"ROLLBACK TRAN", Change},
    {"SAVE TRANSACTION s1", Change},
    {"BEGIN TRAN; SELECT * FROM t WITH (UPDLOCK); COMMIT", Change},
    {"IF @@TRANCOUNT > 0 ROLLBACK", Change},
    {"SELECT @@TRANCOUNT", Read},
    {"BEGIN TRY SELECT 1/0 END TRY BEGIN CATCH SELECT ERROR_MESSAGE() END CATCH", Read},
    {"BEGIN TRY UPDATE t SET a = 1 END TRY BEGIN CATCH THROW; END CATCH", Change},
    // Procedures: only system ones known to report are sent; dynamic SQL never.
    {"EXEC (@sql)", Change},
    {"EXECUTE ('SELECT 1')", Change},
    {"EXEC sp_executesql N'SELECT 1'", Change},
    {"EXEC sys.sp_executesql @stmt = N'SELECT @x', @params = N'@x int', @x = 1", Change},
    {"EXEC @proc", Change},
    {"EXEC ('SELECT 1') AT [LINKED]", Change},
    {"EXEC Billing.dbo.sp_who", Change},
    {"EXEC sp_who", Read},
    {"sp_who", Read},
    {"[sp_who]", Read},
    {"EXEC sp_who 'active'", Read},
    {"EXEC [master].[sys].[sp_who]", Read},
    {"EXEC sp_who2", Read},
    {"EXEC sp_readerrorlog 0, 1, N'mirroring'", Read},
    {"EXEC sp_helpdb N'Billing'", Read},
    {"sp_helpdb", Read},
    {"EXEC sp_help 'dbo.Orders'; EXEC sp_helpindex 'dbo.Orders'", Read},
    {"EXEC sp_helptext 'dbo.p'", Read},
    {"DECLARE @rc int EXEC @rc = sp_who SELECT @rc", Read},
    {"EXEC master.dbo.xp_fixeddrives", Read},
    {"EXEC master..xp_fixeddrives", Read},
    {"exec xp_fixeddrives", Read},
    {"EXEC sp_configure", Read},
    {"EXEC sp_configure 'show advanced options'", Read},
    {"EXEC sp_configure 'show advanced options', 1", Change},
    {"EXEC sp_configure @configname = 'max degree of parallelism', @configvalue = 1", Change},
    {"EXEC sp_spaceused N'dbo.Orders'", Read},
    {"EXEC sp_spaceused @updateusage = N'TRUE'", Change},
    {"EXEC sp_spaceused 'dbo.Orders', 'true'", Change},
    {"SELECT 1; sp_who", Change}, // without EXECUTE a procedure runs only first in the batch
    {"INSERT INTO @drives EXEC master.dbo.xp_fixeddrives", Change},
    {"EXEC xp_cmdshell 'dir'", Change},
    {"EXEC sp_detach_db 'Billing', 'true'", Change},
    {"EXEC sp_attach_db @dbname = N'Billing', @filename1 = N'E:\\b.mdf'", Change},
    {"EXEC sp_password NULL, 'new', 'sa'", Change},
    {"EXEC msdb.dbo.sp_start_job N'Nightly'", Change},
    // DBCC: the informational and checking commands read.
    {"DBCC CHECKDB", Read},
    {"DBCC CHECKDB (N'Billing') WITH NO_INFOMSGS, ALL_ERRORMSGS", Read},
    {"DBCC CHECKDB (Billing, REPAIR_ALLOW_DATA_LOSS)", Change},
    {"DBCC CHECKDB (0, REPAIR_REBUILD) WITH NO_INFOMSGS", Change},
    {"DBCC CHECKTABLE ('dbo.Orders') WITH PHYSICAL_ONLY", Read},
    {"DBCC CHECKTABLE ('dbo.Orders', REPAIR_FAST)", Change},
    {"DBCC CHECKALLOC", Read},
    {"DBCC CHECKCATALOG", Read},
    {"DBCC CHECKCONSTRAINTS ('dbo.Orders') WITH ALL_CONSTRAINTS", Read},
    {"DBCC CHECKFILEGROUP", Read},
    {"DBCC CHECKIDENT ('dbo.Orders', NORESEED)", Read},
    {"DBCC CHECKIDENT ('dbo.Orders')", Change}, // reseeds when the identity is behind
    {"DBCC CHECKIDENT ('dbo.Orders', RESEED, 100)", Change},
    {"DBCC SHOW_STATISTICS ('dbo.Orders', IX_Orders_Date) WITH HISTOGRAM", Read},
    {"DBCC SQLPERF(LOGSPACE)", Read},
    {"DBCC SQLPERF(\"sys.dm_os_wait_stats\", CLEAR)", Change},
    {"DBCC OPENTRAN (Billing) WITH TABLERESULTS", Read},
    {"DBCC INPUTBUFFER (52)", Read},
    {"DBCC OUTPUTBUFFER (52)", Read},
    {"DBCC TRACESTATUS (-1)", Read},
    {"DBCC USEROPTIONS", Read},
    {"DBCC PROCCACHE", Read},
    {"DBCC SHOWCONTIG ('dbo.Orders')", Read},
    {"DBCC HELP ('CHECKDB')", Read},
    {"DBCC TRACEON (1222, -1)", Change},
    {"DBCC TRACEOFF (1222, -1)", Change},
    {"DBCC FREEPROCCACHE", Change},
    {"DBCC DROPCLEANBUFFERS", Change},
    {"DBCC FREESYSTEMCACHE ('ALL')", Change},
    {"DBCC FREESESSIONCACHE", Change},
    {"DBCC SHRINKDATABASE (Billing, 10)", Change},
    {"DBCC SHRINKFILE (Billing_log, 1024)", Change},
    {"DBCC UPDATEUSAGE (0)", Change},
    {"DBCC DBREINDEX ('dbo.Orders')", Change},
    {"DBCC INDEXDEFRAG (0, 'dbo.Orders')", Change},
    {"DBCC CLEANTABLE (Billing, 'dbo.Orders')", Change},
    {"DBCC CLONEDATABASE (Billing, Billing_clone)", Change},
    {"DBCC PAGE (Billing, 1, 1, 3)", Change}, // not in the reference
    {"DBCC xp_sample (FREE)", Change},
    // Backup and restore verbs.
    {"BACKUP DATABASE Billing TO DISK = N'p:\\b.bak' WITH COPY_ONLY", Change},
    {"BACKUP LOG Billing TO DISK = 'p:\\l.trn'", Change},
    {"BACKUP LOG Billing TO DISK = 'NUL'", Change},
    {"BACKUP MASTER KEY TO FILE = 'k' ENCRYPTION BY PASSWORD = 'x'", Change},
    {"BACKUP SERVICE MASTER KEY TO FILE = 'k' ENCRYPTION BY PASSWORD = 'x'", Change},
    {"RESTORE DATABASE Billing FROM DISK = 'b.bak' WITH MOVE 'Data' TO 'E:\\b.mdf', NORECOVERY", Change},
    {"RESTORE LOG Billing FROM DISK = 'l.trn' WITH NORECOVERY", Change},
    {"RESTORE DATABASE Billing WITH RECOVERY", Change},
    {"RESTORE HEADERONLY FROM DISK = N'b.bak'", Read},
    {"RESTORE FILELISTONLY FROM DISK = 'b.bak' WITH FILE = 2", Read},
    {"RESTORE VERIFYONLY FROM DISK = 'b.bak' WITH CHECKSUM", Read},
    {"RESTORE LABELONLY FROM TAPE = '\\\\.\\tape0'", Read},
    {"RESTORE REWINDONLY FROM TAPE = '\\\\.\\tape0'", Change},
    {"RESTORE MASTER KEY FROM FILE = 'k' DECRYPTION BY PASSWORD = 'x' ENCRYPTION BY PASSWORD = 'y'", Change},
    {"RESTORE HEADERONLY FROM DISK = 'b.bak'; RESTORE DATABASE Billing FROM DISK = 'b.bak'", Change},
    {"SELECT TOP 5 backup_finish_date FROM msdb.dbo.backupset ORDER BY backup_finish_date DESC", Read},
    // The session's options.
    {"SET NOCOUNT ON", Context},
    {"SET ANSI_NULLS, QUOTED_IDENTIFIER ON", Context},
    {"SET ANSI_NULLS, IMPLICIT_TRANSACTIONS ON", Change}, // every later read would open a transaction
    {"SET IMPLICIT_TRANSACTIONS ON", Change},
    {"SET ANSI_DEFAULTS ON", Change}, // sets IMPLICIT_TRANSACTIONS too
    {"SET STATISTICS IO, TIME ON", Context},
    {"SET STATISTICS XML ON; SELECT 1", Context},
    {"SET SHOWPLAN_XML ON", Change}, // then nothing runs: kept in its place in the script
    {"SET NOEXEC ON", Change},
    {"SET FMTONLY ON", Change},
    {"SET DATEFORMAT dmy", Context},
    {"SET LANGUAGE us_english", Context},
    {"SET LOCK_TIMEOUT 5000", Context},
    {"SET DEADLOCK_PRIORITY LOW", Context},
    {"SET CONTEXT_INFO 0x01", Context},
    {"SET XACT_ABORT ON", Context},
    {"SET TRANSACTION ISOLATION LEVEL SNAPSHOT", Context},
    {"SET @n = 1", Read},
    {"SET @n = NEXT VALUE FOR dbo.seq", Change},
    {"USE [Billing]; SELECT name FROM sys.tables", Context},
    // Comments end at CR as well as LF; literals and quoted names are not statements.
    {"SELECT 1 -- a comment\rDROP TABLE t", Change},
    {"SELECT 1 -- x\rEND CONVERSATION @h", Change},
    {"SELECT 1 -- /* not a block\rDROP TABLE t */", Change},
    {"-- INSERT into the log\rSELECT name FROM sys.databases", Read},
    {"SELECT 1 -- CR LF\r\n/* y */ SELECT 2", Read},
    {"SELECT 1 /* END CONVERSATION @h -- */", Read},
    {"SELECT 1 /* outer /* inner */ DROP TABLE t */", Read},
    {"SELECT 'END CONVERSATION @h WITH CLEANUP'", Read},
    {"SELECT N'SEND ON CONVERSATION', 'RECEIVE', [ADD], [MOVE], \"GET\"", Read},
    {"PRINT 'DBCC SHRINKFILE (1)'", Read},
    {"SELECT 1 AS [BEGIN TRAN]", Read},
    {"SELECT 'it''s'; -- DROP DATABASE x\r\n", Read},
    // Control of flow and queries.
    {"IF EXISTS (SELECT 1 FROM sys.databases WHERE name = 'x') BEGIN PRINT 'yes' END ELSE BEGIN PRINT 'no' "
     "END",
     Read},
    {"WHILE 1 = 1 BEGIN BREAK END", Read},
    {"DECLARE @i int = 0 WHILE @i < 3 BEGIN SET @i += 1 CONTINUE END", Read},
    {"GOTO done; SELECT 1; done: PRINT 'end'", Read},
    {"RETURN", Read},
    {"THROW 50000, 'stop', 1", Read},
    {"RAISERROR ('x', 10, 1) WITH NOWAIT", Read},
    {"RAISERROR ('x', 16, 1) WITH LOG", Change}, // writes the server's error log
    {"SELECT * FROM t1 INNER MERGE JOIN t2 ON t1.id = t2.id", Read},
    {"SELECT * FROM t OPTION (MERGE JOIN, MAXDOP 1)", Read},
    {"SELECT * FROM t OPTION (USE HINT ('FORCE_LEGACY_CARDINALITY_ESTIMATION'))", Read},
    {"SELECT (SELECT name FROM sys.databases ORDER BY name OFFSET 0 ROWS FETCH NEXT 1 ROWS ONLY)", Read},
    {"SELECT * FROM (SELECT 1 AS a) x WHERE a IN (SELECT 1 UNION SELECT 2)", Read},
    {"SELECT value FROM OPENJSON(@j)", Read},
    {"WITH c AS (SELECT 1 AS a) SELECT * FROM c; WITH d AS (SELECT 2 AS b) SELECT * FROM d", Read},
    {"SELECT mirroring_state_desc FROM sys.database_mirroring WHERE database_id = DB_ID(N'Billing')", Read},
    {"SELECT * INTO #t FROM sys.databases", Change},
    {"SELECT name INTO dbo.copy FROM sys.databases", Change},
    {"SELECT * FROM OPENROWSET('SQLNCLI', 'Server=x;Trusted_Connection=yes;', 'SELECT 1')", Change},
    {"SELECT * FROM OPENDATASOURCE('SQLNCLI', 'Data Source=x').db.dbo.t", Change},
    {"WITH c AS (SELECT id FROM t) DELETE FROM c", Change},
    {"MERGE dbo.t AS d USING dbo.s AS s ON d.id = s.id WHEN MATCHED THEN UPDATE SET d.a = s.a;", Change},
    {"TRUNCATE TABLE dbo.t", Change},
    {"UPDATE STATISTICS dbo.Orders", Change},
    {"CREATE TABLE #t (id int); SELECT * FROM #t", Change},
    {"DECLARE @t TABLE (id int) INSERT INTO @t VALUES (1)", Change},
    {"ALTER DATABASE Billing SET PARTNER FORCE_SERVICE_ALLOW_DATA_LOSS", Change},
    {"ALTER DATABASE Billing SET PARTNER SAFETY FULL", Change},
    {"BULK INSERT dbo.t FROM 'f.csv'", Change},
    {"READTEXT dbo.t.doc @ptr 0 10", Read},
    {"WRITETEXT dbo.t.doc @ptr 'x'", Change},
    {"UPDATETEXT dbo.t.doc @ptr 0 NULL 'x'", Change},
    {"CHECKPOINT", Change},
    {"RECONFIGURE WITH OVERRIDE", Change},
    {"SHUTDOWN WITH NOWAIT", Change},
    {"KILL 52", Change},
    {"KILL 52 WITH STATUSONLY", Read},
    {"KILL STATS JOB 3", Change},
    {"KILL QUERY NOTIFICATION SUBSCRIPTION ALL", Change},
};

const char *name(SqlKind k) {
    return k == SqlKind::Read ? "Read" : k == SqlKind::Context ? "Context" : "Change";
}

} // namespace

TEST(ScriptOnlyRule, KnowsReadsContextAndChanges) {
    for (const Case &c : kCases)
        EXPECT_STREQ(name(classifySql(QString::fromUtf8(c.sql))), name(c.kind)) << c.sql;
}

TEST(ScriptOnlyRule, JudgesEveryKindOfStatementByWhatTheServerDoesWithIt) {
    for (const Case &c : kStatements)
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
    // The log pane gets each kept batch as it would have been sent, as not sent, and nothing else; a password
    // in it masked (the script above keeps it: it is what would run).
    EXPECT_EQ(logged,
              (QStringList{"Not sent (Script only): CREATE MASTER KEY ENCRYPTION BY PASSWORD = '********';",
                           "Not sent (Script only): DROP DATABASE [A]\r\n",
                           "Not sent (Script only): DROP DATABASE [B]"}));

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
    EXPECT_EQ(logged,
              QStringList{"Not sent (Script only): INSERT INTO t (id, name, price, at) VALUES (?, ?, ?, ?)"});
}

TEST_F(Collecting, FileOperationsAreCommentsAndAreNotDone) {
    QTemporaryDir dir;
    const std::string from = dir.filePath("a.bak").toStdString();
    const std::string to = dir.filePath("b.bak").toStdString();
    std::ofstream(from) << "backup";
    shares::setCollector(
        [](const std::string &what) { scriptOnly().collectFileOperation(QString::fromStdString(what)); });
    EXPECT_TRUE(shares::files().copy(from, to).ok());
    EXPECT_TRUE(shares::files().rename(from, to).ok());
    EXPECT_FALSE(QFile::exists(QString::fromStdString(to)));
    EXPECT_TRUE(QFile::exists(QString::fromStdString(from)));
    std::vector<std::string> names;
    EXPECT_TRUE(shares::files().list(dir.path().toStdString(), "*.bak", names).ok()) << "listing still reads";
    EXPECT_EQ(names, std::vector<std::string>{"a.bak"});
    EXPECT_EQ(scriptWithoutTimes(),
              QString::fromStdString("-- file, T: copy " + from + " to " + to + "\n" + "-- file, T: rename " +
                                     from + " to " + to + "\n"));
    EXPECT_EQ(logged.first(), QString::fromStdString("Not done (Script only): copy " + from + " to " + to));

    // Without the collector the copy is done.
    shares::setCollector({});
    EXPECT_TRUE(shares::files().copy(from, to).ok());
    EXPECT_TRUE(QFile::exists(QString::fromStdString(to)));
}

TEST_F(Collecting, SaveWritesTheScriptForItsOwnerOnly) {
    scriptOnly().sends("Main", "DROP DATABASE [A]");
    QTemporaryDir dir;
    const QString path = dir.filePath("dry.sql");
    // A file it replaces does not lend it its permissions.
    {
        QFile before(path);
        ASSERT_TRUE(before.open(QIODevice::WriteOnly));
        ASSERT_TRUE(before.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                          QFileDevice::ReadGroup | QFileDevice::ReadOther));
    }
    EXPECT_EQ(scriptOnly().save(path), QString());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(file.readAll()), scriptOnly().script());
    EXPECT_EQ(QFile::permissions(path) & ~(QFileDevice::ReadUser | QFileDevice::WriteUser),
              QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    EXPECT_FALSE(scriptOnly().save(dir.filePath("no/such/folder/x.sql")).isEmpty());
}
