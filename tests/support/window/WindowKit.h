#pragma once

// The kit of the window tests: the real window (WindowFixture) beside scripted servers for Main (slot 0) and
// the Mirror (slot 1), and what every test does with them: press a button, read the log pane in either
// order, see what a server received. A room's fixture derives from WindowTest and adds only what its
// buttons need (the answers its servers give, its own panes).
//
//   class Backups : public quorix::testing::WindowTest {
//       void SetUp() override { startMain(); startMirror(); }
//   };
//   TEST_F(Backups, ...) { w.start(); click("cmdBackup(0)"); EXPECT_EQ(logged(), ...); EXPECT_EQ(sent(0),
//   ...); }
//
// The window goes first at the end of a test (TearDown), then the servers: the window's sessions talk to
// the servers to the last, and the servers' rules may read what a fixture holds.

#include "DatabaseList.h"
#include "DbTestSupport.h"
#include "TestText.h"
#include "WindowFixture.h"
#include "gui/ui/Form.h"
#include "gui/ui/widgets/Grid.h"
#include "gui/ui/widgets/LogPane.h"

#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace quorix::testing {

class WindowTest : public ::testing::Test {
protected:
    void TearDown() override {
        w.close();
        if (main)
            main->stop();
        if (mirror)
            mirror->stop();
    }

    // Main on 127.0.0.2, the Mirror on 127.0.0.3 (any free port), each accepting sa with its password, and
    // the window's server and password boxes preset to them as an earlier run would have left them.
    void startMain(const std::string &password = "pwMain") {
        main = startServer("127.0.0.2", password);
        w.preset("MIR", "txtServer0", serverBox(*main));
        w.preset("MIR", "DB0", QString::fromStdString(password));
    }
    void startMirror(const std::string &password = "pwMirror") {
        mirror = startServer("127.0.0.3", password);
        w.preset("MIR", "txtServer1", serverBox(*mirror));
        w.preset("MIR", "DB1", QString::fromStdString(password));
    }
    tds::ScriptedServer &server(int slot) { return slot == 0 ? *main : *mirror; }

    Form &f() { return w.form(); }
    void click(const QString &name) { w.find<QPushButton>(name)->click(); }
    // A mouse click on the row of grid whose first column reads text, as a user picks a database or a
    // table; false when no row reads it.
    bool clickRow(Grid *grid, const QString &text) {
        for (int r = 0; r < grid->rows(); ++r) {
            if (grid->textMatrix(r, 0) != text)
                continue;
            grid->scrollTo(grid->model()->index(r, 0));
            const QRect cell = grid->visualRect(grid->model()->index(r, 0));
            QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
            return true;
        }
        return false;
    }

    // The log pane's lines, newest first (as the pane shows them) and oldest first; the error pane's.
    // The whole text, the lines the pane has archived too.
    QStringList log() { return textLines(f().txtLog->wholeText()); }
    QStringList logged() { return oldestFirst(f().txtLog); }
    QStringList errorPane() { return oldestFirst(f().txtErrs); }

    // What a server received (SQL batches), in order; withLists false leaves out the database list queries
    // the buttons send.
    std::vector<std::string> sent(int slot, bool withLists = true) {
        std::vector<std::string> out;
        for (const auto &b : server(slot).batches())
            if (withLists || b != kList)
                out.push_back(b);
        return out;
    }

    std::unique_ptr<tds::ScriptedServer> main, mirror;
    WindowFixture w;

private:
    static QStringList oldestFirst(const LogPane *pane) {
        QStringList lines = textLines(pane->wholeText());
        std::reverse(lines.begin(), lines.end());
        return lines;
    }
};

} // namespace quorix::testing
