// The script frames of the "Mirroring" tab on the real window, through the real driver to two scripted
// servers: Main on 127.0.0.2, Mirror on 127.0.0.3.

#include "WindowKit.h"
#include "core/mirroring/DefaultScripts.h"
#include "core/mirroring/ScriptSplitter.h"
#include "gui/mirroring/MirroringScripts.h"
#include "gui/ui/BoxText.h"

#include <QApplication>
#include <QGroupBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>

#include <map>
#include <mutex>
#include <set>

using namespace quorix;
using namespace quorix::testing;
using tds::ConnectionState;
using tds::Reply;
using tds::Rule;

namespace {

std::vector<std::string> batchTexts(const QString &script) {
    std::vector<std::string> out;
    for (const ScriptBatch &b : splitScript(script))
        out.push_back(utf8(b.text));
    return out;
}

// What the log pane shows after these lines were logged, oldest first (each new line goes on top).
QString paneOf(const QStringList &entries) {
    QString pane;
    for (QString line : entries) {
        line.replace(QLatin1String("\r\n"), QLatin1String("\n"));
        line.replace(QLatin1Char('\r'), QLatin1Char('\n'));
        pane.prepend(line + QLatin1Char('\n'));
    }
    return pane;
}

// The lines ExecuteOnServer logs for one batch that succeeds, after the runner's own echo when it gives one.
QStringList runLines(const QString &batch, bool echoed, bool connects = false) {
    QStringList lines;
    if (echoed)
        lines << batch;
    lines << QStringLiteral("Running SQL..");
    if (connects)
        lines << QStringLiteral("Connected.");
    lines << batch << QStringLiteral("Done");
    return lines;
}

class Scripts : public WindowTest {
protected:
    void SetUp() override {
        main = startServer("127.0.0.2", "pwMain");
        mirror = startServer("127.0.0.3", "pwMirror");
        w.preset("MIR", "txtServer0", serverBox(*main));
        w.preset("MIR", "txtServer1", serverBox(*mirror));
        w.start();
        // Given after start-up, so start-up lists no databases and the servers see only the scripts.
        f().txtPW[0]->setText("pwMain");
        f().txtPW[1]->setText("pwMirror");
        f().txtLog->clear();
    }
    QString pane() { return f().txtLog->toPlainText(); }
    void run(int index, const QString &script) {
        setBoxText(f().txtScript1[static_cast<size_t>(index)], script);
        w.find<QPushButton>(QStringLiteral("cmdRunScript(%1)").arg(index))->click();
    }
};

} // namespace

TEST_F(Scripts, FramesShowTheDefaultScriptsAtEveryStart) {
    const QStringList frames = {"Reset Mirroring", "Create", "Create", "Create"};
    const QStringList runs = {"RunScript both servers", "RunScript svr1", "RunScript svr2", "RunScript svr1"};
    for (int i = 0; i < 4; ++i) {
        const auto k = static_cast<size_t>(i);
        EXPECT_EQ(f().SSTab2->tabText(i), QString::number(i + 1));
        EXPECT_TRUE(f().SSTab2->widget(i)->isAncestorOf(f().fraScr[k]));
        EXPECT_EQ(f().fraScr[k]->title(), frames[i]);
        EXPECT_EQ(f().cmdRunScript[k]->text(), runs[i]);
        EXPECT_EQ(f().txtScript1[k]->toPlainText(), defaultMirroringScript(i));
    }
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(f().cmdCopyCert[static_cast<size_t>(i)]->text(), "CopyCert");
        EXPECT_TRUE(
            f().fraScr[static_cast<size_t>(i) + 1]->isAncestorOf(f().cmdCopyCert[static_cast<size_t>(i)]));
    }

    // An edited script is gone at the next start.
    setBoxText(f().txtScript1[1], "SELECT 1");
    w.restart();
    EXPECT_EQ(f().txtScript1[1]->toPlainText(), defaultMainCreateScript());
}

TEST_F(Scripts, MainCreateScriptRunsNineBatchesAndEchoesThoseWithoutAComment) {
    w.find<QPushButton>("cmdRunScript(1)")->click();
    const auto sent = main->batches();
    ASSERT_EQ(sent, batchTexts(defaultMainCreateScript()));
    ASSERT_EQ(sent.size(), 9u);
    EXPECT_EQ(sent[4], "BACKUP CERTIFICATE Mirroring  TO FILE = 'p:\\backup\\MIR\\SERVER1.cer'\r");
    EXPECT_TRUE(mirror->batches().empty());

    // Only batches 3 and 7 open without a comment line; the runner echoes just those. The log shows the
    // scripts' password masked; the server received it.
    QStringList expected;
    for (int i = 0; i < 9; ++i)
        expected << runLines(QString::fromStdString(sent[static_cast<size_t>(i)])
                                 .replace(QStringLiteral("'garden@584'"), QStringLiteral("'********'")),
                             i == 2 || i == 6, i == 0);
    EXPECT_NE(sent[0].find("PASSWORD = 'garden@584'"), std::string::npos);
    EXPECT_EQ(pane(), paneOf(expected));
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(Scripts, ResetRunsEightStatementsOnMainThenOnTheMirror) {
    std::mutex mutex;
    std::vector<std::string> order;
    auto recordAs = [&](const std::string &who) {
        return Rule::callback([&, who](const std::string &text, const ConnectionState &) {
            std::lock_guard lock(mutex);
            order.push_back(who + text);
            return std::optional<Reply>(Reply::done());
        });
    };
    main->addRule(recordAs("main: "));
    mirror->addRule(recordAs("mirror: "));

    w.find<QPushButton>("cmdRunScript(0)")->click();
    const std::vector<std::string> statements = {"drop endpoint Endpoint_Mirroring\r",
                                                 "drop certificate mirroring\r",
                                                 "drop certificate mirroringB\r",
                                                 "drop MASTER KEY \r",
                                                 "\r\ndrop login mirroring\r",
                                                 "drop USER mirroring\r",
                                                 "drop login mirroringB\r",
                                                 "drop USER mirroringB\r"};
    std::vector<std::string> expected;
    for (const char *who : {"main: ", "mirror: "})
        for (const auto &s : statements)
            expected.push_back(who + s);
    EXPECT_EQ(order, expected);
}

TEST_F(Scripts, EditedScriptSplitsOnlyAtGoLinesAndPassesOverCommentOnlyBatches) {
    // CARGO ends a line without ending the batch; a ";" inside a text stays; a comment alone sends
    // nothing; a commented batch loses its comment and is not echoed; the last batch has no GO line.
    run(2, "SELECT 'a;b' AS x,\n  kind AS CARGO;\nFROM t;\ngo\n-- only a note\nGO\nGO\n  -- why\nSELECT 2;\n"
           "  GO  \nSELECT 3");
    const std::vector<std::string> expected = {"SELECT 'a;b' AS x,\r\n  kind AS CARGO\r\nFROM t\r",
                                               "SELECT 2\r", "SELECT 3"};
    EXPECT_EQ(mirror->batches(), expected);
    EXPECT_TRUE(main->batches().empty());
    QStringList lines = runLines(QString::fromStdString(expected[0]), true, true);
    lines << runLines("SELECT 2\r", false) << runLines("SELECT 3", true);
    EXPECT_EQ(pane(), paneOf(lines));
}

TEST_F(Scripts, ASecondRunReportsWhatExistsAlreadyAndCarriesOn) {
    // Main as a server would answer: each CREATE of an object that exists is refused.
    const std::vector<std::pair<std::string, std::pair<int, std::string>>> refusals = {
        {"CREATE MASTER KEY",
         {15578, "There is already a master key in the database. Please drop it before performing this "
                 "statement."}},
        {"CREATE CERTIFICATE",
         {15232, "A certificate with name 'Mirroring' already exists or this certificate already has been "
                 "added to the database."}},
        {"CREATE ENDPOINT",
         {7862, "An endpoint of the requested type already exists.  Only one endpoint of this type is "
                "supported.  Use ALTER ENDPOINT or DROP the existing endpoint and execute the CREATE "
                "ENDPOINT statement."}},
        {"BACKUP CERTIFICATE",
         {15240, "Cannot write into file 'p:\\backup\\MIR\\SERVER1.cer'. Verify that you have write "
                 "permissions, that the file path is valid, and that the file does not already exist."}},
        {"CREATE LOGIN", {15025, "The server principal 'mirroring' already exists."}},
        {"CREATE USER", {15023, "User, group, or role 'mirroring' already exists in the current database."}},
    };
    auto done = std::make_shared<std::set<std::string>>();
    main->addRule(Rule::callback([refusals, done](const std::string &text, const ConnectionState &) {
        for (const auto &[start, error] : refusals)
            if (text.rfind(start, 0) == 0 && !done->insert(text).second)
                return std::optional<Reply>(Reply::error(error.first, error.second));
        return std::optional<Reply>(Reply::done());
    }));

    w.find<QPushButton>("cmdRunScript(1)")->click();
    ASSERT_FALSE(pane().contains("[FreeTDS]")) << pane().toStdString();
    f().txtLog->clear();
    w.find<QPushButton>("cmdRunScript(1)")->click();

    const auto once = batchTexts(defaultMainCreateScript());
    std::vector<std::string> twice = once;
    twice.insert(twice.end(), once.begin(), once.end());
    EXPECT_EQ(main->batches(), twice);
    // Every refusal was logged, in script order, and the batches after each still ran.
    QStringList errors;
    for (const QString &line : pane().split('\n'))
        if (line.startsWith("[FreeTDS][SQL Server]"))
            errors.prepend(line.mid(21));
    const QStringList expected = {
        QString::fromStdString(refusals[0].second.second), QString::fromStdString(refusals[1].second.second),
        QString::fromStdString(refusals[2].second.second), QString::fromStdString(refusals[3].second.second),
        QString::fromStdString(refusals[4].second.second), QString::fromStdString(refusals[5].second.second)};
    EXPECT_EQ(errors, expected);
    EXPECT_TRUE(pane().startsWith("Done\nGRANT CONNECT ON ENDPOINT::Endpoint_Mirroring TO mirroring\n"))
        << pane().toStdString();
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(Scripts, AFailureOutsideTheServerEndsTheRunWithThePointerBack) {
    // No such slot: the runner's failure path, not a server's refusal.
    w.window().mirroringScripts().RunScript(2, "SELECT 1\nGO\nSELECT 2\nGO");
    EXPECT_TRUE(main->batches().empty());
    EXPECT_TRUE(mirror->batches().empty());
    EXPECT_EQ(pane(), paneOf({"SELECT 1\r", "server slot must be 0 or 1"}));
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);

    // Empty scripts and unknown frames send nothing.
    run(3, "\n\nGO\n   \n");
    w.window().mirroringScripts().cmdRunScript_Click(7);
    EXPECT_TRUE(main->batches().empty());
}
