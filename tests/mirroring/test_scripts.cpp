#include "SqlShape.h"
#include "core/mirroring/DefaultScripts.h"
#include "core/mirroring/ScriptSplitter.h"

#include <QRegularExpression>
#include <QStringList>

#include <gtest/gtest.h>

using namespace quorix;

namespace {

QStringList texts(const QList<ScriptBatch> &batches) {
    QStringList out;
    for (const ScriptBatch &b : batches)
        out << b.text;
    return out;
}

QList<int> echoed(const QList<ScriptBatch> &batches) {
    QList<int> out;
    for (int i = 0; i < batches.size(); ++i)
        if (batches[i].echo)
            out << i + 1;
    return out;
}

QString oneLine(QString s) {
    return s.replace(QRegularExpression(QStringLiteral("\\s+")), QStringLiteral(" ")).trimmed();
}

QStringList oneLineTexts(const QList<ScriptBatch> &batches) {
    QStringList out;
    for (const ScriptBatch &b : batches)
        out << oneLine(b.text);
    return out;
}

const QString kEndpoint = QStringLiteral("CREATE ENDPOINT Endpoint_Mirroring STATE = STARTED AS TCP ( "
                                         "LISTENER_PORT=5024 , LISTENER_IP = ALL ) FOR "
                                         "DATABASE_MIRRORING ( AUTHENTICATION = CERTIFICATE %1 , ENCRYPTION "
                                         "= REQUIRED ALGORITHM RC4 , ROLE = ALL )");

} // namespace

TEST(ScriptSplitter, BatchesEndAtGoLinesWithTheCrOfTheirLastLine) {
    const QString script = "--first\nSELECT 1;\nGO\n\nSELECT 'a'\nFROM t\ngo\n  Go\t\nSELECT 3";
    const auto batches = splitScript(script);
    EXPECT_EQ(texts(batches), QStringList({"SELECT 1\r", "SELECT 'a'\r\nFROM t\r", "SELECT 3"}));
    EXPECT_EQ(echoed(batches), QList<int>({2, 3}));
    // CR LF line ends give the same batches.
    QString crlf = script;
    crlf.replace("\n", "\r\n");
    EXPECT_EQ(texts(splitScript(crlf)), texts(batches));
}

TEST(ScriptSplitter, GoInsideALineDoesNotSplit) {
    EXPECT_EQ(texts(splitScript("UPDATE t SET kind = 'x' WHERE kind = CARGO\nAND a = 1\nGO\n")),
              QStringList({"UPDATE t SET kind = 'x' WHERE kind = CARGO\r\nAND a = 1\r"}));
    EXPECT_EQ(texts(splitScript("SELECT 1\nGO 2\nGOTO x\n")), QStringList({"SELECT 1\r\nGO 2\r\nGOTO x\r"}));
}

TEST(ScriptSplitter, EmptyAndCommentOnlyBatchesArePassedOver) {
    const auto batches = splitScript("GO\nSELECT 1\nGO\nGO\n-- only a note\nGO\n\n\nGO\nSELECT 2\nGO\n\n");
    EXPECT_EQ(texts(batches), QStringList({"SELECT 1\r", "SELECT 2\r"}));
    EXPECT_TRUE(splitScript("").isEmpty());
    EXPECT_TRUE(splitScript("GO\ngo\n").isEmpty());
    // The comment line goes, the rest of its batch is sent unechoed.
    const auto commented = splitScript("  -- note\nSELECT 1\nGO");
    ASSERT_EQ(commented.size(), 1);
    EXPECT_EQ(commented[0].text, "SELECT 1\r");
    EXPECT_FALSE(commented[0].echo);
}

TEST(ScriptSplitter, OnlyStatementEndingSemicolonsAreRemoved) {
    EXPECT_EQ(texts(splitScript("CREATE LOGIN a WITH PASSWORD = 'x;y''z;';\nGO")),
              QStringList({"CREATE LOGIN a WITH PASSWORD = 'x;y''z;'\r"}));
    EXPECT_EQ(removeStatementSemicolons("SELECT [a;]]b], \"c;\" FROM t; -- x;y\nSELECT 2;"),
              "SELECT [a;]]b], \"c;\" FROM t -- x;y\nSELECT 2");
    EXPECT_EQ(removeStatementSemicolons("/* a; /* b; */ c; */ SELECT 1; /* d;"),
              "/* a; /* b; */ c; */ SELECT 1 /* d;");
    // A text left open keeps the rest as it is.
    EXPECT_EQ(removeStatementSemicolons("SELECT 'a;"), "SELECT 'a;");
}

TEST(ScriptSplitter, ASemicolonTakenOutNeverJoinsItsNeighbours) {
    // Found by fuzzing: "-;-" became "--", and the rest of the line a comment the server never ran;
    // "'a';'b'" became the one text "a'b".
    EXPECT_EQ(removeStatementSemicolons("SELECT 1-;-1;\nSELECT 2/;*3;\nSELECT 4-;;-5;"),
              "SELECT 1-;-1\nSELECT 2/;*3\nSELECT 4-;-5");
    EXPECT_EQ(removeStatementSemicolons("PRINT 'a';'b'; PRINT [x];]y]; PRINT \"c\";\"d\";"),
              "PRINT 'a';'b' PRINT [x];]y] PRINT \"c\";\"d\"");
    EXPECT_EQ(removeStatementSemicolons("[];]\"];"), "[];]\"];");
    EXPECT_EQ(texts(splitScript("PRINT 1-;-1; PRINT 2\nGO")), QStringList({"PRINT 1-;-1 PRINT 2\r"}));
}

TEST(ScriptSplitter, StartOfBatchLosesBlanksAndLineEndsAsTheRunnerDid) {
    // CRs first, then LFs: a second blank line keeps its line end.
    EXPECT_EQ(texts(splitScript("GO\n  \nSELECT 1\nGO")), QStringList({"SELECT 1\r"}));
    EXPECT_EQ(texts(splitScript("GO\n  \n\nSELECT 1\nGO")), QStringList({"\r\nSELECT 1\r"}));
    EXPECT_EQ(texts(splitScript("\tSELECT 1 \nGO")), QStringList({"\tSELECT 1 \r"}));
}

TEST(DefaultScripts, MainCreateScript) {
    const auto batches = splitScript(defaultMainCreateScript());
    ASSERT_EQ(batches.size(), 9);
    EXPECT_EQ(echoed(batches), QList<int>({3, 7})); // the rest open with a comment line
    EXPECT_EQ(batches[0].text, "CREATE MASTER KEY ENCRYPTION BY PASSWORD = 'garden@584'\r");
    EXPECT_EQ(batches[2].text, "CREATE CERTIFICATE Mirroring \r\n   WITH SUBJECT = 'SERVER1 Certificate'\r");
    EXPECT_EQ(oneLineTexts(batches),
              QStringList({"CREATE MASTER KEY ENCRYPTION BY PASSWORD = 'garden@584'", "USE master",
                           "CREATE CERTIFICATE Mirroring WITH SUBJECT = 'SERVER1 Certificate'",
                           kEndpoint.arg("Mirroring"),
                           "BACKUP CERTIFICATE Mirroring TO FILE = 'p:\\backup\\MIR\\SERVER1.cer'",
                           "USE master", "CREATE LOGIN mirroring WITH PASSWORD = 'garden@584'",
                           "CREATE USER mirroring FOR LOGIN mirroring",
                           "GRANT CONNECT ON ENDPOINT::Endpoint_Mirroring TO mirroring"}));
    EXPECT_EQ(batches[4].text, "BACKUP CERTIFICATE Mirroring  TO FILE = 'p:\\backup\\MIR\\SERVER1.cer'\r");
}

TEST(DefaultScripts, MirrorCreateScript) {
    const QString script = defaultMirrorCreateScript();
    const auto batches = splitScript(script);
    ASSERT_EQ(batches.size(), 10);
    EXPECT_EQ(echoed(batches), QList<int>({2, 5, 7}));
    EXPECT_EQ(oneLineTexts(batches),
              QStringList({"USE master", "CREATE MASTER KEY ENCRYPTION BY PASSWORD = 'garden@584'",
                           "CREATE CERTIFICATE mirroringB WITH SUBJECT = 'SERVER2 Certificate'",
                           kEndpoint.arg("mirroringB"),
                           "BACKUP CERTIFICATE mirroringB TO FILE = 'P:\\backup\\MIR\\SERVER2.cer'",
                           "USE master", "CREATE LOGIN mirroring WITH PASSWORD = 'garden@584'",
                           "CREATE USER mirroring FOR LOGIN mirroring",
                           "CREATE CERTIFICATE mirroring AUTHORIZATION mirroring FROM FILE = "
                           "'P:\\BACKUP\\MIR\\SERVER1.cer'",
                           "GRANT CONNECT ON ENDPOINT::Endpoint_Mirroring TO mirroring"}));
    EXPECT_TRUE(script.contains("\n   FROM FILE = 'P:\\BACKUP\\MIR\\SERVER1.cer' \nGO\n"));
    // The warning before the import keeps its well-known words.
    EXPECT_TRUE(script.contains("\n--Associate the certificate with the user do not use a network path, SQL "
                                "Server will give an error about the key not being valid\nCREATE CERTIFICATE "
                                "mirroring\n"));
}

TEST(DefaultScripts, MainFinishScriptAndIndexes) {
    const auto batches = splitScript(defaultMainFinishScript());
    ASSERT_EQ(batches.size(), 5);
    EXPECT_EQ(echoed(batches), QList<int>({2}));
    EXPECT_EQ(oneLineTexts(batches),
              QStringList({"USE master", "CREATE LOGIN mirroringB WITH PASSWORD = 'garden@584'",
                           "CREATE USER mirroringB FOR LOGIN mirroringB",
                           "CREATE CERTIFICATE mirroringB AUTHORIZATION mirroringB FROM FILE = "
                           "'p:\\BACKUP\\mir\\SERVER2.cer'",
                           "GRANT CONNECT ON ENDPOINT::Endpoint_Mirroring TO mirroringB"}));
    EXPECT_EQ(defaultMirroringScript(0), defaultResetScript());
    EXPECT_EQ(defaultMirroringScript(1), defaultMainCreateScript());
    EXPECT_EQ(defaultMirroringScript(2), defaultMirrorCreateScript());
    EXPECT_EQ(defaultMirroringScript(3), defaultMainFinishScript());
    EXPECT_EQ(defaultMirroringScript(4), "");
    // Layout: GO lines, one blank line between statements, comments as "--" lines.
    const QString s = defaultMainFinishScript();
    EXPECT_TRUE(s.startsWith("--"));
    EXPECT_TRUE(s.endsWith("\nGO"));
    EXPECT_EQ(s.count("\nGO\n\n"), 4);
}

TEST(DefaultScripts, ResetScriptRunsAsEightStatements) {
    const QString script = defaultResetScript();
    EXPECT_EQ(script,
              "drop endpoint Endpoint_Mirroring\ngo\ndrop certificate mirroring\ngo\n"
              "drop certificate mirroringB\ngo\ndrop MASTER KEY \ngo\n  \n\ndrop login mirroring\ngo\n"
              "drop USER mirroring\ngo\n\ndrop login mirroringB\ngo\ndrop USER mirroringB\ngo");
    const auto batches = splitScript(script);
    EXPECT_EQ(
        texts(batches),
        QStringList({"drop endpoint Endpoint_Mirroring\r", "drop certificate mirroring\r",
                     "drop certificate mirroringB\r", "drop MASTER KEY \r", "\r\ndrop login mirroring\r",
                     "drop USER mirroring\r", "drop login mirroringB\r", "drop USER mirroringB\r"}));
    EXPECT_EQ(echoed(batches), QList<int>({1, 2, 3, 4, 5, 6, 7, 8}));
}
