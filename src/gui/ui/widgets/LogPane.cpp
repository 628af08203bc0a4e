#include "gui/ui/widgets/LogPane.h"

#include <QMimeData>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextDocumentFragment>
#include <QTimer>

namespace quorix {

namespace {

// Sets a flag for the lifetime of a change the pane makes itself.
class OwnChange {
public:
    explicit OwnChange(bool &flag) : m_flag(flag) { m_flag = true; }
    ~OwnChange() { m_flag = false; }
    OwnChange(const OwnChange &) = delete;
    OwnChange &operator=(const OwnChange &) = delete;

private:
    bool &m_flag;
};

} // namespace

LogPane::LogPane(QWidget *parent) : QPlainTextEdit(parent) {
    setReadOnly(true);
    document()->setUndoRedoEnabled(false);
    connect(document(), &QTextDocument::contentsChange, this, [this] { documentChanged(); });
    // At the end of what the document holds, the next older block comes back; queued, so the scroll bar's
    // own change is over first.
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, [this](int value) {
        if (!m_archive.empty() && value > 0 && value == verticalScrollBar()->maximum())
            QTimer::singleShot(0, this, [this] {
                if (!m_archive.empty() && verticalScrollBar()->value() == verticalScrollBar()->maximum())
                    restoreNewestArchived();
            });
    });
}

void LogPane::prepend(const QString &lines) {
    QTextDocument *doc = document();
    if (doc->isUndoRedoEnabled())
        doc->setUndoRedoEnabled(false);
    {
        OwnChange own(m_editing);
        QTextCursor cursor(doc); // at the start
        // Inside an edit block the cursor does not lay out the line it ends on to remember its column.
        cursor.beginEditBlock();
        cursor.insertText(lines);
        cursor.endEditBlock();
    }
    // Twice the lines shown before a block moves out, so that a block moves once per kShownLines lines;
    // never while the reader's view is among the lines that would move.
    if (doc->blockCount() > 2 * kShownLines + 1 && firstVisibleBlock().blockNumber() < kShownLines)
        archiveOldest();
}

void LogPane::archiveOldest() {
    QTextDocument *doc = document();
    const QTextBlock first = doc->findBlockByNumber(kShownLines);
    if (!first.isValid())
        return;
    QTextCursor cursor(doc);
    cursor.setPosition(first.position());
    cursor.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
    Chunk chunk;
    // The document ends in an empty block after the oldest line's break, so the moved text ends with one.
    const QString moved = cursor.selection().toPlainText();
    chunk.lines = doc->blockCount() - 1 - kShownLines;
    // The fastest level: a block moves once per kShownLines lines, and its lines are alike.
    chunk.text = qCompress(moved.toUtf8(), 1);
    OwnChange own(m_editing);
    cursor.beginEditBlock();
    cursor.removeSelectedText();
    cursor.endEditBlock();
    m_archivedLines += chunk.lines;
    m_archive.push_back(std::move(chunk));
}

void LogPane::restoreNewestArchived() {
    if (m_archive.empty())
        return;
    Chunk chunk = std::move(m_archive.back());
    m_archive.pop_back();
    m_archivedLines -= chunk.lines;
    OwnChange own(m_editing);
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::End); // the empty block after the last line's break
    cursor.beginEditBlock();
    cursor.insertText(QString::fromUtf8(qUncompress(chunk.text)));
    cursor.endEditBlock();
}

void LogPane::documentChanged() {
    if (m_editing || m_archive.empty())
        return;
    m_archive.clear();
    m_archivedLines = 0;
}

QString LogPane::archiveText() const {
    QByteArray text;
    for (auto it = m_archive.rbegin(); it != m_archive.rend(); ++it)
        text += qUncompress(it->text);
    return QString::fromUtf8(text);
}

QString LogPane::wholeText() const {
    if (m_archive.empty())
        return toPlainText();
    return toPlainText() + archiveText();
}

QMimeData *LogPane::createMimeDataFromSelection() const {
    const QTextCursor cursor = textCursor();
    if (m_archive.empty() || !cursor.hasSelection() ||
        cursor.selectionEnd() < document()->characterCount() - 1)
        return QPlainTextEdit::createMimeDataFromSelection();
    // The selection reaches the document's end: the archived lines after it belong to it.
    auto *mime = new QMimeData;
    mime->setText(cursor.selection().toPlainText() + archiveText());
    return mime;
}

} // namespace quorix
