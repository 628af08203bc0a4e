// The mirroring check run by a real monitoring engine: Debian's Nagios Core, started with its own
// configuration on loopback, runs the program against scripted servers, and what Nagios itself records in
// its status file is the proof. A dead Mirror beside a Main that reports the session DISCONNECTED is
// CRITICAL; a server that takes the connection and never answers is UNKNOWN within --timeout + 1 s.

#include "DbTestSupport.h"
#include "NagiosCore.h"
#include "PluginOutput.h"
#include "StatusReads.h"
#include "Unanswering.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace quorix::testing;
using namespace std::chrono_literals;

namespace {

// The hung server's check is given up after this; the other check's servers answer or refuse at once, so it
// gets room for a loaded machine, where a login with TLS has taken over 2 s.
constexpr int kTimeoutSeconds = 2;
constexpr int kAnsweringTimeoutSeconds = 30;

// The command line Nagios runs: the passwords, the settings folder and the authority the servers'
// certificates come from given by env, as a command definition gives them (a monitoring engine's checks
// do not see the engine's own environment).
QString checkCommand(const QString &configHome, const QString &mainServer, const QString &mirrorServer,
                     int timeoutSeconds) {
    return QStringLiteral(
               "/usr/bin/env XDG_CONFIG_HOME=%1 QUORIX_CA_FILE=%6 QUORIX_MAIN_PW=pwMain "
               "QUORIX_MIRROR_PW=pwMirror %2 --check-mirroring --main-server %3 --mirror-server %4 "
               "--timeout %5")
        .arg(configHome, QStringLiteral(QUORIX_EXE), mainServer, mirrorServer)
        .arg(timeoutSeconds)
        .arg(QString::fromStdString(testCertificates().ca.certificateFile));
}

Row principal(const char *db, const char *mirroring) {
    return {db, "ONLINE", "FULL", "PRINCIPAL", mirroring, "FULL", "TCP://127.0.0.3:5024", "1024"};
}

} // namespace

TEST(NagiosRunsTheCheck, ADeadMirrorBesideADisconnectedMainIsCriticalAndAHungServerUnknown) {
    ASSERT_TRUE(QFileInfo(kNagiosBinary).isExecutable())
        << "Nagios Core is not installed (scripts/deps.sh test installs nagios4-core)";
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());

    auto main = startServer("127.0.0.2", "pwMain");
    answerDatabases(*main, {principal("Billing", "DISCONNECTED"), principal("Lab", "SYNCHRONIZED")});
    answerCounters(*main, "Billing", "Log Send Queue KB=0", "Log Bytes Sent/sec",
                   std::make_shared<std::atomic<long long>>(0));
    // Nothing listens where the Mirror was: the connection is refused at once.
    auto gone = startServer("127.0.0.3", "pwMirror");
    const QString deadMirror = serverBox(*gone);
    gone->stop();
    const SilentListener hung("127.0.0.4");

    NagiosCore nagios(dir.path());
    nagios.addService("mirroring",
                      checkCommand(dir.path(), serverBox(*main), deadMirror, kAnsweringTimeoutSeconds));
    nagios.addService("hung", checkCommand(dir.path(), hung.box(), deadMirror, kTimeoutSeconds));
    ASSERT_TRUE(nagios.start(30s)) << nagios.output().toStdString();

    const qint64 asked = nagios.forceCheck("mirroring");
    const qint64 askedHung = nagios.forceCheck("hung");
    const NagiosCore::Status critical = nagios.waitForCheck("mirroring", asked, 60s);
    const NagiosCore::Status unknown = nagios.waitForCheck("hung", askedHung, 60s);

    ASSERT_FALSE(critical.empty()) << nagios.output().toStdString();
    EXPECT_EQ(critical.at("current_state"), "2");
    EXPECT_EQ(
        critical.at("plugin_output"),
        "MIRRORING CRITICAL - Billing disconnected - 1 of 2 databases ok - the Mirror could not be read: "
        "[FreeTDS][SQL Server]Unable to connect: Adaptive Server is unavailable or does not exist");
    // The long text as the status file keeps it, its line break escaped.
    EXPECT_EQ(critical.at("long_plugin_output"), "Billing: disconnected\\n");
    // The performance data as Nagios keeps them: Main's figures, the quotes of the labels intact.
    const PluginOutput perf = readPluginOutput("x|" + critical.at("performance_data"));
    EXPECT_TRUE(perf.unread.isEmpty()) << critical.at("performance_data").toStdString();
    ASSERT_NE(perf.find("Billing unsent"), nullptr) << critical.at("performance_data").toStdString();
    EXPECT_EQ(perf.find("Billing unsent")->value, "0");

    ASSERT_FALSE(unknown.empty()) << nagios.output().toStdString();
    EXPECT_EQ(unknown.at("current_state"), "3");
    EXPECT_EQ(unknown.at("plugin_output"), "MIRRORING UNKNOWN - Main could not be read: " + hung.box() +
                                               " timed out after 2 s - the Mirror "
                                               "could not be read: [FreeTDS][SQL Server]Unable to connect: "
                                               "Adaptive Server is unavailable or does not "
                                               "exist");
    // Nagios's own record of how long the check ran: within the timeout and a second.
    EXPECT_LE(unknown.at("check_execution_time").toDouble(), kTimeoutSeconds + 1.0)
        << unknown.at("check_execution_time").toStdString();
    main->stop();
}
