// "Attach All (right)" and "Detach All (right)" on the real window, through the real driver to a scripted
// Mirror on 127.0.0.3.

#include "WindowKit.h"
#include "gui/ui/DatabaseLists.h"
#include "gui/ui/widgets/FileList.h"
#include "gui/ui/widgets/Grid.h"

#include <QCheckBox>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

using namespace quorix;
using namespace quorix::testing;
using tds::Reply;
using tds::ResultSet;
using tds::Rule;
using tds::SqlType;

namespace {

std::string attach(const std::string &db, const std::string &folder) {
    return "EXEC sp_attach_db @dbname = N'" + db + "' ,@filename1=N'" + folder + db +
           ".mdf'   ,@filename2=N'" + folder + db + ".ldf'  ";
}

class Attach : public WindowTest {
protected:
    void SetUp() override {
        mirror = startServer("127.0.0.3", "pwMirror");
        w.preset("MIR", "txtServer1", serverBox(*mirror));
        w.start();
        f().txtPW[1]->setText("pwMirror");
        for (const char *name : {"A.mdf", "A.ldf", "B.mdf", "X.bak.mdf", "notes.txt"}) {
            QFile file(dir.filePath(name));
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        }
        folder = dir.path() + "/";
        f().txtRestoreDir->setText(folder);
        w.window().readRestoreDirNow();
        ASSERT_EQ(f().File2[1]->listCount(), 4);
    }
    QString pane() { return f().txtLog->toPlainText(); }

    QTemporaryDir dir;
    QString folder;
};

} // namespace

TEST_F(Attach, AttachesEachDataFileInListOrderAndLogsAFailedOne) {
    const std::string r = utf8(folder);
    mirror->addRule(Rule::exact(
        attach("B", r), Reply::error(5120, "Unable to open the physical file \"" + r +
                                               "B.ldf\". Operating system error 2: \"2(The system cannot "
                                               "find the file specified.)\".")));
    w.find<QPushButton>("cmdAttachAll")->click();
    // A.ldf only names the database; X.bak.mdf is not "<name>.mdf".
    EXPECT_EQ(mirror->batches(), (std::vector<std::string>{attach("A", r), attach("B", r)}));
    EXPECT_TRUE(pane().contains("Operating system error 2")) << pane().toStdString();
    EXPECT_EQ(f().txtDB->text(), "X");

    // A folder given without its closing separator gets a backslash of its own, and a quote in a name
    // stays inside the statement's texts.
    QFile quoted(dir.filePath("O'Hara.MDF"));
    ASSERT_TRUE(quoted.open(QIODevice::WriteOnly));
    quoted.close();
    mirror->clearRecord();
    f().txtRestoreDir->setText(dir.path());
    w.find<QPushButton>("cmdAttachAll")->click();
    const std::string bare = utf8(dir.path()) + "\\";
    EXPECT_EQ(mirror->batches(),
              (std::vector<std::string>{attach("A", bare), attach("B", bare),
                                        "EXEC sp_attach_db @dbname = N'O''Hara' ,@filename1=N'" + bare +
                                            "O''Hara.mdf'   ,@filename2=N'" + bare + "O''Hara.ldf'  "}));
}

TEST_F(Attach, StopEndsTheAttachWalkAfterTheCurrentFileAndIsUnticked) {
    const std::string r = utf8(folder);
    mirror->addRule(Rule::exact(attach("A", r), Reply::done().after(std::chrono::milliseconds(600))));
    // Ticked while A is being attached, as a user would.
    QTimer::singleShot(200, f().chkStop, [this] { f().chkStop->setChecked(true); });
    w.find<QPushButton>("cmdAttachAll")->click();
    EXPECT_EQ(mirror->batches(), std::vector<std::string>{attach("A", r)});
    EXPECT_FALSE(f().chkStop->isChecked());
    EXPECT_EQ(f().txtDB->text(), "A");

    // Ticked before the click: the walk still does the first entry (A.ldf, which sends nothing).
    mirror->clearRecord();
    f().chkStop->setChecked(true);
    w.find<QPushButton>("cmdAttachAll")->click();
    EXPECT_TRUE(mirror->batches().empty());
    EXPECT_FALSE(f().chkStop->isChecked());
    EXPECT_EQ(f().txtDB->text(), "A");
}

TEST_F(Attach, DetachAllWalksTheMirrorsListWithoutStopAndLeavesItAsItWas) {
    w.find<QPushButton>("cmdDetachAll")->click();
    EXPECT_TRUE(mirror->batches().empty());
    EXPECT_TRUE(pane().isEmpty()) << pane().toStdString();

    ResultSet names{{{"name", SqlType::NVarChar, 128}}, {{"Billing"}, {"O'Neil"}, {"Zeta"}}};
    mirror->addRule(Rule::exact(kList, Reply::rows(names)));
    mirror->addRule(Rule::exact("EXEC sp_detach_db 'Billing','true'",
                                Reply::error(3703, "Cannot detach the database 'Billing' because it is "
                                                   "currently in use.")));
    w.window().databaseLists().cmdRefreshDB_Click(1);
    ASSERT_EQ(f().GridDB[1]->rows(), 3);
    mirror->clearRecord();
    f().chkStop->setChecked(true); // the detach walk does not look at STOP

    w.find<QPushButton>("cmdDetachAll")->click();
    EXPECT_EQ(mirror->batches(), (std::vector<std::string>{"EXEC sp_detach_db 'Billing','true'",
                                                           "EXEC sp_detach_db 'O''Neil','true'",
                                                           "EXEC sp_detach_db 'Zeta','true'"}));
    EXPECT_TRUE(pane().contains("currently in use")) << pane().toStdString();
    EXPECT_TRUE(f().chkStop->isChecked());
    EXPECT_EQ(f().GridDB[1]->rows(), 3);
    EXPECT_EQ(f().txtDB->text(), "Zeta");
}
