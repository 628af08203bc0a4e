// The whole mirroring of two databases as a DBA runs it, through the real program's automation options:
// two scripted servers on 127.0.0.2:1433 and 127.0.0.3:1433 and two real Samba servers on the same
// addresses. Main's BACKUP writes its file into Main's share, as the server would.

#include "DatabaseList.h"
#include "Port1433.h"
#include "SambaFixture.h"
#include "TestFiles.h"
#include "ToolRun.h"
#include "tds/ScriptedServer.h"

#include <QTemporaryDir>
#include <filesystem>
#include <gtest/gtest.h>
#include <mutex>

using namespace quorix;
using quorix::testing::databaseRows;
using quorix::testing::kList;
using quorix::testing::readLocal;
using quorix::testing::runTool;
using quorix::testing::startOn1433;
using quorix::testing::ToolRun;
using quorix::testsupport::SambaFixture;
using tds::Reply;
using tds::Rule;
namespace fs = std::filesystem;

namespace {

using Batches = std::vector<std::string>;

// The backup file a statement names: the text between the last backslash and the closing quote.
std::string fileNamed(const std::string &statement) {
    const auto quote = statement.find("'   WITH FORMAT");
    const auto slash = statement.rfind('\\', quote);
    return statement.substr(slash + 1, quote - slash - 1);
}

// A whole mirroring run through the program takes minutes on a busy machine.
constexpr int kToolTimeoutMs = 180000;

} // namespace

TEST(EndToEnd, MirroringTwoDatabasesFromTheButtons) {
    QUORIX_SKIP_WITHOUT_SAMBA();
    SambaFixture samba;
    std::string error;
    ASSERT_TRUE(samba.start(error)) << error;
    samba.clearShares();

    tds::ScriptedServer main, mirror;
    main.setLogin("sa", "MainSa#1");
    mirror.setLogin("sa", "MirrorSa#2");

    main.addRule(Rule::exact(kList, databaseRows({"Billing", "Radiology"})));
    // BACKUP writes its file into Main's backup folder.
    main.addRule(Rule::callback(
        [&samba](const std::string &text, const tds::ConnectionState &) -> std::optional<Reply> {
            const std::string file = fileNamed(text);
            samba.putFile(0, "MIR/" + file, "backup of " + file);
            return Reply::done();
        },
        "BACKUP .*"));

    std::mutex mutex;
    std::vector<std::string> mirrored;
    mirror.addRule(Rule::callback(
        [&](const std::string &, const tds::ConnectionState &) -> std::optional<Reply> {
            std::lock_guard lock(mutex);
            return databaseRows(mirrored);
        },
        "SELECT name FROM sys\\.databases where database_id >= 5 order by name "));
    mirror.addRule(Rule::callback(
        [](const std::string &text, const tds::ConnectionState &) -> std::optional<Reply> {
            const bool billing = text.find("Billing.bak") != std::string::npos;
            const std::string db = billing ? "Billing" : "Radiology";
            tds::ResultSet set{
                {tds::makeColumn("LogicalName", "nvarchar(128)"),
                 tds::makeColumn("PhysicalName", "nvarchar(260)")},
                {{db, "E:\\Data\\" + db + ".mdf"}, {db + "_log", "E:\\Log\\" + db + "_log.ldf"}}};
            return Reply::rows(set);
        },
        " RESTORE FILELISTONLY .*"));
    mirror.addRule(Rule::callback(
        [&](const std::string &text, const tds::ConnectionState &) -> std::optional<Reply> {
            std::lock_guard lock(mutex);
            mirrored.push_back(text.find("Billing") != std::string::npos ? "Billing" : "Radiology");
            return Reply::done();
        },
        "RESTORE LOG .*"));
    mirror.addRule(Rule::pattern(".* SET PARTNER SAFETY OFF  ",
                                 Reply::error(1416, "Database is not configured for database mirroring.")));

    startOn1433(main, "127.0.0.2");
    startOn1433(mirror, "127.0.0.3");

    // Once: the DBA fills in the boxes, which the program remembers.
    QTemporaryDir home;
    const auto &m = samba.share(0);
    const auto &y = samba.share(1);
    ToolRun setup = runTool({"--headless",
                             "--set",
                             "txtServer(0)=127.0.0.2",
                             "--set",
                             "txtServer(1)=127.0.0.3",
                             "--set",
                             "txtPW(0)=MainSa#1",
                             "--set",
                             "txtPW(1)=MirrorSa#2",
                             "--set",
                             QString::fromStdString("txtServerUser(0)=" + m.user),
                             "--set",
                             QString::fromStdString("txtServerPW(0)=" + m.password),
                             "--set",
                             QString::fromStdString("txtServerUser(1)=" + y.user),
                             "--set",
                             QString::fromStdString("txtServerPW(1)=" + y.password),
                             "--set",
                             "txtRestoreTO(3)=F",
                             "--set",
                             "txtRestoreTO(4)=C",
                             "--set",
                             "txtLogDrive(1)=L"},
                            home.path(), kToolTimeoutMs);
    ASSERT_EQ(setup.status, 0) << setup.err.toStdString();
    main.clearRecord();
    mirror.clearRecord();

    // The mirroring itself.
    ToolRun run = runTool(
        {"--headless",           "--answer", "yes",           "--click", "cmdNetworkConnect(0)", "--click",
         "cmdNetworkConnect(1)", "--set",    "chkALL=1",      "--click", "cmdBackup(0)",         "--click",
         "cmdCopy(0)",           "--click",  "cmdRestore(1)", "--click", "cmdSetPartner(1)",     "--click",
         "cmdSetPartner(0)",     "--print",  "txtDB"},
        home.path(), kToolTimeoutMs);
    // The Mirror refuses SET PARTNER SAFETY (it is not the principal), once per database: the run says so.
    EXPECT_EQ(run.status, 3) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains("2 server command(s) failed")) << run.err.toStdString();
    EXPECT_TRUE(run.out.endsWith("Radiology\n")) << run.out.toStdString();
    EXPECT_EQ(run.out.count("\nCopied\n"), 2) << run.out.toStdString();

    EXPECT_EQ(
        main.batches(),
        (Batches{kList, "BACKUP DATABASE Billing TO DISK = 'p:\\backup\\MIR\\Billing.BAK'   WITH FORMAT",
                 "BACKUP Log  Billing TO DISK = 'p:\\backup\\MIR\\Billing_log.BAK'   WITH FORMAT",
                 "BACKUP DATABASE Radiology TO DISK = 'p:\\backup\\MIR\\Radiology.BAK'   WITH FORMAT",
                 "BACKUP Log  Radiology TO DISK = 'p:\\backup\\MIR\\Radiology_log.BAK'   WITH FORMAT",
                 "ALTER DATABASE [Billing] SET PARTNER = 'TCP://127.0.0.3:5024'  ",
                 "ALTER DATABASE [Billing] SET PARTNER SAFETY OFF  ",
                 "ALTER DATABASE [Radiology] SET PARTNER = 'TCP://127.0.0.3:5024'  ",
                 "ALTER DATABASE [Radiology] SET PARTNER SAFETY OFF  "}));
    const std::string billingMoves =
        " MOVE  'Billing' TO 'F:\\db\\Billing.mdf',  MOVE  'Billing_log' TO 'L:\\LDF\\Billing_log.ldf', ";
    const std::string radiologyMoves = " MOVE  'Radiology' TO 'C:\\db\\Radiology.mdf',  MOVE  "
                                       "'Radiology_log' TO 'L:\\LDF\\Radiology_log.ldf', ";
    EXPECT_EQ(
        mirror.batches(),
        (Batches{kList, " RESTORE FILELISTONLY  FROM DISK = 'p:\\backup\\MIR\\Billing.bak' WITH FILE = 1",
                 "RESTORE DATABASE  Billing FROM DISK = 'p:\\backup\\MIR\\Billing.bak' With   " +
                     billingMoves + " NORECOVERY   ",
                 "RESTORE LOG  Billing FROM DISK = 'p:\\backup\\MIR\\Billing_log.bak' With  " + billingMoves +
                     " NORECOVERY  ",
                 kList, " RESTORE FILELISTONLY  FROM DISK = 'p:\\backup\\MIR\\Radiology.bak' WITH FILE = 1",
                 "RESTORE DATABASE  Radiology FROM DISK = 'p:\\backup\\MIR\\Radiology.bak' With   " +
                     radiologyMoves + " NORECOVERY   ",
                 "RESTORE LOG  Radiology FROM DISK = 'p:\\backup\\MIR\\Radiology_log.bak' With  " +
                     radiologyMoves + " NORECOVERY  ",
                 kList, "ALTER DATABASE [Billing] SET PARTNER = 'TCP://127.0.0.2:5024'  ",
                 "ALTER DATABASE [Billing] SET PARTNER SAFETY OFF  ",
                 "ALTER DATABASE [Radiology] SET PARTNER = 'TCP://127.0.0.2:5024'  ",
                 "ALTER DATABASE [Radiology] SET PARTNER SAFETY OFF  "}));

    // The Mirror's share holds the two databases' backups, copied whole.
    const fs::path mirrorMir = y.folder / "MIR";
    std::vector<std::string> files;
    for (const auto &entry : fs::directory_iterator(mirrorMir))
        files.push_back(entry.path().filename().string());
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files, (std::vector<std::string>{"Billing.BAK", "Billing_log.BAK", "Radiology.BAK",
                                               "Radiology_log.BAK"}));
    EXPECT_EQ(readLocal(mirrorMir / "Radiology_log.BAK"), "backup of Radiology_log.BAK");

    main.stop();
    mirror.stop();
    samba.stop();
}
