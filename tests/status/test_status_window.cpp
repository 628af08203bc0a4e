// The Status tab and Pre-flight on the real window, through the real driver to two scripted servers: the
// grid of a pair in every state, the counters and their rates, a server that is down, the ten-second
// refresh, the pre-flight checklist, and that only reads are ever sent.

#include "StatusServers.h"
#include "ToolRun.h"
#include "gui/ui/Operations.h"
#include "gui/ui/Prompt.h"

#include <QCheckBox>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <array>

using namespace quorix;
using namespace quorix::testing;

namespace {

const std::optional<std::string> null;

class StatusWindow : public MirroringWindow {
protected:
    void SetUp() override {
        MirroringWindow::SetUp();
        answerDatabases(*main, {
                                   {"Billing", "ONLINE", "FULL", "PRINCIPAL", "SYNCHRONIZING", "OFF",
                                    "TCP://127.0.0.3:5024", "2048"},
                                   {"Finance", "ONLINE", "FULL", "PRINCIPAL", "DISCONNECTED", "OFF",
                                    "TCP://127.0.0.3:5024", "1024"},
                                   {"Lab", "ONLINE", "FULL", "PRINCIPAL", "SYNCHRONIZED", "FULL",
                                    "TCP://127.0.0.3:5024", "1024"},
                                   {"Payroll", "ONLINE", "FULL", "PRINCIPAL", "SUSPENDED", "OFF",
                                    "TCP://127.0.0.3:5024", "1024"},
                                   {"Radiology", "ONLINE", "FULL", null, null, null, null, "1024"},
                               });
        answerDatabases(*mirror, {
                                     {"Archive", "ONLINE", "SIMPLE", null, null, null, null, "64"},
                                     {"Billing", "RESTORING", "FULL", "MIRROR", "SYNCHRONIZING", "OFF",
                                      "TCP://127.0.0.2:5024", "2048"},
                                     {"Finance", "ONLINE", "FULL", "PRINCIPAL", "DISCONNECTED", "OFF",
                                      "TCP://127.0.0.2:5024", "1024"},
                                     {"Payroll", "RESTORING", "FULL", "MIRROR", "SUSPENDED", "OFF",
                                      "TCP://127.0.0.2:5024", "1024"},
                                     {"Radiology", "RESTORING", "FULL", null, null, null, null, "1024"},
                                 });
        answerCounters(*main, "Billing", "Log Send Queue KB=12", "Log Bytes Sent/sec", mainBytes);
        answerCounters(*mirror, "Billing", "Redo Queue KB=3", "Redo Bytes/sec", mirrorBytes);
        setUp = {answerAsSetUp(*main, 0), answerAsSetUp(*mirror, 1)};
        mainDbs.set({"Billing", "Radiology"});
        Prompt::clearShown();
        start();
        f().SSTab1->setCurrentWidget(f().SSTab1->widget(14));
    }

    // The grid's cells of one column, top to bottom.
    QStringList column(const QString &header) {
        Grid *g = f().GridStatus;
        int c = 0;
        while (c < g->cols() && g->model()->headerData(c, Qt::Horizontal).toString() != header)
            ++c;
        EXPECT_LT(c, g->cols()) << header.toStdString();
        QStringList cells;
        for (int r = 0; r < g->rows(); ++r)
            cells << g->textMatrix(r, c);
        return cells;
    }
    std::array<SetUpAnswers, 2> setUp;
    std::shared_ptr<std::atomic<long long>> mainBytes = std::make_shared<std::atomic<long long>>(0);
    std::shared_ptr<std::atomic<long long>> mirrorBytes = std::make_shared<std::atomic<long long>>(0);
};

} // namespace

TEST_F(StatusWindow, EachDatabaseOfEitherServerIsJudgedWithItsHint) {
    click("cmdStatusRefresh");
    EXPECT_EQ(column("Database"),
              (QStringList{"Archive", "Billing", "Finance", "Lab", "Payroll", "Radiology"}));
    EXPECT_EQ(column("Check"),
              (QStringList{"", "ok", "needs action", "needs action", "needs action", "needs action"}));
    const QStringList hints = column("Hint");
    EXPECT_EQ(hints[0], "not mirrored, on the Mirror only");
    EXPECT_EQ(hints[1], "");
    EXPECT_TRUE(hints[2].startsWith("principal on both servers: ")) << hints[2].toStdString();
    // Synchronized with a partner at the Mirror's address, yet the Mirror shows no copy: nothing to end.
    EXPECT_TRUE(hints[3].startsWith("mirrored on Main only, yet SYNCHRONIZED with TCP://127.0.0.3:5024: "))
        << hints[3].toStdString();
    EXPECT_EQ(hints[4],
              "suspended: find the cause in the servers' error logs first, then resume it with ALTER "
              "DATABASE Payroll SET PARTNER RESUME on Main");
    EXPECT_EQ(hints[5],
              "restored on the Mirror but not partnered: press \"<- Set Partner\", then \"Set Partner ->\"");
    EXPECT_EQ(column("Main mirroring")[1], "SYNCHRONIZING");
    EXPECT_EQ(column("Mirror state")[1], "RESTORING");
    EXPECT_EQ(column("Mirror partner")[1], "TCP://127.0.0.2:5024");
    EXPECT_EQ(column("Main state")[0], ""); // not on Main

    // The queues as read, the rates from two readings a second apart (10 KB between them).
    EXPECT_EQ(column("Main unsent KB")[1], "12");
    EXPECT_EQ(column("Mirror unrestored KB")[1], "3");
    for (const QString &header : {QStringLiteral("Main send KB/s"), QStringLiteral("Mirror redo KB/s")}) {
        const double rate = column(header)[1].toDouble();
        EXPECT_GT(rate, 0.5) << header.toStdString();
        EXPECT_LE(rate, 10.0) << header.toStdString();
    }
    EXPECT_EQ(column("Main redo KB/s")[1], "");
    EXPECT_TRUE(f().lblStatusTime->text().startsWith("read at ")) << f().lblStatusTime->text().toStdString();

    // Reads only, on connections of their own: the sessions logged nothing and no box was shown.
    for (int slot = 0; slot < 2; ++slot)
        EXPECT_EQ(sent(slot), (std::vector<std::string>{kDatabasesRead, kCountersRead, kCountersRead}))
            << slot;
    EXPECT_TRUE(log().isEmpty()) << log().join('|').toStdString();
    EXPECT_TRUE(Prompt::shown().isEmpty());

    // The next refresh takes its rates against this one: one reading, on the same connection.
    resetRecord();
    const int logins = static_cast<int>(main->logins().size());
    click("cmdStatusRefresh");
    EXPECT_EQ(sent(0), (std::vector<std::string>{kDatabasesRead, kCountersRead}));
    EXPECT_EQ(static_cast<int>(main->logins().size()), logins);
    EXPECT_NE(column("Main send KB/s")[1], "");
}

TEST_F(StatusWindow, AServerThatIsDownShowsInTheGridAndOnceInTheLog) {
    const std::uint16_t port = mirror->port();
    mirror->stop();
    click("cmdStatusRefresh");
    EXPECT_TRUE(Prompt::shown().isEmpty()) << Prompt::shown().join('|').toStdString();
    EXPECT_EQ(column("Database"), (QStringList{"Billing", "Finance", "Lab", "Payroll", "Radiology"}));
    EXPECT_EQ(column("Check"), QStringList(5, "not read"));
    EXPECT_TRUE(column("Hint")[0].startsWith("the Mirror could not be read (see the log)"));
    EXPECT_EQ(column("Main state")[0], "ONLINE");
    ASSERT_EQ(log().size(), 1) << log().join('|').toStdString();
    EXPECT_TRUE(log()[0].startsWith("Status: the Mirror could not be read: ")) << log()[0].toStdString();

    // Read again while it is still down: no second line for the same failure.
    click("cmdStatusRefresh");
    EXPECT_EQ(log().size(), 1);

    // Back up: the next refresh connects again.
    mirror->start("127.0.0.3", port);
    click("cmdStatusRefresh");
    EXPECT_EQ(column("Check"),
              (QStringList{"", "ok", "needs action", "needs action", "needs action", "needs action"}));
}

TEST_F(StatusWindow, EveryTenSecondsReadsAgainWhileTheTabIsShown) {
    f().tmrStatus->setInterval(50); // the ten seconds, shortened
    f().chkStatusAuto->setChecked(true);
    EXPECT_TRUE(f().tmrStatus->isActive());
    QTRY_VERIFY_WITH_TIMEOUT(main->batches().size() >= 4, 20000);
    QTRY_COMPARE_WITH_TIMEOUT(f().GridStatus->rows(), 6, 10000);

    // On another tab nothing is read: a refresh under way finishes, then three ticks pass without one.
    f().SSTab1->setCurrentIndex(0);
    QTRY_VERIFY_WITH_TIMEOUT(!Operations::busy(), 20000);
    resetRecord();
    int ticks = 0;
    const QMetaObject::Connection counting =
        QObject::connect(f().tmrStatus, &QTimer::timeout, [&ticks] { ++ticks; });
    QTRY_VERIFY_WITH_TIMEOUT(ticks >= 3, 10000);
    QObject::disconnect(counting);
    EXPECT_TRUE(sent(0).empty());

    f().chkStatusAuto->setChecked(false);
    EXPECT_FALSE(f().tmrStatus->isActive());
}

TEST_F(StatusWindow, PreflightWritesOneLinePerCheckAndSendsOnlyReads) {
    f().txtDB->setText("Radiology");
    click("cmdPreflight");
    const QStringList lines = logged();
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_EQ(lines.first(), "Pre-flight:");
    const QStringList expectedOk = {
        "ok    Main reachable with the login sa",
        "ok    Main session encrypted (certificate SHA-256 " +
            QString::fromStdString(testCertificates().server.fingerprint) + ")",
        "ok    Mirror reachable with the login sa",
        "ok    versions: Main 10.50.6000.34, Mirror 10.50.6000.34 (same major version, the Mirror not older)",
        "ok    Main: endpoint authenticates by certificate (Mirroring)",
        "ok    Mirror: Main's certificate Mirroring present",
        "ok    Main: the Mirror's certificate mirroringB present",
        "ok    Main: the Mirror's login mirroringB holds CONNECT on endpoint Endpoint_Mirroring",
        "ok    Mirror: Main's login mirroring holds CONNECT on endpoint Endpoint_Mirroring",
        "ok    Radiology: recovery model FULL",
        "ok    Radiology: restoring on the Mirror, ready to be partnered",
    };
    for (const QString &line : expectedOk)
        EXPECT_TRUE(lines.contains(line)) << line.toStdString() << "\n" << lines.join('\n').toStdString();
    // No drive is mapped in this test: both share checks fail with the map button as their fix.
    QStringList failed;
    for (const QString &line : lines)
        if (line.startsWith("FAIL"))
            failed << line;
    ASSERT_EQ(failed.size(), 2) << failed.join('\n').toStdString();
    EXPECT_TRUE(failed[0].startsWith("FAIL  Main's backup share X:\\MIR\\ reachable from this machine: "));
    EXPECT_TRUE(
        failed[0].endsWith("Fix: press \"Map net Drive X\" (with the share's account in the Server User/PW "
                           "boxes)"));
    EXPECT_TRUE(failed[1].contains("Map Net Drive Y"));
    EXPECT_EQ(lines.last(), QString("Pre-flight: %1 checks, 2 failed").arg(lines.size() - 2));

    for (int slot = 0; slot < 2; ++slot)
        EXPECT_EQ(sent(slot),
                  (std::vector<std::string>{kServerRead, kEndpointRead, kCertificatesRead, kPartnerLoginsRead,
                                            kDatabasesRead, kSessionRead, kFreeSpaceRead}))
            << slot;
    EXPECT_TRUE(Prompt::shown().isEmpty());
}

// What each server answers about the partner's certificate and login decides the lines; each is checked on
// the server the partner connects to.
TEST_F(StatusWindow, PreflightChecksTheCertificateAndLoginEachPartnerConnectsWith) {
    const std::optional<std::string> none;
    const struct {
        const char *what;
        int slot;
        std::vector<Row> certificates, partnerLogins;
        QStringList failed;
    } cases[] = {
        {"as set up", 0, certificatesAsSetUp(), partnerLoginsAsSetUp(0), {}},
        {"Main without the login the Mirror connects as (mirroring is there)",
         0,
         certificatesAsSetUp(),
         {{"mirroring", "Endpoint_Mirroring", "GRANT"}},
         {"FAIL  Main: the Mirror's login mirroringB present: it is missing. Fix: copy SERVER2.cer with "
          "\"CopyCert\" on tab 2, then run \"RunScript svr1\" on tab 3 of the Mirroring tab"}},
        {"Main without the Mirror's certificate",
         0,
         {{"Mirroring", "0x0A"}},
         partnerLoginsAsSetUp(0),
         {"FAIL  Main: the Mirror's certificate mirroringB present: it is missing. Fix: copy SERVER2.cer "
          "with "
          "\"CopyCert\" on tab 2, then run \"RunScript svr1\" on tab 3 of the Mirroring tab"}},
        {"Main's login without CONNECT",
         0,
         certificatesAsSetUp(),
         {{"mirroring", none, none}, {"mirroringB", none, none}},
         {"FAIL  Main: the Mirror's login mirroringB holds CONNECT on endpoint Endpoint_Mirroring: it holds "
          "no "
          "CONNECT permission on it. Fix: GRANT CONNECT ON ENDPOINT::Endpoint_Mirroring TO mirroringB"}},
        {"the Mirror without the login Main connects as",
         1,
         certificatesAsSetUp(),
         {},
         {"FAIL  Mirror: Main's login mirroring present: it is missing. Fix: copy SERVER1.cer with "
          "\"CopyCert\" on tab 1, then run \"RunScript svr2\" on tab 2 of the Mirroring tab"}},
        {"the Mirror without Main's certificate",
         1,
         {{"mirroringB", "0x0B"}},
         partnerLoginsAsSetUp(1),
         {"FAIL  Mirror: Main's certificate Mirroring present: it is missing. Fix: copy SERVER1.cer with "
          "\"CopyCert\" on tab 1, then run \"RunScript svr2\" on tab 2 of the Mirroring tab"}},
        {"the Mirror's login denied CONNECT",
         1,
         certificatesAsSetUp(),
         {{"mirroring", "Endpoint_Mirroring", "DENY"}},
         {"FAIL  Mirror: Main's login mirroring holds CONNECT on endpoint Endpoint_Mirroring: CONNECT on it "
          "is "
          "denied. Fix: REVOKE CONNECT ON ENDPOINT::Endpoint_Mirroring FROM mirroring, then GRANT CONNECT ON "
          "ENDPOINT::Endpoint_Mirroring TO mirroring"}},
    };
    f().txtDB->setText("Radiology");
    for (const auto &c : cases) {
        for (int slot = 0; slot < 2; ++slot) {
            setUp[static_cast<size_t>(slot)].certificates->set(certificatesAsSetUp());
            setUp[static_cast<size_t>(slot)].partnerLogins->set(partnerLoginsAsSetUp(slot));
        }
        setUp[static_cast<size_t>(c.slot)].certificates->set(c.certificates);
        setUp[static_cast<size_t>(c.slot)].partnerLogins->set(c.partnerLogins);
        f().txtLog->clear();
        click("cmdPreflight");
        QStringList failed;
        for (const QString &line : logged())
            if (line.startsWith("FAIL") && !line.contains("backup share")) // no drive is mapped here
                failed << line;
        EXPECT_EQ(failed, c.failed) << c.what;
    }
}

TEST_F(StatusWindow, PreflightWithAServerDownNamesItAndChecksTheOther) {
    mirror->stop();
    f().chkALL->setChecked(true); // each of Main's list
    click("cmdPreflight");
    const QStringList lines = logged();
    EXPECT_TRUE(lines.contains("ok    Main reachable with the login sa"));
    const auto down = std::find_if(lines.begin(), lines.end(), [](const QString &l) {
        return l.startsWith("FAIL  Mirror reachable with the login sa: ");
    });
    ASSERT_NE(down, lines.end()) << lines.join('\n').toStdString();
    EXPECT_TRUE(down->endsWith(
        "Fix: check that the server runs and its server and PW boxes, then press \"Connect\""));
    // Nothing that needs the Mirror is judged; Main's own checks still are, for each database of its list.
    for (const QString &line : lines) {
        EXPECT_FALSE(line.contains("versions:")) << line.toStdString();
        EXPECT_FALSE(line.startsWith("ok    Mirror:")) << line.toStdString();
    }
    EXPECT_TRUE(lines.contains("ok    Main: endpoint started"));
    EXPECT_TRUE(Prompt::shown().isEmpty());
    EXPECT_TRUE(onlyReads(main->statements()));
}

TEST_F(StatusWindow, HeadlessRefreshPrintsTheGrid) {
    QTemporaryDir home;
    const ToolRun r = runTool({"--headless", "--set", "txtServer(0)=" + serverBox(*main), "--set",
                               "txtPW(0)=pwMain", "--set", "txtServer(1)=" + serverBox(*mirror), "--set",
                               "txtPW(1)=pwMirror", "--click", "cmdStatusRefresh", "--print", "GridStatus"},
                              home.path(), 60000);
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    const QStringList rows = r.out.trimmed().split('\n');
    ASSERT_EQ(rows.size(), 6) << r.out.toStdString();
    const QStringList billing = rows[1].split('\t');
    ASSERT_EQ(billing.size(), 21) << rows[1].toStdString();
    EXPECT_EQ(billing.mid(0, 8), (QStringList{"Billing", "ok", "ONLINE", "PRINCIPAL", "SYNCHRONIZING", "OFF",
                                              "TCP://127.0.0.3:5024", "12"}));
    EXPECT_EQ(billing.last(), "");
    EXPECT_EQ(
        rows[4].split('\t').last(),
        "suspended: find the cause in the servers' error logs first, then resume it with ALTER DATABASE "
        "Payroll SET PARTNER RESUME on Main");
}

TEST_F(StatusWindow, JsonRecordsCarryTheGridsAndTheChecklistsWords) {
    QTemporaryDir home;
    const ToolRun r = runTool({"--headless", "--format", "json", "--set", "txtServer(0)=" + serverBox(*main),
                               "--set", "txtPW(0)=pwMain", "--set", "txtServer(1)=" + serverBox(*mirror),
                               "--set", "txtPW(1)=pwMirror", "--click", "cmdStatusRefresh", "--print",
                               "GridStatus", "--set", "txtDB=Radiology", "--click", "cmdPreflight"},
                              home.path(), 60000);
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    // stdout holds the two records, one a line; the log went to stderr.
    const QStringList records = r.out.trimmed().split('\n');
    ASSERT_EQ(records.size(), 2) << r.out.toStdString();

    // The rows as the grid of this window shows them after its own refresh (only the rates, taken a moment
    // apart, may differ).
    click("cmdStatusRefresh");
    const QJsonArray rows = QJsonDocument::fromJson(records[0].toUtf8()).array();
    Grid *grid = f().GridStatus;
    ASSERT_EQ(rows.size(), grid->rows()) << records[0].toStdString();
    for (int row = 0; row < grid->rows(); ++row) {
        const QJsonObject object = rows[row].toObject();
        ASSERT_EQ(object.size(), grid->cols());
        for (int c = 0; c < grid->cols(); ++c) {
            const QString header = grid->model()->headerData(c, Qt::Horizontal).toString();
            ASSERT_TRUE(object.contains(header)) << header.toStdString();
            const QString cell = grid->textMatrix(row, c);
            if (header.endsWith("KB/s"))
                EXPECT_EQ(object[header].toString().isEmpty(), cell.isEmpty()) << header.toStdString();
            else
                EXPECT_EQ(object[header].toString(), cell) << row << " " << header.toStdString();
        }
    }

    // One object per check, in the words of the log's lines, which went to stderr.
    const QJsonArray checks = QJsonDocument::fromJson(records[1].toUtf8()).array();
    const QStringList err = r.err.split('\n');
    const auto first = err.indexOf("Pre-flight:");
    ASSERT_GE(first, 0) << r.err.toStdString();
    ASSERT_GT(checks.size(), 10);
    for (qsizetype i = 0; i < checks.size(); ++i) {
        const QJsonObject c = checks[i].toObject();
        const QString line = c["result"].toString() == "ok"
                                 ? "ok    " + c["check"].toString()
                                 : "FAIL  " + c["check"].toString() + ": " + c["problem"].toString() +
                                       ". Fix: " + c["fix"].toString();
        EXPECT_EQ(err.value(first + 1 + i), line);
    }
    EXPECT_EQ(err.value(first + 1 + checks.size()),
              QString("Pre-flight: %1 checks, 2 failed").arg(checks.size()));
    EXPECT_EQ(
        checks[0].toObject(),
        (QJsonObject{
            {"result", "ok"}, {"check", "Main reachable with the login sa"}, {"problem", ""}, {"fix", ""}}));
}
