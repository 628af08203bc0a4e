#pragma once

// The log and error panes: read-only text, the newest line on top, at a cost per line that does not grow
// with the pane's length (a night's walk writes hundreds of thousands of lines). The pane's document holds
// the newest lines, at most 2 x kShownLines while its top is in view; older lines move out, a block at a
// time, into an archive of compressed UTF-8 text (a log's lines repeat themselves: a tenth of their size
// or less), and come back into the document, a block at a time, when
// the view is scrolled to its end. Every line stays reachable: by scrolling, by wholeText(), and by copying
// a selection that reaches the document's end (the archive follows it).

#include <QByteArray>
#include <QPlainTextEdit>
#include <vector>

namespace quorix {

class LogPane : public QPlainTextEdit {
    Q_OBJECT
public:
    static constexpr int kShownLines = 5000;

    explicit LogPane(QWidget *parent = nullptr);

    // Puts lines (ending with a line break, breaks already the pane's own) before everything the pane
    // holds. The pane's undo history is off: a log is never edited back.
    void prepend(const QString &lines);
    // Every line, newest first: the document's and the archive's.
    QString wholeText() const;
    // Lines now in the archive rather than the document.
    qsizetype archivedLines() const { return m_archivedLines; }

protected:
    QMimeData *createMimeDataFromSelection() const override;

private:
    struct Chunk {
        QByteArray text; // compressed UTF-8, each line ending with '\n', newest first
        qsizetype lines = 0;
    };

    void archiveOldest();         // the document's lines after the first kShownLines go to the archive
    void restoreNewestArchived(); // the archive's newest block goes back to the document's end
    void documentChanged();       // a change not made here (clear(), setPlainText()) starts the pane anew
    QString archiveText() const;

    std::vector<Chunk> m_archive; // the newest block last
    qsizetype m_archivedLines = 0;
    bool m_editing = false; // the change under way is the pane's own
};

} // namespace quorix
