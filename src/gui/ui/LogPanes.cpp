#include "gui/ui/LogPanes.h"

#include "gui/ui/Echo.h"
#include "gui/ui/widgets/LogPane.h"

#include <QAbstractTextDocumentLayout>
#include <QCoreApplication>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTextDocument>
#include <QTimer>

namespace quorix {

namespace {

// Lines may come faster than a pane can repaint (a paint costs far more than a line); while they come, the
// pane is repainted at most once per interval rather than once per line. Its text is always current.
constexpr int kRepaintIntervalMs = 40;

// The layout's size and repaint signals drive the pane's scroll bar and viewport; they too are held back
// for the interval and given once at its end.
void deferRepaint(QPlainTextEdit *pane) {
    if (!pane->isVisible() || !pane->updatesEnabled())
        return;
    QAbstractTextDocumentLayout *layout = pane->document()->documentLayout();
    pane->setUpdatesEnabled(false);
    layout->blockSignals(true);
    QPointer<QAbstractTextDocumentLayout> guard(layout);
    QTimer::singleShot(kRepaintIntervalMs, pane, [pane, guard] {
        if (guard && guard == pane->document()->documentLayout()) {
            guard->blockSignals(false);
            emit guard->documentSizeChanged(guard->documentSize());
            emit guard->update(QRectF(0., 0., 1e9, 1e9));
        }
        pane->setUpdatesEnabled(true);
    });
}

} // namespace

void prependLine(LogPane *pane, const QString &text) {
    if (!pane)
        return;
    QString line = text;
    if (line.contains(QLatin1Char('\r'))) {
        line.replace(QLatin1String("\r\n"), QLatin1String("\n"));
        line.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    }
    line += QLatin1Char('\n');
    deferRepaint(pane);
    pane->prepend(line);
}

void LogPanes::LogLine(const QString &text) const {
    prependLine(m_log, text);
    Echo::log(text);
    QCoreApplication::processEvents();
}

void LogPanes::LogError(const QString &text) const {
    prependLine(m_errs, text);
    Echo::err(text);
    QCoreApplication::processEvents();
}

} // namespace quorix
