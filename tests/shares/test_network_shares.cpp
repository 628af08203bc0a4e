// The buttons of the network shares on real widgets, against the Samba servers: the map buttons and their
// messages, Drop Dir, the accounts the file layer takes from the boxes, and the shell buttons.

#include "ShellRecorder.h"
#include "SmbTestBase.h"
#include "core/shares/FileAccess.h"
#include "core/shares/posix/Smb.h"
#include "gui/shares/NetworkShares.h"
#include "gui/ui/Form.h"
#include "gui/ui/LogPanes.h"
#include "gui/ui/Prompt.h"
#include "gui/ui/widgets/LogPane.h"

#include <QApplication>
#include <QLineEdit>
#include <QMainWindow>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <thread>

using namespace quorix;
using namespace quorix::testsupport;

namespace {

class ShareButtons : public SmbTest {
protected:
    void SetUp() override {
        SmbTest::SetUp();
        if (HasFatalFailure() || IsSkipped())
            return;
        shares::setAccounts({}); // the feature class gives the accounts, from the boxes
        Prompt::setScripted(true);
        Prompt::clearShown();
        m_form.frmMain = &m_window;
        auto edit = [this](const QString &name, const std::string &value) {
            auto *box = new QLineEdit(QString::fromStdString(value), &m_window);
            box->setObjectName(name);
            return box;
        };
        auto button = [this](const QString &name) {
            auto *b = new QPushButton(&m_window);
            b->setObjectName(name);
            return b;
        };
        for (int slot = 0; slot < 2; ++slot) {
            const QString index = QString("(%1)").arg(slot);
            m_form.txtServer[slot] = edit("txtServer" + index, server(slot));
            m_form.txtServerUser[slot] = edit("txtServerUser" + index, share(slot).user);
            m_form.txtServerPW[slot] = edit("txtServerPW" + index, share(slot).password);
            m_form.cmdNetworkConnect[slot] = button("cmdNetworkConnect" + index);
            m_form.cmdOpenDir[slot] = button("cmdOpenDir" + index);
            m_form.cmdOpenDirB[slot] = button("cmdOpenDirB" + index);
            m_form.cmdOpenFolder[slot] = button("cmdOpenFolder" + index);
            m_form.cmdOpenPath[slot] = button("cmdOpenPath" + index);
        }
        m_form.cmdDropDir[1] = button("cmdDropDir(1)");
        m_shares = std::make_unique<NetworkShares>(m_form, m_panes);
    }
    void TearDown() override {
        m_shares.reset();
        SmbTest::TearDown();
    }
    bool waitForLog(int count) {
        for (int i = 0; i < 200 && logged().size() < count; ++i) {
            QCoreApplication::processEvents();
            std::this_thread::sleep_for(std::chrono::milliseconds(25));
        }
        return logged().size() >= count;
    }
    std::string port() const { return std::to_string(samba().port()); }

    QMainWindow m_window;
    Form m_form;
    // The log pane's lines, oldest first.
    QStringList logged() const {
        QStringList lines = m_pane.toPlainText().split('\n', Qt::SkipEmptyParts);
        std::reverse(lines.begin(), lines.end());
        return lines;
    }
    LogPane m_pane;
    LogPanes m_panes{&m_pane, nullptr};
    std::unique_ptr<NetworkShares> m_shares;
    ShellRecorder m_programs;
};

} // namespace

TEST_F(ShareButtons, MapButtonsShowOnlyRealFailures) {
    m_form.txtServerPW[1]->setText("wrong");
    m_form.cmdNetworkConnect[0]->click();
    m_form.cmdNetworkConnect[0]->click(); // already assigned: silent
    EXPECT_TRUE(Prompt::shown().isEmpty()) << Prompt::shown().join("|").toStdString();
    EXPECT_EQ(m_store->load().at("X"), "\\\\" + server(0) + "\\backup");

    m_form.cmdNetworkConnect[1]->click();
    EXPECT_EQ(Prompt::shown(), QStringList{"Invalid Password"});
    m_form.txtServerPW[1]->setText(QString::fromStdString(share(1).password));
    m_form.cmdNetworkConnect[1]->click();
    EXPECT_EQ(Prompt::shown().size(), 1);
    EXPECT_EQ(m_store->load().at("Y"), "\\\\" + server(1) + "\\backup");

    m_form.cmdDropDir[1]->click();
    EXPECT_TRUE(m_store->load().empty());
    m_form.txtServer[0]->clear();
    m_form.cmdNetworkConnect[0]->click();
    EXPECT_EQ(Prompt::shown().last(), "Bad net name");
    m_form.cmdNetworkConnect[1]->click();
    EXPECT_EQ(Prompt::shown().size(), 2) << "Y: maps again after Drop Dir";
    EXPECT_EQ(m_store->load().count("Y"), 1u);
}

TEST_F(ShareButtons, FileLayerUsesTheBoxesOfTheSlotThatNamesTheServer) {
    samba().putFile(1, "MIR/a.BAK", "x");
    const std::string mir = "\\\\" + server(1) + "\\backup\\MIR";
    std::vector<std::string> names;
    auto result = shares::files().list(mir, "*.bak", names);
    ASSERT_TRUE(result.ok()) << result.error();
    EXPECT_EQ(names, std::vector<std::string>{"a.BAK"});

    // Typed into the box: the next connection, also one made off the window's thread, uses it.
    m_form.txtServerPW[1]->setText("changed");
    shares::posix::resetSmbConnections();
    std::thread([&] { result = shares::files().list(mir, "*.bak", names); }).join();
    EXPECT_EQ(result.error(), "Cannot list " + mir + ": access denied");

    // The server box may differ in letter case and surrounding blanks from the path.
    m_form.txtServerPW[1]->setText(QString::fromStdString(share(1).password));
    m_form.txtServer[1]->setText(QString::fromStdString(" " + server(1) + " "));
    shares::posix::resetSmbConnections();
    std::thread([&] { result = shares::files().list(mir, "*.bak", names); }).join();
    EXPECT_TRUE(result.ok()) << result.error();
}

TEST_F(ShareButtons, ConnectDirHandsTheLoginToTheShareThenOpensIt) {
    // Main's share takes the fixed login; the Mirror's does not, which is logged, and it opens all the same.
    m_form.cmdOpenDirB[0]->click();
    m_form.cmdOpenDirB[1]->click();
    const std::string opened = m_programs.started("xdg-open", 2);
    EXPECT_NE(opened.find("|smb://" + server(0) + ":" + port() + "/backup|"), std::string::npos) << opened;
    EXPECT_NE(opened.find("|smb://" + server(1) + ":" + port() + "/backup|"), std::string::npos) << opened;
    ASSERT_TRUE(waitForLog(1));
    EXPECT_EQ(logged(), QStringList{QString::fromStdString("Connect Dir \\\\" + server(1) +
                                                           "\\backup: Invalid Password")});

    // The login now serves a server that no slot names.
    m_form.txtServer[0]->setText("elsewhere");
    shares::posix::resetSmbConnections();
    std::vector<std::string> names;
    EXPECT_TRUE(shares::files().list("\\\\" + server(0) + "\\backup", "*", names).ok());
}

TEST_F(ShareButtons, ShellButtonsKeepTheWindowLive) {
    bool fired = false;
    QTimer::singleShot(50, [&] { fired = true; });
    m_form.cmdOpenFolder[0]->click(); // pauses after starting the file manager
    EXPECT_TRUE(fired) << "the pause let the window's timers run";
    m_form.cmdOpenDir[1]->click();
    EXPECT_FALSE(m_programs.started("xdg-open", 2).empty());

    m_form.cmdOpenPath[1]->click();
    ASSERT_TRUE(waitForLog(1));
    EXPECT_EQ(logged().last(), "Cannot open a terminal on y: (the drive is not mapped)");
    m_form.cmdNetworkConnect[0]->click();
    m_form.cmdOpenPath[0]->click();
    EXPECT_NE(m_programs.started("x-terminal-emulator").find("//" + server(0) + "/backup"),
              std::string::npos);
}

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new SambaEnvironment);
    return RUN_ALL_TESTS();
}
