// The log pane at a night's length, on the real widget offscreen: the newest line on top, the document
// bounded while its top is in view, and every line reachable (the whole text, scrolling to the end,
// copying), the pane started anew by clear() or setPlainText().

#include "gui/ui/LogPanes.h"
#include "gui/ui/widgets/LogPane.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QClipboard>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>
#include <gtest/gtest.h>

using quorix::LogPane;
using quorix::prependLine;

namespace {

constexpr int kShown = LogPane::kShownLines;

// "line 0" ... "line n-1", one prependLine each.
void logLines(LogPane &pane, int n, int from = 0) {
    for (int i = from; i < from + n; ++i)
        prependLine(&pane, QStringLiteral("line %1").arg(i));
}

// What a pane given lines 0 to n-1 reads, newest first.
QString newestFirst(int n) {
    QString text;
    for (int i = n - 1; i >= 0; --i)
        text += QStringLiteral("line %1\n").arg(i);
    return text;
}

// A burst of lines holds the pane's repaints and scroll range back a moment: waits until they are given.
bool settled(LogPane &pane) {
    return QTest::qWaitFor(
        [&] { return pane.updatesEnabled() && !pane.document()->documentLayout()->signalsBlocked(); });
}

} // namespace

TEST(LogPane, TheNewestLineIsOnTopAndEveryLineIsKept) {
    LogPane pane;
    const int n = 3 * kShown + 7;
    logLines(pane, n);
    EXPECT_EQ(pane.wholeText(), newestFirst(n));
    EXPECT_TRUE(pane.toPlainText().startsWith(QStringLiteral("line %1\nline %2\n").arg(n - 1).arg(n - 2)));
    // The document holds the newest lines only; the rest wait in the archive.
    EXPECT_LE(pane.document()->blockCount(), 2 * kShown + 1);
    EXPECT_GT(pane.archivedLines(), 0);
    EXPECT_EQ(pane.document()->blockCount() - 1 + pane.archivedLines(), n);
    EXPECT_FALSE(pane.document()->isUndoRedoEnabled());
}

TEST(LogPane, ScrollingToTheEndBringsTheOlderLinesBack) {
    LogPane pane;
    pane.resize(600, 300);
    pane.show();
    const int n = 3 * kShown;
    logLines(pane, n);
    ASSERT_GT(pane.archivedLines(), 0);
    ASSERT_TRUE(settled(pane));
    QScrollBar *bar = pane.verticalScrollBar();
    while (pane.archivedLines() > 0) {
        const qsizetype before = pane.archivedLines();
        bar->setValue(bar->maximum());
        ASSERT_TRUE(QTest::qWaitFor([&] { return pane.archivedLines() < before; }))
            << "still " << before << " lines archived";
    }
    // Everything is in the document now, in order.
    EXPECT_EQ(pane.toPlainText(), newestFirst(n));
}

TEST(LogPane, ARunGoingOnWhileTheReaderIsDeepInTheLinesMovesNoneOfThem) {
    LogPane pane;
    pane.resize(600, 300);
    pane.show();
    logLines(pane, 2 * kShown);
    ASSERT_TRUE(settled(pane));
    QScrollBar *bar = pane.verticalScrollBar();
    bar->setValue(kShown + 100); // below the lines that stay
    ASSERT_GE(pane.cursorForPosition(QPoint(5, 5)).block().blockNumber(), kShown);
    logLines(pane, 100, 2 * kShown);
    EXPECT_EQ(pane.archivedLines(), 0);
    EXPECT_EQ(pane.wholeText(), newestFirst(2 * kShown + 100));
}

TEST(LogPane, CopyingASelectionToTheEndTakesTheArchivedLines) {
    LogPane pane;
    const int n = 3 * kShown;
    logLines(pane, n);
    ASSERT_GT(pane.archivedLines(), 0);
    pane.selectAll();
    pane.copy();
    EXPECT_EQ(QApplication::clipboard()->text(), newestFirst(n));

    // A selection that ends before the document's end is copied as it is.
    QTextCursor top(pane.document());
    top.movePosition(QTextCursor::Down, QTextCursor::KeepAnchor, 2);
    pane.setTextCursor(top);
    pane.copy();
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("line %1\nline %2\n").arg(n - 1).arg(n - 2));
}

TEST(LogPane, ClearingOrSettingTheTextStartsThePaneAnew) {
    LogPane pane;
    logLines(pane, 3 * kShown);
    ASSERT_GT(pane.archivedLines(), 0);
    pane.clear();
    EXPECT_EQ(pane.archivedLines(), 0);
    EXPECT_EQ(pane.wholeText(), "");
    logLines(pane, 3 * kShown);
    pane.setPlainText("set\n");
    EXPECT_EQ(pane.wholeText(), "set\n");
    logLines(pane, 2);
    EXPECT_EQ(pane.wholeText(), "line 1\nline 0\nset\n");
}

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
