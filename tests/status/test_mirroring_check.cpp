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
         "MIRRORING CRITICAL - Billing suspended; 2 of 3 databases ok",
         {"Billing: suspended"}},
        {"principal on both sides",
         {row("Billing", principal("DISCONNECTED"), principal("DISCONNECTED"))},
         CheckStatus::Critical,
         "MIRRORING CRITICAL - Billing principal on both servers; 0 of 1 databases ok",
         {"Billing: principal on both servers"}},
        {"a mirrored database suspect",
         {row("Billing", on("SUSPECT", "PRINCIPAL", "SYNCHRONIZED"), mirrorOf()), lab},
         CheckStatus::Critical,
         "MIRRORING CRITICAL - Billing SUSPECT on Main; 1 of 2 databases ok",
         {"Billing: "}},
        {"a database offline, mirrored or not",
         {row("Billing", on("OFFLINE"), absent), lab},
         CheckStatus::Critical,
         "MIRRORING CRITICAL - Billing OFFLINE on Main; 1 of 2 databases ok",
         {"Billing: OFFLINE on Main"}},
        {"mirrored on one side only",
         {row("Billing", principal("DISCONNECTED"), absent), lab},
         CheckStatus::Warning,
         "MIRRORING WARNING - Billing mirrored on Main only; 1 of 2 databases ok",
         {"Billing: mirrored on Main only"}},
        {"a send queue over the warning threshold",
         {row("Billing", principal("SYNCHRONIZING", {20480, 0}), mirrorOf("SYNCHRONIZING", {0, 0})), lab},
         CheckStatus::Warning,
         "MIRRORING WARNING - Billing send queue 20480 KB; 1 of 2 databases ok",
         {"Billing: send queue 20480 KB is over 10240 KB"}},
        {"a redo queue over the critical threshold",
         {row("Billing", principal("SYNCHRONIZED", {0, 0}), mirrorOf("SYNCHRONIZED", {0, 204800})), lab},
         CheckStatus::Critical,
         "MIRRORING CRITICAL - Billing redo queue 204800 KB; 1 of 2 databases ok",
         {"Billing: redo queue 204800 KB is over 102400 KB"}},
        {"a partner the boxes do not name",
         {row("Billing", principal(), mirrorOf(), "TCP://oldsrv:5024"), lab},
         CheckStatus::Warning,
         "MIRRORING WARNING - Billing partnered with TCP://oldsrv:5024, not with the Mirror "
         "(TCP://mirrorsrv:5024); "
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
         "MIRRORING WARNING - Billing unsynchronized; 0 of 1 databases ok",
         {"Billing: unsynchronized"}},
        {"anything else the grid says needs action",
         {row("Radiology", on("ONLINE"), on("RESTORING")), lab},
         CheckStatus::Warning,
         "MIRRORING WARNING - Radiology restored on the Mirror but not partnered; 1 of 2 databases ok",
         {"Radiology: restored on the Mirror but not partnered: "}},
        {"the worst first, three named, the rest counted",
         {row("Billing", principal("SYNCHRONIZING", {20480, 0}), mirrorOf("SYNCHRONIZING")),
          row("Finance", principal("DISCONNECTED"), mirrorOf("DISCONNECTED")),
          row("Lab", principal("DISCONNECTED"), absent),
          row("Payroll", principal("SUSPENDED"), mirrorOf("SUSPENDED")),
          row("Pharmacy", principal(), mirrorOf()), row("Radiology", on("ONLINE"), on("RESTORING"))},
         CheckStatus::Critical,
         "MIRRORING CRITICAL - Finance disconnected, Payroll suspended, Billing send queue 20480 KB and 2 "
         "more; "
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
        // A database the grid hints at carries the grid's hint, word for word.
        for (const StatusRow &r : c.rows)
            if (r.verdict.mark == Mark::Action && result.details.filter(r.db + ": ").size() > 0)
                EXPECT_TRUE(result.details.contains(r.db + ": " + r.verdict.hint))
                    << r.verdict.hint.toStdString() << "\n"
                    << result.details.join('\n').toStdString();
    }
}

TEST(MirroringCheck, AServerNotReadOrItsCountersRefusedIsUnknown) {
    const std::vector<StatusRow> rows = {row("Billing", principal(), mirrorOf())};
    Reading mirrorDown = bothRead();
    mirrorDown[1] = ServerReading{};
    mirrorDown[1].failure = "[FreeTDS][SQL Server]Unable to connect to data source";
    Reading refused = bothRead();
    refused[0].countersRead = false;
    refused[0].failure = "[FreeTDS][SQL Server]VIEW SERVER STATE permission was denied\non object 'server'";
    Reading bothDown;
    bothDown[0].failure = "A|B";
    bothDown[1].failure = "C";

    const std::pair<Reading, QString> cases[] = {
        {mirrorDown,
         "MIRRORING UNKNOWN - the Mirror could not be read: [FreeTDS][SQL Server]Unable to connect "
         "to data source"},
        {refused,
         "MIRRORING UNKNOWN - Main's mirroring counters could not be read: [FreeTDS][SQL Server]VIEW "
         "SERVER STATE permission was denied on object 'server'"},
        // A '|' would start performance data for a monitor.
        {bothDown, QString("MIRRORING UNKNOWN - Main could not be read: A") + QChar(0x00A6) +
                       "B; the Mirror could not be read: C"},
    };
    for (const auto &[reading, line] : cases) {
        const CheckResult result = checkMirroring(reading, rows, QueueThresholds{});
        EXPECT_EQ(result.status, CheckStatus::Unknown);
        EXPECT_EQ(result.exitCode(), 3);
        EXPECT_EQ(result.text(), line);
    }
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
    EXPECT_EQ(out.statusLine, "MIRRORING WARNING - Billing send queue 20480 KB; 1 of 2 databases ok");
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
        // No counters for a database: undetermined. A quote or '=' in a name does not end its label.
        {"Lab_s _ 2 unsent", "U", "", "2048", "40960"},
        {"Lab_s _ 2 redo rate", "U", "", "", ""},
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
