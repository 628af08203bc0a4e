// The verdicts of the Status grid and the pre-flight checklist, case by case, with the hints written out.

#include "TestText.h"
#include "core/status/PreflightChecks.h"
#include "core/status/StatusRows.h"

#include <gtest/gtest.h>

using namespace quorix::status;

namespace {

Side on(const char *state, const char *role = "", const char *mirroring = "", const char *partner = "") {
    Side s;
    s.present = true;
    s.state = QLatin1String(state);
    s.role = QLatin1String(role);
    s.mirroringState = QLatin1String(mirroring);
    s.partner = QLatin1String(partner);
    return s;
}
const Side absent{};

// The server boxes hold "MAINSRV" and "MIRRORSRV\PROD,1433"; each side reports its partner as "Set
// Partner" named it, in whatever letter case.
const PairFacts pair{"TCP://MAINSRV:5024", "TCP://MIRRORSRV:5024"};
Side onMain(const char *state, const char *role, const char *mirroring,
            const char *partner = "TCP://mirrorsrv:5024") {
    return on(state, role, mirroring, partner);
}
Side onMirror(const char *state, const char *role, const char *mirroring,
              const char *partner = "TCP://MAINSRV:5024") {
    return on(state, role, mirroring, partner);
}

const char *const kAgain =
    "then mirror it again: \"Backup\", \"Copy ->\", \"Restore\", \"<- Set Partner\", \"Set Partner ->\"";

struct JudgeCase {
    const char *what;
    Side main, mirror;
    Mark mark;
    QString hint;
};

} // namespace

TEST(StatusVerdicts, EndpointAddressIsTheBoxsHostOnPort5024) {
    EXPECT_EQ(endpointAddress("MAINSRV"), "TCP://MAINSRV:5024");
    EXPECT_EQ(endpointAddress(" MIRRORSRV\\PROD,1433 "), "TCP://MIRRORSRV:5024");
    EXPECT_EQ(endpointAddress("10.0.0.7,1450"), "TCP://10.0.0.7:5024");
    EXPECT_EQ(endpointAddress(""), "");
}

TEST(StatusVerdicts, EachStateOfAPairGetsItsMarkAndHint) {
    const JudgeCase cases[] = {
        {"healthy, synchronized", onMain("ONLINE", "PRINCIPAL", "SYNCHRONIZED"),
         onMirror("RESTORING", "MIRROR", "SYNCHRONIZED"), Mark::Healthy, ""},
        {"healthy with safety off", onMain("ONLINE", "PRINCIPAL", "SYNCHRONIZING"),
         onMirror("RESTORING", "MIRROR", "SYNCHRONIZING"), Mark::Healthy, ""},
        {"suspended", onMain("ONLINE", "PRINCIPAL", "SUSPENDED"),
         onMirror("RESTORING", "MIRROR", "SUSPENDED"), Mark::Action,
         "suspended: find the cause in the servers' error logs first, then resume it with ALTER DATABASE "
         "Billing SET PARTNER RESUME on Main"},
        {"suspended after a failover", onMain("RESTORING", "MIRROR", "SUSPENDED"),
         onMirror("ONLINE", "PRINCIPAL", "SUSPENDED"), Mark::Action,
         "suspended: find the cause in the servers' error logs first, then resume it with ALTER DATABASE "
         "Billing SET PARTNER RESUME on the Mirror"},
        {"disconnected", onMain("ONLINE", "PRINCIPAL", "DISCONNECTED"),
         onMirror("RESTORING", "MIRROR", "DISCONNECTED"), Mark::Action,
         "disconnected: the partners cannot reach each other's endpoint on port 5024; press \"Pre-flight\" "
         "to "
         "see which endpoint is missing or stopped, and start it with ALTER ENDPOINT Endpoint_Mirroring "
         "STATE "
         "= STARTED"},
        {"principal on both", onMain("ONLINE", "PRINCIPAL", "DISCONNECTED"),
         onMirror("ONLINE", "PRINCIPAL", "DISCONNECTED"), Mark::Action,
         QStringLiteral(
             "principal on both servers: decide which copy to keep, end mirroring on the other with "
             "\"Make Online / fix\" (Main) or \"Make Online (partner off)\" (Mirror), ") +
             kAgain},
        {"mirrored on Main, gone from the Mirror", onMain("ONLINE", "PRINCIPAL", "DISCONNECTED"), absent,
         Mark::Action,
         QStringLiteral("mirrored on Main only: press \"Make Online / fix\" to end it there, ") + kAgain},
        // In step with a partner at the Mirror's address that is not the copy the Mirror's box shows.
        {"mirrored on Main, in step with another instance", onMain("ONLINE", "PRINCIPAL", "SYNCHRONIZED"),
         on("ONLINE"), Mark::Action,
         "mirrored on Main only, yet SYNCHRONIZED with TCP://mirrorsrv:5024: that partner is not the server "
         "the Mirror's server box names (another instance of that machine?); check the box before changing "
         "anything here"},
        {"mirrored on the Mirror only", on("ONLINE"), onMirror("RESTORING", "MIRROR", "DISCONNECTED"),
         Mark::Action,
         "mirrored on the Mirror only: press \"Make Online (partner off)\" to keep the Mirror's copy, or "
         "\"DropDB\" in the Mirror column and mirror it again: \"Backup\", \"Copy ->\", \"Restore\", \"<- "
         "Set "
         "Partner\", \"Set Partner ->\""},
        {"the principal on the Mirror only", on("RESTORING"), onMirror("ONLINE", "PRINCIPAL", "DISCONNECTED"),
         Mark::Action,
         "mirrored on the Mirror only, where it is the principal and may hold the newest data: press \"Make "
         "Online (partner off)\" to keep it, then decide which copy to mirror from"},
        {"in step on the Mirror only", absent, onMirror("ONLINE", "PRINCIPAL", "SYNCHRONIZING"), Mark::Action,
         "mirrored on the Mirror only, yet SYNCHRONIZING with TCP://MAINSRV:5024: that partner is not the "
         "server Main's server box names (another instance of that machine?); check the box before changing "
         "anything here"},
        {"restored, not partnered", on("ONLINE"), on("RESTORING"), Mark::Action,
         "restored on the Mirror but not partnered: press \"<- Set Partner\", then \"Set Partner ->\""},
        {"restoring on the Mirror alone", absent, on("RESTORING"), Mark::Action,
         "restoring on the Mirror with no partner and not on Main: press \"Make Online (partner off)\" to "
         "recover it, or \"DropDB\" in the Mirror column"},
        {"restoring on Main", on("RESTORING"), absent, Mark::Action,
         "restoring on Main with no partner: press \"Make Online / fix\" to recover it"},
        // FAILOVER is refused with safety OFF and taken only on the principal; SAFETY only on the principal.
        {"fail-back", onMain("RESTORING", "MIRROR", "SYNCHRONIZING"),
         onMirror("ONLINE", "PRINCIPAL", "SYNCHRONIZING"), Mark::Action,
         "failed over: the Mirror's copy is the principal; to fail back (with safety OFF a failover is "
         "refused): on the Mirror ALTER DATABASE Billing SET PARTNER SAFETY FULL, wait until both sides show "
         "SYNCHRONIZED, on the Mirror from master ALTER DATABASE Billing SET PARTNER FAILOVER, then on Main "
         "ALTER DATABASE Billing SET PARTNER SAFETY OFF"},
        {"mirror on both", onMain("RESTORING", "MIRROR", "SYNCHRONIZED"),
         onMirror("RESTORING", "MIRROR", "SYNCHRONIZED"), Mark::Action,
         "the sides disagree: MIRROR on Main, MIRROR on the Mirror"},
        {"offline on Main", on("OFFLINE"), absent, Mark::Action,
         "OFFLINE on Main: bring it online with ALTER DATABASE Billing SET ONLINE"},
        // A principal that cannot serve beside a mirror holding its log: service moves to the mirror, and
        // before the suspended or disconnected hints, which would not bring it back.
        {"suspect principal, mirror synchronized", onMain("SUSPECT", "PRINCIPAL", "SUSPENDED"),
         onMirror("RESTORING", "MIRROR", "SYNCHRONIZED"), Mark::Action,
         "SUSPECT on Main, the principal, while the Mirror's copy is SYNCHRONIZED: bring service up on the "
         "Mirror with ALTER DATABASE Billing SET PARTNER FORCE_SERVICE_ALLOW_DATA_LOSS there (what Main had "
         "not sent yet is lost); do not restore Main's copy from its backup, which would lose the log the "
         "Mirror holds"},
        {"recovery pending, mirror synchronizing", onMain("RECOVERY_PENDING", "PRINCIPAL", "DISCONNECTED"),
         onMirror("RESTORING", "MIRROR", "SYNCHRONIZING"), Mark::Action,
         "RECOVERY_PENDING on Main, the principal, while the Mirror's copy is SYNCHRONIZING: bring service "
         "up "
         "on the Mirror with ALTER DATABASE Billing SET PARTNER FORCE_SERVICE_ALLOW_DATA_LOSS there (what "
         "Main had not sent yet is lost); do not restore Main's copy from its backup, which would lose the "
         "log the Mirror holds"},
        {"offline principal on the Mirror after a failover", onMain("RESTORING", "MIRROR", "SYNCHRONIZED"),
         onMirror("OFFLINE", "PRINCIPAL", "SYNCHRONIZED"), Mark::Action,
         "OFFLINE on the Mirror, the principal, while Main's copy is SYNCHRONIZED: bring service up on Main "
         "with ALTER DATABASE Billing SET PARTNER FORCE_SERVICE_ALLOW_DATA_LOSS there (what the Mirror had "
         "not sent yet is lost); do not restore the Mirror's copy from its backup, which would lose the log "
         "Main holds"},
        {"suspect principal, mirror suspended", onMain("SUSPECT", "PRINCIPAL", "SUSPENDED"),
         onMirror("RESTORING", "MIRROR", "SUSPENDED"), Mark::Action,
         "suspended: find the cause in the servers' error logs first, then resume it with ALTER DATABASE "
         "Billing SET PARTNER RESUME on Main"},
        {"suspect on Main, not mirrored", on("SUSPECT"), absent, Mark::Action,
         "SUSPECT on Main: see the server's error log and restore it from its backup"},
        {"suspect on the Mirror", on("ONLINE"), on("SUSPECT"), Mark::Action,
         QStringLiteral("SUSPECT on the Mirror: press \"DropDB\" in the Mirror column, ") + kAgain},
        // The Mirror's copy serves: it is never to be dropped.
        {"suspect principal on the Mirror", onMain("RESTORING", "MIRROR", "PENDING_FAILOVER"),
         onMirror("SUSPECT", "PRINCIPAL", "PENDING_FAILOVER"), Mark::Action,
         "SUSPECT on the Mirror: see the server's error log and restore it from its backup"},
        // Partnered with a third server: named, nothing to press.
        {"Main partnered elsewhere", onMain("ONLINE", "PRINCIPAL", "SYNCHRONIZED", "TCP://OTHERSRV:5024"),
         absent, Mark::Action,
         "partnered with TCP://OTHERSRV:5024, not with the Mirror (TCP://MIRRORSRV:5024): check which server "
         "that is before changing anything here"},
        {"the Mirror's copy partnered elsewhere", on("ONLINE"),
         onMirror("RESTORING", "MIRROR", "SYNCHRONIZED", "TCP://OLDMAIN:5024"), Mark::Action,
         "partnered with TCP://OLDMAIN:5024, not with Main (TCP://MAINSRV:5024): check which server that is "
         "before changing anything here"},
        {"both partnered elsewhere", onMain("SUSPECT", "PRINCIPAL", "SYNCHRONIZED", "TCP://A:5024"),
         onMirror("RESTORING", "MIRROR", "SYNCHRONIZED", "TCP://B:5024"), Mark::Action,
         "partnered with TCP://A:5024, not with the Mirror (TCP://MIRRORSRV:5024); partnered with "
         "TCP://B:5024, not with Main (TCP://MAINSRV:5024): check which servers those are before changing "
         "anything here"},
        {"on Main only", on("ONLINE"), absent, Mark::None, "not mirrored"},
        {"on both, neither mirrored", on("ONLINE"), on("ONLINE"), Mark::None, "not mirrored"},
        {"on the Mirror only", absent, on("ONLINE"), Mark::None, "not mirrored, on the Mirror only"},
    };
    for (const JudgeCase &c : cases) {
        const Verdict v = judge(QStringLiteral("Billing"), c.main, c.mirror, pair);
        EXPECT_EQ(v.mark, c.mark) << c.what;
        EXPECT_EQ(v.hint, c.hint) << c.what;
    }
    // A name that is no plain identifier is quoted in the statement a hint names.
    EXPECT_EQ(judge("Lab Data", on("OFFLINE"), absent, pair).hint,
              "OFFLINE on Main: bring it online with ALTER DATABASE [Lab Data] SET ONLINE");
    // With a server box empty the partners are not compared.
    EXPECT_EQ(judge("Billing", onMain("ONLINE", "PRINCIPAL", "SYNCHRONIZED", "TCP://OTHERSRV:5024"),
                    onMirror("RESTORING", "MIRROR", "SYNCHRONIZED"), PairFacts{"TCP://MAINSRV:5024", ""})
                  .mark,
              Mark::Healthy);
}

// Over every combination of roles, states and partners: no hint ends mirroring that is in step, drops the
// copy that serves, or offers any button for a copy that belongs to another pair.
TEST(StatusVerdicts, NoHintBreaksMirroringThatWorks) {
    const char *roles[] = {"", "PRINCIPAL", "MIRROR"};
    const char *states[] = {"ONLINE", "RESTORING", "SUSPECT", "RECOVERY_PENDING", "OFFLINE"};
    const char *mirrorings[] = {"SYNCHRONIZED", "SYNCHRONIZING", "SUSPENDED", "DISCONNECTED"};
    const char *mainPartners[] = {"TCP://MIRRORSRV:5024", "TCP://OTHERSRV:5024"};
    const char *mirrorPartners[] = {"TCP://mainsrv:5024", "TCP://OTHERSRV:5024"};
    std::vector<Side> mains{absent}, mirrors{absent};
    for (const char *role : roles)
        for (const char *state : states)
            for (const char *m : mirrorings) {
                for (const char *p : mainPartners)
                    mains.push_back(*role ? on(state, role, m, p) : on(state));
                for (const char *p : mirrorPartners)
                    mirrors.push_back(*role ? on(state, role, m, p) : on(state));
            }
    const auto inStep = [](const Side &s) {
        return s.mirroringState == "SYNCHRONIZED" || s.mirroringState == "SYNCHRONIZING";
    };
    int judged = 0;
    for (const Side &m : mains)
        for (const Side &r : mirrors) {
            const QString hint = judge("Billing", m, r, pair).hint;
            const QString what = QStringLiteral("%1/%2/%3/%4 | %5/%6/%7/%8")
                                     .arg(m.state, m.role, m.mirroringState, m.partner, r.state, r.role,
                                          r.mirroringState, r.partner);
            ++judged;
            if (r.role == "PRINCIPAL")
                EXPECT_FALSE(hint.contains("DropDB")) << what.toStdString();
            if (m.partner.contains("OTHERSRV") || r.partner.contains("OTHERSRV"))
                EXPECT_TRUE(hint.endsWith("before changing anything here") && !hint.contains("press") &&
                            !hint.contains("ALTER"))
                    << what.toStdString() << "\n"
                    << hint.toStdString();
            // A principal in step whose partner shows no principal of its own is not to be ended.
            if ((inStep(m) && m.role == "PRINCIPAL" && r.role != "PRINCIPAL") ||
                (inStep(r) && r.role == "PRINCIPAL" && m.role != "PRINCIPAL"))
                EXPECT_FALSE(hint.contains("Make Online")) << what.toStdString() << "\n"
                                                           << hint.toStdString();
        }
    EXPECT_EQ(judged, 121 * 121);
}

TEST(StatusVerdicts, AServerThatCouldNotBeReadLeavesEveryRowUnknown) {
    const Side healthy = onMain("ONLINE", "PRINCIPAL", "SYNCHRONIZED");
    Verdict v = judge("Billing", healthy, absent, PairFacts{"", "", true, false});
    EXPECT_EQ(v.mark, Mark::Unknown);
    EXPECT_EQ(v.hint,
              "the Mirror could not be read (see the log): check that the server runs and its server and "
              "PW boxes");
    EXPECT_TRUE(judge("Billing", absent, absent, PairFacts{"", "", false, false})
                    .hint.startsWith("Main and the Mirror could not"));
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

    const auto rows = statusRows(mainNames, main, mirrorNames, mirror, PairFacts{});
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
