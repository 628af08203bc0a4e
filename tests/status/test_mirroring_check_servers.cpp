// The mirroring check against two scripted servers through the real driver: each exit status from what the
// servers answer, only reads sent; and the program run as a monitoring system runs it, with no display,
// the boxes remembered or given by option and environment.

#include "PluginOutput.h"
#include "StatusServers.h"
#include "ToolRun.h"
#include "Unanswering.h"
#include "core/settings/SettingsStore.h"
#include "core/status/MirroringCheck.h"

#include <QTemporaryDir>
#include <memory>

using namespace quorix;
using namespace quorix::testing;

namespace {

const std::optional<std::string> null;

Row pair(const char *db, int slot, const char *mirroring) {
    return {db,
            slot == 0 ? "ONLINE" : "RESTORING",
            "FULL",
            slot == 0 ? "PRINCIPAL" : "MIRROR",
            mirroring,
            "FULL",
            slot == 0 ? "TCP://127.0.0.3:5024" : "TCP://127.0.0.2:5024",
            "1024"};
}

struct Answers {
    const char *billingState; // Billing's mirroring state on both servers
    const char *sendQueue;    // Main's "Log Send Queue KB" for Billing
    bool mirrorDown;
};

class CheckServers : public MirroringWindow {
protected:
    void answer(const Answers &a) {
        for (int slot = 0; slot < 2; ++slot) {
            std::vector<Row> rows = {pair("Billing", slot, a.billingState),
                                     pair("Lab", slot, "SYNCHRONIZING")};
            if (slot == 0)
                rows.push_back({"Radiology", "ONLINE", "FULL", null, null, null, null, "1024"});
            answerDatabases(server(slot), rows);
        }
        answerCounters(*main, "Billing", std::string("Log Send Queue KB=") + a.sendQueue,
                       "Log Bytes Sent/sec", mainBytes);
        answerCounters(*mirror, "Billing", "Redo Queue KB=0", "Redo Bytes/sec", mirrorBytes);
        if (a.mirrorDown)
            mirror->stop();
    }

    status::CheckResult check() {
        // The pause between the two readings moves the reader's clock instead of waiting.
        auto now = std::make_shared<qint64>(0);
        status::StatusReader reader(
            [this](int slot) { return clearTarget(server(slot), slot == 0 ? "pwMain" : "pwMirror"); },
            [now](int ms) { *now += qint64{ms} * 1000000; }, [now] { return *now; });
        const status::Reading reading = reader.read();
        return status::checkMirroring(
            reading, status::statusRowsOf(reading, {serverBox(*main), serverBox(*mirror)}), {});
    }

    std::shared_ptr<std::atomic<long long>> mainBytes = std::make_shared<std::atomic<long long>>(0);
    std::shared_ptr<std::atomic<long long>> mirrorBytes = std::make_shared<std::atomic<long long>>(0);
};

} // namespace

TEST_F(CheckServers, EachExitStatusFromTheServersAnswers) {
    struct Case {
        const char *what;
        Answers answers;
        int exitCode;
        QString statusLine; // the whole line, or its start when it ends with the driver's words
    };
    const Case cases[] = {
        {"all synchronized", {"SYNCHRONIZED", "0", false}, 0, "MIRRORING OK - 2 of 2 databases ok"},
        {"suspended",
         {"SUSPENDED", "0", false},
         2,
         "MIRRORING CRITICAL - Billing suspended - 1 of 2 databases ok"},
        {"a send queue over the warning threshold",
         {"SYNCHRONIZED", "20480", false},
         1,
         "MIRRORING WARNING - Billing send queue 20480 KB - 1 of 2 databases ok"},
        // The server read decides; the other is named, and keeps the check from OK.
        {"the Mirror down, Main in step",
         {"SYNCHRONIZED", "0", true},
         1,
         "MIRRORING WARNING - 2 of 2 databases ok - the Mirror could not be read: "},
        {"the Mirror down, Main disconnected",
         {"DISCONNECTED", "0", true},
         2,
         "MIRRORING CRITICAL - Billing disconnected - 1 of 2 databases ok - the Mirror could not be read: "},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        main->clearRules();
        mirror->clearRules();
        answer(c.answers);
        const status::CheckResult result = check();
        EXPECT_EQ(result.exitCode(), c.exitCode);
        EXPECT_TRUE(result.statusLine.startsWith(c.statusLine)) << result.statusLine.toStdString();
        EXPECT_TRUE(onlyReads(main->statements()));
        if (c.exitCode != 3) {
            // The rates come from two readings of the counters a second apart, 10 KB between them.
            const PluginOutput out = readPluginOutput(result.text());
            ASSERT_TRUE(out.unread.isEmpty()) << out.unread.toStdString();
            const PerfValue *sent = out.find("Billing send rate");
            ASSERT_NE(sent, nullptr) << result.text().toStdString();
            EXPECT_GT(sent->value.toDouble(), 0.5);
            EXPECT_LE(sent->value.toDouble(), 10.0);
            EXPECT_EQ(out.find("Billing unsent")->value, QString::fromLatin1(c.answers.sendQueue));
            EXPECT_EQ(out.find("Lab unsent")->value, "U"); // no counters answered for it
        }
    }
}

TEST_F(CheckServers, TheProgramChecksWithNoDisplayWithTheRememberedOrGivenBoxes) {
    answer({"SUSPENDED", "0", false});
    QTemporaryDir home;
    {
        // What the window remembered for Main; the Mirror is given for this run only.
        SettingsStore store;
        store.openFile(home.filePath("quorix-dbtools.ini"));
        store.write("MIR", "txtServer0", serverBox(*main));
        store.write("MIR", "DB0", "pwMain");
    }
    const QStringList noDisplay = {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"};
    const QStringList args = {"--check-mirroring", "--mirror-server", serverBox(*mirror), "--warn-queue-kb",
                              "512"};

    ToolRun r = runTool(args, home.path(), 60000, noDisplay, {"QUORIX_MIRROR_PW=pwMirror"});
    EXPECT_EQ(r.status, 2) << r.out.toStdString() << r.err.toStdString();
    const PluginOutput out = readPluginOutput(r.out);
    ASSERT_TRUE(out.unread.isEmpty()) << out.unread.toStdString() << "\n" << r.out.toStdString();
    EXPECT_EQ(out.statusLine, "MIRRORING CRITICAL - Billing suspended - 1 of 2 databases ok");
    EXPECT_EQ(out.longText,
              QStringList{
                  "Billing: suspended: find the cause in the servers' error logs first, then resume it with "
                  "ALTER DATABASE Billing SET PARTNER RESUME on Main"});
    ASSERT_EQ(out.perf.size(), 8u) << r.out.toStdString();
    EXPECT_EQ(out.perf[0].label, "Billing unsent");
    EXPECT_EQ(out.perf[0].uom, "KB");
    EXPECT_EQ(out.perf[0].warn, "512");
    EXPECT_EQ(out.perf[0].crit, "102400");
    EXPECT_TRUE(r.err.isEmpty()) << r.err.toStdString();
    EXPECT_TRUE(onlyReads(mirror->statements()));
    // Only read: the settings hold what they held.
    SettingsStore store;
    store.openFile(home.filePath("quorix-dbtools.ini"));
    EXPECT_EQ(store.keys("MIR"), (QStringList{"DB0", "txtServer0"}));

    // A password the Mirror refuses: Main's reading decides, and the Mirror's refusal is named.
    r = runTool(args, home.path(), 60000, noDisplay, {"QUORIX_MIRROR_PW=wrong"});
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(r.out.startsWith("MIRRORING CRITICAL - Billing suspended - 1 of 2 databases ok - the Mirror "
                                 "could not be read: "))
        << r.out.toStdString();
    EXPECT_FALSE(readPluginOutput(r.out).statusLine.contains(';')) << r.out.toStdString();
    // Neither password right: nothing to judge by.
    r = runTool(args, home.path(), 60000, noDisplay, {"QUORIX_MAIN_PW=wrong", "QUORIX_MIRROR_PW=wrong"});
    EXPECT_EQ(r.status, 3);
    EXPECT_TRUE(r.out.startsWith("MIRRORING UNKNOWN - Main could not be read: ")) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains(" - the Mirror could not be read: ")) << r.out.toStdString();
    EXPECT_EQ(r.out.count('\n'), 1) << r.out.toStdString();
}

TEST_F(CheckServers, AMonitoringLoginOfItsOwnReadsBothServers) {
    answer({"SYNCHRONIZED", "0", false});
    main->setLogin("quorix_monitor", "pwMain");
    mirror->setLogin("quorix_monitor", "pwMirror");
    QTemporaryDir home;
    const QStringList args = {"--check-mirroring", "--main-server",  serverBox(*main), "--mirror-server",
                              serverBox(*mirror),  "--mirror-login", "quorix_monitor"};
    const ToolRun r =
        runTool(args, home.path(), 60000, {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"},
                {"QUORIX_MAIN_PW=pwMain", "QUORIX_MIRROR_PW=pwMirror", "QUORIX_MAIN_LOGIN=quorix_monitor"});
    EXPECT_TRUE(r.out.startsWith("MIRRORING OK")) << r.out.toStdString() << r.err.toStdString();
    for (const tds::ScriptedServer *s : {main.get(), mirror.get()}) {
        ASSERT_FALSE(s->logins().empty());
        EXPECT_EQ(s->logins().back().user, "quorix_monitor");
        EXPECT_TRUE(s->logins().back().accepted);
    }
}

// A --trust-certificate that cannot be applied (the server presents another certificate) is said, in the
// plugin's long text and on stderr, and nothing is kept: the run goes on as it would have without it.
TEST_F(CheckServers, ATrustedFingerprintThatCannotBeAppliedIsSaid) {
    answer({"SYNCHRONIZED", "0", false});
    QTemporaryDir home;
    const std::string &given = testCertificates().otherSelfSigned.fingerprint;
    const std::string &presented = testCertificates().server.fingerprint;
    const ToolRun r =
        runTool({"--check-mirroring", "--main-server", serverBox(*main), "--mirror-server",
                 serverBox(*mirror), "--trust-certificate", QString::fromStdString("1=" + given)},
                home.path(), 60000, {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"},
                {"QUORIX_MAIN_PW=pwMain", "QUORIX_MIRROR_PW=pwMirror"});
    const QString said = QString::fromStdString("--trust-certificate 1=" + given + " was not applied: ") +
                         serverBox(*mirror) +
                         QString::fromStdString(" presents the certificate " + presented + ", not " + given);
    EXPECT_EQ(r.status, 0) << r.out.toStdString() << r.err.toStdString();
    const PluginOutput out = readPluginOutput(r.out);
    EXPECT_TRUE(out.statusLine.startsWith("MIRRORING OK")) << r.out.toStdString();
    EXPECT_EQ(out.longText, QStringList{said}) << r.out.toStdString();
    EXPECT_EQ(r.err, said + "\n");
}

// A server that takes the connection and never answers (at the login, or at a statement) is given up
// after --timeout, named with its address; the other server's reading still decides. The timeouts leave
// the answering server's login room on a loaded machine (a login with TLS has taken over 2 s there).
TEST_F(CheckServers, AServerThatNeverAnswersIsGivenUpAfterTheTimeout) {
    answer({"DISCONNECTED", "0", false});
    QTemporaryDir home;
    const QStringList noDisplay = {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"};
    const QStringList passwords = {"QUORIX_MAIN_PW=pwMain", "QUORIX_MIRROR_PW=pwMirror"};
    const SilentListener silent("127.0.0.4");

    ToolRun r = runTool({"--check-mirroring", "--main-server", serverBox(*main), "--mirror-server",
                         silent.box(), "--timeout", "5"},
                        home.path(), 60000, noDisplay, passwords);
    EXPECT_EQ(r.status, 2) << r.out.toStdString() << r.err.toStdString();
    EXPECT_EQ(
        readPluginOutput(r.out).statusLine,
        "MIRRORING CRITICAL - Billing disconnected - 1 of 2 databases ok - the Mirror could not be read: " +
            silent.box() + " timed out after 5 s");

    // Main's login answered but its first read held, the Mirror silent: nothing could be judged.
    HeldReply held;
    main->clearRules();
    main->clearRecord();
    main->addRule(held.rule(kDatabasesRead, Reply::done()));
    r = runTool({"--check-mirroring", "--main-server", serverBox(*main), "--mirror-server", silent.box(),
                 "--timeout", "3"},
                home.path(), 60000, noDisplay, passwords);
    held.release();
    EXPECT_EQ(r.status, 3) << r.out.toStdString() << r.err.toStdString();
    EXPECT_EQ(r.out, "MIRRORING UNKNOWN - Main could not be read: " + serverBox(*main) +
                         " timed out after 3 s - the Mirror could not be read: " + silent.box() +
                         " timed out after 3 s\n");
    EXPECT_EQ(main->batches(), std::vector<std::string>{kDatabasesRead});
}
