#include "SqlShape.h"
#include "core/db/SqlQuote.h"
#include "core/mirroring/AttachSql.h"
#include "core/mirroring/BackupSql.h"
#include "core/mirroring/PartnerSql.h"
#include "core/mirroring/RestoreSql.h"
#include "core/restore/FolderRestoreSql.h"

#include <gtest/gtest.h>

#include <QDateTime>

#include <functional>

using namespace quorix;

TEST(SqlName, RegularIdentifiersStayVerbatim) {
    for (const char *name : {"QRIX", "Billing", "billing_2015", "Patient_data", "_tmp", "x@#$"})
        EXPECT_EQ(sqlName(QString::fromUtf8(name)), QString::fromUtf8(name)) << name;
    // Letters of any script.
    EXPECT_EQ(sqlName(QStringLiteral("Γιατρός")), QStringLiteral("Γιατρός"));
    EXPECT_EQ(sqlName(QStringLiteral("Kardiologie_Ärzte")), QStringLiteral("Kardiologie_Ärzte"));
}

TEST(SqlName, EverythingElseIsBracketed) {
    EXPECT_EQ(sqlName(QString()), QStringLiteral("[]"));
    EXPECT_EQ(sqlName(QStringLiteral("my db")), QStringLiteral("[my db]"));
    EXPECT_EQ(sqlName(QStringLiteral("2015Billing")), QStringLiteral("[2015Billing]"));
    EXPECT_EQ(sqlName(QStringLiteral("a-b")), QStringLiteral("[a-b]"));
    EXPECT_EQ(sqlName(QStringLiteral("a.b")), QStringLiteral("[a.b]"));
    EXPECT_EQ(sqlName(QStringLiteral("a;b")), QStringLiteral("[a;b]"));
    EXPECT_EQ(sqlName(QStringLiteral("O'Brien")), QStringLiteral("[O'Brien]"));
    EXPECT_EQ(sqlName(QStringLiteral("a]b[c")), QStringLiteral("[a]]b[c]"));
    EXPECT_EQ(sqlName(QStringLiteral("a\tb")), QStringLiteral("[a\tb]"));
    // Read as a variable or a parameter by the server when bare.
    EXPECT_EQ(sqlName(QStringLiteral("@db")), QStringLiteral("[@db]"));
    EXPECT_EQ(sqlName(QStringLiteral("$db")), QStringLiteral("[$db]"));
    EXPECT_EQ(sqlName(QStringLiteral("#db")), QStringLiteral("[#db]"));
    // Reserved words, in any letter case.
    EXPECT_EQ(sqlName(QStringLiteral("Order")), QStringLiteral("[Order]"));
    EXPECT_EQ(sqlName(QStringLiteral("file")), QStringLiteral("[file]"));
    EXPECT_EQ(sqlName(QStringLiteral("WRITETEXT")), QStringLiteral("[WRITETEXT]"));
    EXPECT_EQ(sqlName(QStringLiteral("ADD")), QStringLiteral("[ADD]"));
    EXPECT_EQ(sqlName(QStringLiteral("Orders")), QStringLiteral("Orders"));
}

TEST(SqlQuote, LiteralAndBracketInsides) {
    EXPECT_EQ(sqlLiteralText(QStringLiteral("O'Brien's")), QStringLiteral("O''Brien''s"));
    EXPECT_EQ(sqlLiteralText(QStringLiteral("a]b")), QStringLiteral("a]b"));
    EXPECT_EQ(bracketInner(QStringLiteral("a]b'c")), QStringLiteral("a]]b'c"));
}

// N in front exactly when a character lies outside plain ASCII, whatever the script or the plane.
TEST(SqlQuote, WholeLiterals) {
    const std::vector<std::pair<const char *, const char *>> cases = {
        {"", "''"},
        {"QRIX", "'QRIX'"},
        {"O'Brien", "'O''Brien'"},
        {"tab\t~\x7f", "'tab\t~\x7f'"},
        {"Больница", "N'Больница'"},
        {"医院数据", "N'医院数据'"},
        {"Kardiologie_Ärzte", "N'Kardiologie_Ärzte'"}, // in the server's usual code page, yet still N
        {"O'Коннор", "N'O''Коннор'"},
        {"x😀", "N'x😀'"},
        {"p:\\b\\医院数据.BAK", "N'p:\\b\\医院数据.BAK'"},
    };
    for (const auto &[text, literal] : cases)
        EXPECT_EQ(sqlLiteral(QString::fromUtf8(text)), QString::fromUtf8(literal)) << text;
    EXPECT_EQ(sqlUnicodeLiteral(QStringLiteral("A'b")), QStringLiteral("N'A''b'"));
    EXPECT_EQ(sqlUnicodeLiteral(QStringLiteral("医院")), QStringLiteral("N'医院'"));
}

namespace {

using Builder = std::function<QString(const QString &)>;

const RestoreFileEntries kFiles = {{QStringLiteral("Data"), QStringLiteral("x.mdf")},
                                   {QStringLiteral("Log"), QStringLiteral("x_log.ldf")}};

// Every statement that takes a database name.
const std::vector<std::pair<const char *, Builder>> &builders() {
    static const QString p = QStringLiteral("p:\\backup\\MIR\\");
    static const std::vector<std::pair<const char *, Builder>> all = {
        {"backup", [](const QString &d) { return backupDatabaseStatement(d, p); }},
        {"backup log", [](const QString &d) { return backupLogStatement(d, p); }},
        {"file list", [](const QString &d) { return restoreFileListStatement(d, p); }},
        {"restore",
         [](const QString &d) { return restoreDatabaseStatement(d, p, moveList(kFiles, "F", "L")); }},
        {"restore log",
         [](const QString &d) { return restoreLogStatement(d, p, moveList(kFiles, "F", ""), 1); }},
        {"restore main",
         [](const QString &d) {
             return restoreOntoMainStatement(d, p + d + QStringLiteral(".bak"), moveList(kFiles, "F", ""));
         }},
        {"partner", [](const QString &d) { return setPartnerStatement(d, QStringLiteral("10.1.1.1")); }},
        {"safety", [](const QString &d) { return setSafetyOffStatement(d); }},
        {"partner off", [](const QString &d) { return partnerOffStatement(d); }},
        {"recover", [](const QString &d) { return recoverDatabaseStatement(d); }},
        {"full recovery", [](const QString &d) { return fullRecoveryStatement(d); }},
        {"clear", [](const QString &d) { return clearConnectionsBatch(d); }},
        {"drop", [](const QString &d) { return dropDatabaseStatement(d); }},
        {"attach", [](const QString &d) { return attachStatement(d, QStringLiteral("d:\\bak")); }},
        {"detach", [](const QString &d) { return detachStatement(d); }},
    };
    return all;
}

} // namespace

// A hostile name changes only the insides of texts and quoted names: every statement keeps the shape it
// has for a harmless name that also needs brackets.
// Values read back from a server go into a literal in a form the server reads as the same value whatever
// the login's language; the grid's text (True, "2015-03-12 08:30:00") is for people.
TEST(SqlQuote, ValuesAsLiteralText) {
    const struct {
        QVariant value;
        const char *text;
    } cases[] = {
        {QVariant(), ""},
        {QVariant(QMetaType(QMetaType::Int)), ""},
        {QVariant(42), "42"},
        {QVariant(qlonglong(-9007199254740993LL)), "-9007199254740993"},
        {QVariant(true), "1"},
        {QVariant(false), "0"},
        {QVariant(0.1), "0.10000000000000001"},
        {QVariant(QDate(2015, 3, 12)), "20150312"},
        {QVariant(QDateTime(QDate(2015, 3, 12), QTime(8, 30, 0))), "2015-03-12T08:30:00.000"},
        {QVariant(QDateTime(QDate(1753, 1, 1), QTime(23, 59, 59, 997))), "1753-01-01T23:59:59.997"},
        {QVariant(QTime(8, 30, 5, 120)), "08:30:05.120"},
        {QVariant(QStringLiteral("O'Brien")), "O'Brien"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(sqlValueText(c.value), QString::fromUtf8(c.text)) << c.text;
    // The statement quotes it as any other text.
    EXPECT_EQ(sqlLiteral(sqlValueText(QVariant(QStringLiteral("O'Brien")))), QStringLiteral("'O''Brien'"));
}

TEST(SqlQuote, HostileNamesCannotChangeAStatement) {
    const QString harmless = QStringLiteral("My DB");
    for (const auto &[what, build] : builders()) {
        const auto reference = sqlShape(build(harmless));
        ASSERT_TRUE(reference) << what;
        for (const QString &bad : {QStringLiteral("Bad'Name];x"), QStringLiteral("x; DROP DATABASE y--"),
                                   QStringLiteral("a'); EXEC('kill 1') --"), QStringLiteral("]]'[")}) {
            const QString sql = build(bad);
            EXPECT_EQ(sqlShape(sql), reference) << what << ": " << sql.toStdString();
        }
    }
}

// The same for names outside ASCII: their texts all carry the N, and a quote or a bracket in them changes
// nothing but the insides.
TEST(SqlQuote, HostileNonAsciiNamesCannotChangeAStatement) {
    const QString harmless = QStringLiteral("Моя база");
    for (const auto &[what, build] : builders()) {
        const auto reference = sqlShape(build(harmless));
        ASSERT_TRUE(reference) << what;
        for (const QString &bad : {QStringLiteral("Плохое'Имя];x"),
                                   QStringLiteral("医院'; DROP DATABASE y--"), QStringLiteral("]]'[数据")}) {
            const QString sql = build(bad);
            EXPECT_EQ(sqlShape(sql), reference) << what << ": " << sql.toStdString();
        }
    }
}

TEST(SqlQuote, HostileNameInExactStatements) {
    const QString bad = QStringLiteral("Bad'Name];x");
    EXPECT_EQ(
        backupDatabaseStatement(bad, QStringLiteral("p:\\b\\")),
        QStringLiteral("BACKUP DATABASE [Bad'Name]];x] TO DISK = 'p:\\b\\Bad''Name];x.BAK'   WITH FORMAT"));
    EXPECT_EQ(setPartnerStatement(bad, QStringLiteral("o'host")),
              QStringLiteral("ALTER DATABASE [Bad'Name]];x] SET PARTNER = 'TCP://o''host:5024'  "));
    EXPECT_EQ(moveList({{QStringLiteral("L'og"), QStringLiteral("a'b.ldf")}}, "D", "L"),
              QStringLiteral(" MOVE  'L''og' TO 'L:\\LDF\\a''b.ldf', "));
    EXPECT_EQ(detachStatement(bad), QStringLiteral("EXEC sp_detach_db 'Bad''Name];x','true'"));
    EXPECT_EQ(attachStatement(bad, QStringLiteral("d:\\it's\\")),
              QStringLiteral(
                  "EXEC sp_attach_db @dbname = N'Bad''Name];x' ,@filename1=N'd:\\it''s\\Bad''Name];x.mdf'  "
                  " ,@filename2=N'd:\\it''s\\Bad''Name];x.ldf'  "));
    EXPECT_TRUE(clearConnectionsBatch(bad).contains(QStringLiteral("@dbname = 'Bad''Name];x' while")));
}
