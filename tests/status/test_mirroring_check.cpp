// The mirroring check's judgement of a reading, case by case: the exit status, the status line and the
// lines of the databases that need action, written out; the performance data read back as a monitor reads
// it.

#include "PluginOutput.h"
#include "TestText.h"
#include "core/status/MirroringCheck.h"

#include <gtest/gtest.h>

using namespace quorix::status;
using quorix::testing::readPluginOutput;

namespace {

struct Queues {
    std::optional<qint64> unsent, unrestored;
    std::optional<double> sendRate, redoRate;
};

Side on(const char *state, const char *role = "", const char *mirroring = "", Queues q = {}) {
    Side s;
    s.present = true;
    s.state = QLatin1String(state);
    s.role = QLatin1String(role);
    s.mirroringState = QLatin1String(mirroring);
    s.unsentKb = q.unsent;
    s.unrestoredKb = q.unrestored;
    s.sendRate = q.sendRate;
    s.redoRate = q.redoRate;
    return s;
}
const Side absent{};

Side principal(const char *mirroring = "SYNCHRONIZED", Queues q = {}) {
    return on("ONLINE", "PRINCIPAL", mirroring, q);
}
Side mirrorOf(const char *mirroring = "SYNCHRONIZED", Queues q = {}) {
    return on("RESTORING", "MIRROR", mirroring, q);
}

// Each partnered with the other, as the boxes name them, unless mainPartner says otherwise.
StatusRow row(const char *db, Side main, Side mirror, const char *mainPartner = "TCP://mirrorsrv:5024") {
    if (!main.role.isEmpty())
        main.partner = QLatin1String(mainPartner);
    if (!mirror.role.isEmpty())
        mirror.partner = "TCP://mainsrv:5024";
    StatusRow r{QLatin1String(db), std::move(main), std::move(mirror), {}};
    r.verdict = judge(r.db, r.main, r.mirror, PairFacts{"TCP://mainsrv:5024", "TCP://mirrorsrv:5024"});
    return r;
}

Reading bothRead() {
    Reading reading;
    for (ServerReading &r : reading)
        r.read = r.countersRead = true;
    return reading;
}

struct CheckCase {
    const char *what;
    std::vector<StatusRow> rows;
    CheckStatus status;
    QString statusLine;
    QStringList problems; // the start of each detail line after "Database: "
};

} // namespace

TEST(MirroringCheck, EachStateOfThePairsGivesItsStatusAndLine) {
    const StatusRow lab = row("Lab", principal("SYNCHRONIZING"), mirrorOf("SYNCHRONIZING"));
    const StatusRow payroll = row("Payroll", principal(), mirrorOf());
    const StatusRow archive = row("Archive", absent, on("ONLINE")); // not mirrored: not counted
    const CheckCase cases[] = {
        {"all synchronized or synchronizing",
         {archive, row("Billing", principal(), mirrorOf()), lab, payroll},
         CheckStatus::Ok,
         "MIRRORING OK - 3 of 3 databases ok",
         {}},
        {"suspended",
         {row("Billing", principal("SUSPENDED"), mirrorOf("SUSPENDED")), lab, payroll},
         CheckStatus::Critical,
         "MIRRORING CRITICAL - Billing suspended - 2 of 3 databases ok",
         {"Billing: suspended"}},
        {"principal on both sides",
         {row("Billing", principal("DISCONNECTED"), principal("DISCONNECTED"))},
         CheckStatus::Critical,
         "MIRRORING CRITICAL - Billing principal on both servers - 0 of 1 databases ok",
         {"Billing: principal on both servers"}},
        {"a mirrored database suspect",
         {row("Billing", on("SUSPECT", "PRINCIPAL", "SYNCHRONIZED"), mirrorOf()), lab},
         CheckStatus::Critical,
         "MIRRORING CRITICAL - Billing SUSPECT on Main - 1 of 2 databases ok",
         {"Billing: "}},
        {"a database offline, mirrored or not",
         {row("Billing", on("OFFLINE"), absent), lab},
         CheckStatus::Critical,
         "MIRRORING CRITICAL - Billing OFFLINE on Main - 1 of 2 databases ok",
         {"Billing: OFFLINE on Main"}},
        {"mirrored on one side only",
         {row("Billing", principal("DISCONNECTED"), absent), lab},
         CheckStatus::Warning,
         "MIRRORING WARNING - Billing mirrored on Main only - 1 of 2 databases ok",
         {"Billing: mirrored on Main only"}},
        {"a send queue over the warning threshold",
         {row("Billing", principal("SYNCHRONIZING", {20480, 0}), mirrorOf("SYNCHRONIZING", {0, 0})), lab},
         CheckStatus::Warning,
         "MIRRORING WARNING - Billing send queue 20480 KB - 1 of 2 databases ok",
         {"Billing: send queue 20480 KB is over 10240 KB"}},
        {"a redo queue over the critical threshold",
         {row("Billing", principal("SYNCHRONIZED", {0, 0}), mirrorOf("SYNCHRONIZED", {0, 204800})), lab},
         CheckStatus::Critical,
         "MIRRORING CRITICAL - Billing redo queue 204800 KB - 1 of 2 databases ok",
         {"Billing: redo queue 204800 KB is over 102400 KB"}},
        {"a partner the boxes do not name",
         {row("Billing", principal(), mirrorOf(), "TCP://oldsrv:5024"), lab},
         CheckStatus::Warning,
         "MIRRORING WARNING - Billing partnered with TCP://oldsrv:5024, not with the Mirror "
         "(TCP://mirrorsrv:5024) - "
         "1 of 2 databases ok",
         {"Billing: partnered with TCP://oldsrv:5024"}},
        {"a queue at the threshold is not over it",
         {row("Billing", principal("SYNCHRONIZING", {10240, 0}), mirrorOf("SYNCHRONIZING", {0, 10240}))},
         CheckStatus::Ok,
         "MIRRORING OK - 1 of 1 databases ok",
         {}},
        {"a pair that is neither synchronized nor synchronizing",
         {row("Billing", principal("UNSYNCHRONIZED"), mirrorOf("UNSYNCHRONIZED"))},
         CheckStatus::Warning,
         "MIRRORING WARNING - Billing unsynchronized - 0 of 1 databases ok",
         {"Billing: unsynchronized"}},
        {"anything else the grid says needs action",
         {row("Radiology", on("ONLINE"), on("RESTORING")), lab},
         CheckStatus::Warning,
         "MIRRORING WARNING - Radiology restored on the Mirror but not partnered - 1 of 2 databases ok",
         {"Radiology: restored on the Mirror but not partnered: "}},
        {"the worst first, three named, the rest counted",
         {row("Billing", principal("SYNCHRONIZING", {20480, 0}), mirrorOf("SYNCHRONIZING")),
          row("Finance", principal("DISCONNECTED"), mirrorOf("DISCONNECTED")),
          row("Lab", principal("DISCONNECTED"), absent),
          row("Payroll", principal("SUSPENDED"), mirrorOf("SUSPENDED")),
          row("Pharmacy", principal(), mirrorOf()), row("Radiology", on("ONLINE"), on("RESTORING"))},
         CheckStatus::Critical,
         "MIRRORING CRITICAL - Finance disconnected, Payroll suspended, Billing send queue 20480 KB and 2 "
         "more - "
         "1 of 6 databases ok",
         {"Finance: disconnected", "Payroll: suspended", "Billing: send queue 20480 KB is over 10240 KB",
          "Lab: mirrored on Main only", "Radiology: restored on the Mirror but not partnered"}},
        {"nothing mirrored", {archive}, CheckStatus::Ok, "MIRRORING OK - no database is mirrored", {}},
    };
    for (const CheckCase &c : cases) {
        SCOPED_TRACE(c.what);
        const CheckResult result = checkMirroring(bothRead(), c.rows, QueueThresholds{});
        EXPECT_EQ(result.status, c.status);
        EXPECT_EQ(result.exitCode(), static_cast<int>(c.status));
        EXPECT_EQ(result.statusLine, c.statusLine);
        ASSERT_EQ(result.details.size(), c.problems.size()) << result.details.join('\n').toStdString();
        for (qsizetype i = 0; i < c.problems.size(); ++i)
            EXPECT_TRUE(result.details[i].startsWith(c.problems[i])) << result.details[i].toStdString();
        // A database the grid hints at carries the grid's hint, word for word but for its ';', which
        // Nagios would turn into ':' (a ',' instead).
        for (const StatusRow &r : c.rows)
            if (r.verdict.mark == Mark::Action && result.details.filter(r.db + ": ").size() > 0)
                EXPECT_TRUE(result.details.contains(r.db + ": " + QString(r.verdict.hint).replace(';', ',')))
                    << r.verdict.hint.toStdString() << "\n"
                    << result.details.join('\n').toStdString();
        for (const QString &line : result.details)
            EXPECT_FALSE(line.contains(';')) << line.toStdString();
    }
}

namespace {

const QString kUnreachable = "[FreeTDS][SQL Server]Unable to connect to data source";

// A reading in which one server (slot) could not be read, and the rows statusRowsOf gives for it: the
// unread side absent from every row.
Reading oneUnread(size_t slot, const QString &failure = kUnreachable) {
    Reading reading = bothRead();
    reading[slot] = ServerReading{};
    reading[slot].failure = failure;
    return reading;
}
StatusRow rowRead(const char *db, Side main, Side mirror, bool mainRead) {
    StatusRow r{QLatin1String(db), std::move(main), std::move(mirror), {}};
    r.verdict = judge(r.db, r.main, r.mirror,
                      PairFacts{"TCP://mainsrv:5024", "TCP://mirrorsrv:5024", mainRead, !mainRead});
    return r;
}

} // namespace

// The server that answered decides; the one that did not is named after the databases, and keeps the
// check from OK.
TEST(MirroringCheck, TheServerReadDecidesAndTheOtherIsNamed) {
    const struct {
        const char *what;
        Reading reading;
        std::vector<StatusRow> rows;
        CheckStatus status;
        QString statusLine;
        QStringList details;
    } cases[] = {
        {"the Mirror down, Main disconnected",
         oneUnread(1),
         {rowRead("Billing", principal("DISCONNECTED"), absent, true)},
         CheckStatus::Critical,
         "MIRRORING CRITICAL - Billing disconnected - 0 of 1 databases ok - the Mirror could not be read: "
         "[FreeTDS][SQL Server]Unable to connect to data source",
         {"Billing: disconnected"}},
        {"the Mirror down, Main suspended",
         oneUnread(1),
         {rowRead("Billing", principal("SUSPENDED"), absent, true),
          rowRead("Lab", principal("SYNCHRONIZED"), absent, true)},
         CheckStatus::Critical,
         "MIRRORING CRITICAL - Billing suspended - 1 of 2 databases ok - the Mirror could not be read: "
         "[FreeTDS][SQL Server]Unable to connect to data source",
         {"Billing: suspended"}},
        {"the Mirror's login refused, Main in step with it",
         oneUnread(1, "[FreeTDS][SQL Server]Login failed for user 'monitor'; check the password"),
         {rowRead("Archive", on("ONLINE"), absent, true),
          rowRead("Billing", principal("SYNCHRONIZED"), absent, true)},
         CheckStatus::Warning,
         "MIRRORING WARNING - 1 of 1 databases ok - the Mirror could not be read: [FreeTDS][SQL Server]Login "
         "failed for user 'monitor', check the password",
         {}},
        {"Main down, the Mirror serving alone after a failover",
         oneUnread(0),
         {rowRead("Billing", absent, principal("DISCONNECTED"), false)},
         CheckStatus::Critical,
         "MIRRORING CRITICAL - Billing disconnected - 0 of 1 databases ok - Main could not be read: "
         "[FreeTDS][SQL Server]Unable to connect to data source",
         {"Billing: disconnected"}},
        {"Main down, the Mirror waiting for its principal",
         oneUnread(0, "server01,1433 timed out after 8 s"),
         {rowRead("Billing", absent, mirrorOf("DISCONNECTED"), false),
          rowRead("Lab", absent, mirrorOf("SYNCHRONIZING"), false)},
         CheckStatus::Critical,
         "MIRRORING CRITICAL - Billing disconnected - 1 of 2 databases ok - Main could not be read: "
         "server01,1433 timed out after 8 s",
         {"Billing: disconnected"}},
        {"the Mirror down, a database offline on Main",
         oneUnread(1),
         {rowRead("Billing", on("OFFLINE"), absent, true)},
         CheckStatus::Critical,
         "MIRRORING CRITICAL - Billing OFFLINE on Main - 0 of 1 databases ok - the Mirror could not be "
         "read: [FreeTDS][SQL Server]Unable to connect to data source",
         {"Billing: OFFLINE on Main"}},
        {"Main's counters refused, both in step",
         [] {
             Reading r = bothRead();
             r[0].countersRead = false;
             r[0].failure =
                 "[FreeTDS][SQL Server]VIEW SERVER STATE permission was denied\non object 'server'";
             return r;
         }(),
         {row("Billing", principal(), mirrorOf())},
         CheckStatus::Warning,
         "MIRRORING WARNING - 1 of 1 databases ok - Main's mirroring counters could not be read: "
         "[FreeTDS][SQL Server]VIEW SERVER STATE permission was denied on object 'server'",
         {}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        const CheckResult result = checkMirroring(c.reading, c.rows, QueueThresholds{});
        EXPECT_EQ(result.status, c.status);
        EXPECT_EQ(result.statusLine, c.statusLine);
        EXPECT_EQ(result.details, c.details);
        // Nagios turns a ';' of the text into ':'; the performance data keep theirs.
        EXPECT_FALSE(result.statusLine.contains(';')) << result.statusLine.toStdString();
    }
}

TEST(MirroringCheck, NeitherServerReadIsUnknown) {
    const std::vector<StatusRow> rows = {};
    Reading bothDown;
    bothDown[0].failure = "A|B";
    bothDown[1].failure = "C; D";
    const CheckResult result = checkMirroring(bothDown, rows, QueueThresholds{});
    EXPECT_EQ(result.status, CheckStatus::Unknown);
    EXPECT_EQ(result.exitCode(), 3);
    // A '|' would start performance data for a monitor; Nagios would turn the ';' into ':'.
    EXPECT_EQ(result.text(), QString("MIRRORING UNKNOWN - Main could not be read: A") + QChar(0x00A6) +
                                 "B - the Mirror could not be read: C, D");
}

TEST(MirroringCheck, PerformanceDataReadsBackPerMirroredDatabase) {
    const std::vector<StatusRow> rows = {
        row("Archive", absent, on("ONLINE")),
        row("Billing", principal("SYNCHRONIZING", {20480, 0, 512.5, std::nullopt}),
            mirrorOf("SYNCHRONIZING", {0, 3, std::nullopt, 480.75})),
        row("Lab's = 2", principal("SYNCHRONIZED"), mirrorOf("SYNCHRONIZED")),
    };
    const CheckResult result = checkMirroring(bothRead(), rows, QueueThresholds{2048, 40960});
    const auto out = readPluginOutput(result.text());
    ASSERT_TRUE(out.unread.isEmpty()) << out.unread.toStdString() << "\n" << result.text().toStdString();
    EXPECT_EQ(out.statusLine, "MIRRORING WARNING - Billing send queue 20480 KB - 1 of 2 databases ok");
    EXPECT_TRUE(result.text().contains("'Lab''s _ 2 unsent'=U;2048;40960;0")) << result.text().toStdString();
    EXPECT_EQ(out.longText, QStringList{"Billing: send queue 20480 KB is over 2048 KB"});
    ASSERT_EQ(out.perf.size(), 8u) << result.text().toStdString();

    struct Expected {
        const char *label, *value, *uom, *warn, *crit;
    };
    const Expected expected[] = {
        {"Billing unsent", "20480", "KB", "2048", "40960"},
        {"Billing unrestored", "3", "KB", "2048", "40960"},
        {"Billing send rate", "512.5", "", "", ""},
        {"Billing redo rate", "480.8", "", "", ""},
        // No counters for a database: undetermined. A quote in a name is doubled in its label, as the
        // plugin guidelines say (read back as one quote); an '=' cannot stand in a label at all.
        {"Lab's _ 2 unsent", "U", "", "2048", "40960"},
        {"Lab's _ 2 redo rate", "U", "", "", ""},
    };
    for (const Expected &e : expected) {
        const auto *p = out.find(e.label);
        ASSERT_NE(p, nullptr) << e.label << "\n" << result.text().toStdString();
        EXPECT_EQ(p->value, e.value) << e.label;
        EXPECT_EQ(p->uom, e.uom) << e.label;
        EXPECT_EQ(p->warn, e.warn) << e.label;
        EXPECT_EQ(p->crit, e.crit) << e.label;
        EXPECT_EQ(p->min, "0") << e.label;
    }
}

// Names that would share a label once a label's rules are applied keep a label each.
TEST(MirroringCheck, EveryPerformanceLabelIsUnique) {
    const std::vector<StatusRow> rows = {
        row("a'b", principal(), mirrorOf()), row("a=b", principal(), mirrorOf()),
        row("a_b", principal(), mirrorOf()), row("a_b (2)", principal(), mirrorOf()),
        row("a|b", principal(), mirrorOf()),
    };
    const CheckResult result = checkMirroring(bothRead(), rows, QueueThresholds{});
    const auto out = readPluginOutput(result.text());
    ASSERT_TRUE(out.unread.isEmpty()) << out.unread.toStdString() << "\n" << result.text().toStdString();
    QStringList labels;
    for (const auto &p : out.perf)
        labels << p.label;
    EXPECT_EQ(
        labels,
        (QStringList{
            "a'b unsent",         "a'b unrestored",         "a'b send rate",         "a'b redo rate",
            "a_b unsent",         "a_b unrestored",         "a_b send rate",         "a_b redo rate",
            "a_b (2) unsent",     "a_b (2) unrestored",     "a_b (2) send rate",     "a_b (2) redo rate",
            "a_b (2) (2) unsent", "a_b (2) (2) unrestored", "a_b (2) (2) send rate", "a_b (2) (2) redo rate",
            "a_b (3) unsent",     "a_b (3) unrestored",     "a_b (3) send rate",     "a_b (3) redo rate"}));
}
