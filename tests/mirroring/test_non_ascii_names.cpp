// Database names outside plain ASCII on the real window through the real driver: a Cyrillic and a Chinese
// name come from Main's list, are backed up on Main, restored on the Mirror from its backup folder, and
// have their connections cleared there. Every text that holds a name reaches the server as N'...' with
// the name intact, the Mirror's reloaded list shows the names back, and the log pane shows them as sent.

#include "MirroringWindow.h"
#include "gui/ui/widgets/FileList.h"

#include <QFile>
#include <QTemporaryDir>

using namespace quorix;
using namespace quorix::testing;
using tds::Reply;
using tds::ResultSet;
using tds::Rule;

namespace {

using Batches = std::vector<std::string>;

const std::string kCyrillic = "Больница";
const std::string kChinese = "医院数据";
const std::string kFolder = "p:\\backup\\MIR\\";

// What the Mirror receives for the restore of one database whose backup holds one data and one log file,
// the log file going to the log drive L.
Batches mirrorRestoreOf(const std::string &db) {
    const std::string moves = " MOVE  N'" + db + "' TO N'C:\\db\\" + db + ".mdf',  MOVE  N'" + db +
                              "_log' TO N'L:\\LDF\\" + db + "_log.ldf', ";
    return {" RESTORE FILELISTONLY  FROM DISK = N'p:\\backup\\MIR\\" + db + ".bak' WITH FILE = 1",
            "RESTORE DATABASE  " + db + " FROM DISK = N'p:\\backup\\MIR\\" + db + ".bak' With   " + moves +
                " NORECOVERY   ",
            "RESTORE LOG  " + db + " FROM DISK = N'p:\\backup\\MIR\\" + db + "_log.bak' With  " + moves +
                " NORECOVERY  "};
}

std::string clearConnectionsOf(const std::string &db) {
    return clearConnectionsWith("N'" + db + "'");
}

class NonAsciiNames : public MirroringWindow {
protected:
    void SetUp() override {
        MirroringWindow::SetUp();
        mainDbs.set({kCyrillic, kChinese});
        mirrorDbs.set({"Zeta"});
        // The Mirror lists the files of a backup only when its path names the database exactly, and a log
        // restore puts the database on its list.
        const std::string listPrefix = " RESTORE FILELISTONLY  FROM DISK = N'" + kFolder;
        mirror->addRule(Rule::callback(
            [listPrefix](const std::string &text, const tds::ConnectionState &) -> std::optional<Reply> {
                const std::string db = text.substr(listPrefix.size(), text.find(".bak'") - listPrefix.size());
                if (db != kCyrillic && db != kChinese)
                    return Reply::error(3201, "Cannot open backup device.");
                ResultSet set{{tds::makeColumn("LogicalName", "nvarchar(128)"),
                               tds::makeColumn("PhysicalName", "nvarchar(260)"),
                               tds::makeColumn("Type", "char(1)")},
                              {{db, "E:\\SQLData\\" + db + ".mdf", "D"},
                               {db + "_log", "E:\\SQLLog\\" + db + "_log.ldf", "L"}}};
                return Reply::rows(set);
            },
            R"( RESTORE FILELISTONLY  FROM DISK = N'.*)"));
        mirror->addRule(Rule::callback(
            [this](const std::string &text, const tds::ConnectionState &) -> std::optional<Reply> {
                for (const std::string &db : {kCyrillic, kChinese})
                    if (text.starts_with("RESTORE LOG  " + db + " FROM DISK = N'" + kFolder + db +
                                         "_log.bak'"))
                        mirrorDbs.set([&] {
                            auto names = mirrorDbs.names();
                            names.push_back(db);
                            return names;
                        }());
                return Reply::done();
            },
            "RESTORE LOG .*"));
        w.preset("txtRestoreTO", "DB5", "C"); // the Mirror's drive for names of no category
        start();
        f().txtLogDrive[1]->setText("L");
    }
};

} // namespace

TEST_F(NonAsciiNames, BackupMirrorRestoreAndClearConnectionsKeepTheNames) {
    const QString cyrillic = QString::fromStdString(kCyrillic);
    const QString chinese = QString::fromStdString(kChinese);
    // Read from the server: the list shows the names as the server holds them.
    ASSERT_EQ(column0(0), (QStringList{cyrillic, chinese}));

    // Backup of every database of Main's list; the last one is refused with a message that names its file.
    const std::string refusal = "Cannot open backup device 'p:\\backup\\MIR\\医院数据_log.BAK'. Operating "
                                "system error 5(Access is denied.).";
    main->addRule(Rule::pattern("BACKUP Log  医院数据 .*", Reply::error(3201, refusal)));
    f().chkALL->setChecked(true);
    click("cmdBackup(0)");
    EXPECT_EQ(sent(0),
              (Batches{"BACKUP DATABASE Больница TO DISK = N'p:\\backup\\MIR\\Больница.BAK'   WITH FORMAT",
                       "BACKUP Log  Больница TO DISK = N'p:\\backup\\MIR\\Больница_log.BAK'   WITH FORMAT",
                       "BACKUP DATABASE 医院数据 TO DISK = N'p:\\backup\\MIR\\医院数据.BAK'   WITH FORMAT",
                       "BACKUP Log  医院数据 TO DISK = N'p:\\backup\\MIR\\医院数据_log.BAK'   WITH FORMAT"}));
    EXPECT_TRUE(sent(1).empty());
    // The log pane shows the statement as sent and the server's message as received.
    EXPECT_EQ(
        log().mid(0, 2),
        (QStringList{driverError(refusal),
                     "BACKUP Log  医院数据 TO DISK = N'p:\\backup\\MIR\\医院数据_log.BAK'   WITH FORMAT"}));

    // Restore on the Mirror of every backup in its folder, the file names carrying the database names.
    resetRecord();
    QTemporaryDir folder;
    for (const std::string &file :
         {kCyrillic + ".BAK", kCyrillic + "_log.BAK", kChinese + ".BAK", kChinese + "_log.BAK"}) {
        QFile backup(folder.filePath(QString::fromStdString(file)));
        ASSERT_TRUE(backup.open(QIODevice::WriteOnly));
    }
    ASSERT_TRUE(f().FileB->setPath(folder.path()));
    click("cmdRestore(1)");
    Batches restores = mirrorRestoreOf(kCyrillic);
    for (const auto &b : mirrorRestoreOf(kChinese))
        restores.push_back(b);
    EXPECT_EQ(sent(1, false), restores);
    EXPECT_TRUE(sent(0).empty());
    EXPECT_EQ(
        mirrorRestoreOf(kCyrillic)[1],
        "RESTORE DATABASE  Больница FROM DISK = N'p:\\backup\\MIR\\Больница.bak' With    MOVE  "
        "N'Больница' TO N'C:\\db\\Больница.mdf',  MOVE  N'Больница_log' TO N'L:\\LDF\\Больница_log.ldf',  "
        "NORECOVERY   ")
        << "the helper above, written out once in full";
    // The server saw the names whole: its list, reloaded by the window, shows both back.
    EXPECT_EQ(column0(1), (QStringList{"Zeta", cyrillic, chinese}));
    EXPECT_EQ(f().txtDB->text(), chinese + "_log") << "the walk names the last file it passed over";

    // Clear Connections on the Mirror, one database at a time.
    resetRecord();
    f().chkALL->setChecked(false);
    for (const QString &db : {cyrillic, chinese}) {
        f().txtDB->setText(db);
        click("cmdClearConnections(1)");
    }
    EXPECT_EQ(sent(1), (Batches{clearConnectionsOf(kCyrillic), clearConnectionsOf(kChinese)}));
    EXPECT_TRUE(sent(0).empty());
}
