// The verdicts of the Status grid and the pre-flight checklist, case by case, with the hints written out.

#include "TestText.h"
#include "status/PreflightChecks.h"
#include "status/StatusRows.h"

#include <gtest/gtest.h>

using namespace quorix::status;

namespace {

Side on(const char *state, const char *role = "", const char *mirroring = "") {
    Side s;
    s.present = true;
    s.state = QLatin1String(state);
    s.role = QLatin1String(role);
    s.mirroringState = QLatin1String(mirroring);
    return s;
}
const Side absent{};

const char *const kAgain =
    "then mirror it again: \"Backup\", \"Copy ->\", \"Restore\", \"<- Set Partner\", \"Set Partner ->\"";

struct JudgeCase {
    const char *what;
    Side main, mirror;
    Mark mark;
    QString hint;
};

} // namespace

TEST(StatusVerdicts, EachStateOfAPairGetsItsMarkAndHint) {
    const JudgeCase cases[] = {
        {"healthy, synchronized", on("ONLINE", "PRINCIPAL", "SYNCHRONIZED"),
         on("RESTORING", "MIRROR", "SYNCHRONIZED"), Mark::Healthy, ""},
        {"healthy with safety off", on("ONLINE", "PRINCIPAL", "SYNCHRONIZING"),
         on("RESTORING", "MIRROR", "SYNCHRONIZING"), Mark::Healthy, ""},
        {"suspended", on("ONLINE", "PRINCIPAL", "SUSPENDED"), on("RESTORING", "MIRROR", "SUSPENDED"),
         Mark::Action, "suspended: resume it with ALTER DATABASE Billing SET PARTNER RESUME on Main"},
        {"suspended after a failover", on("RESTORING", "MIRROR", "SUSPENDED"),
         on("ONLINE", "PRINCIPAL", "SUSPENDED"), Mark::Action,
         "suspended: resume it with ALTER DATABASE Billing SET PARTNER RESUME on the Mirror"},
        {"disconnected", on("ONLINE", "PRINCIPAL", "DISCONNECTED"), on("RESTORING", "MIRROR", "DISCONNECTED"),
         Mark::Action,
         "disconnected: the partners cannot reach each other's endpoint on port 5024; press \"Pre-flight\" "
         "to "
         "see which endpoint is missing or stopped, and start it with ALTER ENDPOINT Endpoint_Mirroring "
         "STATE = "
         "STARTED"},
        {"principal on both", on("ONLINE", "PRINCIPAL", "DISCONNECTED"),
         on("ONLINE", "PRINCIPAL", "DISCONNECTED"), Mark::Action,
         QStringLiteral(
             "principal on both servers: decide which copy to keep, end mirroring on the other with "
             "\"Make Online / fix\" (Main) or \"Make Online (partner off)\" (Mirror), ") +
             kAgain},
        {"mirrored on Main, gone from the Mirror", on("ONLINE", "PRINCIPAL", "DISCONNECTED"), absent,
         Mark::Action,
         QStringLiteral("mirrored on Main only: press \"Make Online / fix\" to end it there, ") + kAgain},
        {"mirrored on Main, recovered on the Mirror", on("ONLINE", "PRINCIPAL", "SYNCHRONIZED"), on("ONLINE"),
         Mark::Action,
         QStringLiteral("mirrored on Main only: press \"Make Online / fix\" to end it there, ") + kAgain},
        {"mirrored on the Mirror only", on("ONLINE"), on("RESTORING", "MIRROR", "SYNCHRONIZED"), Mark::Action,
         "mirrored on the Mirror only: press \"Make Online (partner off)\" to keep the Mirror's copy, or "
         "\"DropDB\" "
         "in the Mirror column and mirror it again: \"Backup\", \"Copy ->\", \"Restore\", \"<- Set "
         "Partner\", "
         "\"Set Partner ->\""},
        {"restored, not partnered", on("ONLINE"), on("RESTORING"), Mark::Action,
         "restored on the Mirror but not partnered: press \"<- Set Partner\", then \"Set Partner ->\""},
        {"restoring on the Mirror alone", absent, on("RESTORING"), Mark::Action,
         "restoring on the Mirror with no partner and not on Main: press \"Make Online (partner off)\" to "
         "recover "
         "it, or \"DropDB\" in the Mirror column"},
        {"restoring on Main", on("RESTORING"), absent, Mark::Action,
         "restoring on Main with no partner: press \"Make Online / fix\" to recover it"},
        {"failed over", on("RESTORING", "MIRROR", "SYNCHRONIZED"), on("ONLINE", "PRINCIPAL", "SYNCHRONIZED"),
         Mark::Action,
         "failed over: the Mirror is the principal; fail back with ALTER DATABASE Billing SET PARTNER "
         "FAILOVER on "
         "the Mirror"},
        {"mirror on both", on("RESTORING", "MIRROR", "SYNCHRONIZED"),
         on("RESTORING", "MIRROR", "SYNCHRONIZED"), Mark::Action,
         "the sides disagree: MIRROR on Main, MIRROR on the Mirror"},
        {"offline on Main", on("OFFLINE"), absent, Mark::Action,
         "OFFLINE on Main: bring it online with ALTER DATABASE Billing SET ONLINE"},
        {"suspect on Main", on("SUSPECT", "PRINCIPAL", "SYNCHRONIZED"),
         on("RESTORING", "MIRROR", "SYNCHRONIZED"), Mark::Action,
         "SUSPECT on Main: see the server's error log and restore it from its backup"},
        {"suspect on the Mirror", on("ONLINE"), on("SUSPECT"), Mark::Action,
         QStringLiteral("SUSPECT on the Mirror: press \"DropDB\" in the Mirror column, ") + kAgain},
        {"on Main only", on("ONLINE"), absent, Mark::None, "not mirrored"},
        {"on both, neither mirrored", on("ONLINE"), on("ONLINE"), Mark::None, "not mirrored"},
        {"on the Mirror only", absent, on("ONLINE"), Mark::None, "not mirrored, on the Mirror only"},
    };
    for (const JudgeCase &c : cases) {
        const Verdict v = judge(QStringLiteral("Billing"), c.main, c.mirror);
        EXPECT_EQ(v.mark, c.mark) << c.what;
        EXPECT_EQ(v.hint, c.hint) << c.what;
    }
    // A name that is no plain identifier is quoted in the statement a hint names.
    EXPECT_EQ(judge("Lab Data", on("OFFLINE"), absent).hint,
              "OFFLINE on Main: bring it online with ALTER DATABASE [Lab Data] SET ONLINE");
}

TEST(StatusVerdicts, AServerThatCouldNotBeReadLeavesEveryRowUnknown) {
    const Side healthy = on("ONLINE", "PRINCIPAL", "SYNCHRONIZED");
    Verdict v = judge("Billing", healthy, absent, true, false);
    EXPECT_EQ(v.mark, Mark::Unknown);
    EXPECT_EQ(v.hint,
              "the Mirror could not be read (see the log): check that the server runs and its server and "
              "PW boxes");
    EXPECT_TRUE(
        judge("Billing", absent, absent, false, false).hint.startsWith("Main and the Mirror could not"));
    EXPECT_EQ(markText(Mark::Unknown), "not read");
    EXPECT_EQ(markText(Mark::Action), "needs action");
    EXPECT_EQ(markText(Mark::Healthy), "ok");
    EXPECT_EQ(markText(Mark::None), "");
}

TEST(StatusRowsFromResults, ColumnsAreFoundByNameAndAMissingOneIsEmpty) {
    // A server that sends no safety column and its columns in another order.
    ResultTable mainResult{
        {"mirroring_role_desc", "NAME", "state_desc", "size_kb"},
        {{"PRINCIPAL", "Billing", "ONLINE", qint64(2048)}, {QVariant(), "payroll", "ONLINE", QVariant()}}};
    ResultTable mirrorResult{
        {"name", "state_desc", "mirroring_role_desc", "mirroring_safety_level_desc"},
        {{"BILLING", "RESTORING", "MIRROR", "OFF"}, {"Radiology", "ONLINE", QVariant(), QVariant()}}};
    QStringList mainNames, mirrorNames;
    const Databases main = readDatabases(mainResult, &mainNames);
    const Databases mirror = readDatabases(mirrorResult, &mirrorNames);
    EXPECT_EQ(main.at("billing").sizeKb, 2048);
    EXPECT_FALSE(main.at("payroll").sizeKb);

    const auto rows = statusRows(mainNames, main, mirrorNames, mirror, true, true);
    ASSERT_EQ(rows.size(), 3u);
    // One row per name whatever its letter case, Main's spelling first; in name order.
    EXPECT_EQ(rows[0].db, "Billing");
    EXPECT_EQ(rows[1].db, "payroll");
    EXPECT_EQ(rows[2].db, "Radiology");
    const QStringList cells = rowTexts(rows[0]);
    ASSERT_EQ(cells.size(), statusHeaders().size());
    EXPECT_EQ(statusHeaders().mid(0, 3), (QStringList{"Database", "Check", "Main state"}));
    EXPECT_EQ(statusHeaders().mid(11, 2), (QStringList{"Mirror state", "Mirror role"}));
    EXPECT_EQ(statusHeaders().last(), "Hint");
    EXPECT_EQ(cells.mid(0, 6), (QStringList{"Billing", "ok", "ONLINE", "PRINCIPAL", "", ""}));
    EXPECT_EQ(cells.mid(11, 5), (QStringList{"RESTORING", "MIRROR", "", "OFF", ""}));
    EXPECT_EQ(cells.last(), "");
}

TEST(StatusRowsFromResults, RatesComeFromTwoReadingsOfTheTotals) {
    ResultTable first{{"database_name", "counter_name", "cntr_value"},
                      {{"Billing", "Log Send Queue KB", 10},
                       {"Billing", "Log Bytes Sent/sec", 1000000},
                       {"Billing", "Redo Bytes/sec", 0}}};
    ResultTable second{{"database_name", "counter_name", "cntr_value"},
                       {{"billing", "Log Send Queue KB", 4},
                        {"billing", "Log Bytes Sent/sec", 1000000 + 2 * 1024 * 50},
                        {"billing", "Redo Bytes/sec", 0},
                        {"billing", "Redo Queue KB", 7}}};
    const CounterReading a = readCounters(first), b = readCounters(second);
    Side s;
    applyCounters(s, b.at("billing"), &a.at("billing"), 2.0);
    EXPECT_EQ(s.unsentKb, 4);
    EXPECT_EQ(s.unrestoredKb, 7);
    EXPECT_DOUBLE_EQ(*s.sendRate, 50.0);
    EXPECT_DOUBLE_EQ(*s.redoRate, 0.0);

    // Without an earlier reading, or after a restart set the totals back, there is no rate.
    Side once;
    applyCounters(once, b.at("billing"), nullptr, 0);
    EXPECT_FALSE(once.sendRate);
    Side restarted;
    applyCounters(restarted, a.at("billing"), &b.at("billing"), 2.0);
    EXPECT_FALSE(restarted.sendRate);
}
