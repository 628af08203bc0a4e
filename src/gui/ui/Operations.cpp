#include "gui/ui/Operations.h"

#include "gui/ui/Echo.h"

#include <QAbstractButton>
#include <QMainWindow>
#include <QPointer>
#include <QStatusBar>
#include <exception>

namespace quorix {

namespace {
QPointer<QMainWindow> g_window;
QString g_current; // empty when idle
std::function<void()> g_beforeEach;

void note(const QString &text) {
    if (g_window)
        g_window->statusBar()->showMessage(text, 10000);
    Echo::err(text);
}
} // namespace

void Operations::setWindow(QMainWindow *window) {
    g_window = window;
}

void Operations::onClick(QAbstractButton *button, std::function<void()> handler) {
    QObject::connect(button, &QAbstractButton::clicked, button,
                     [button, handler = std::move(handler)] { run(button->objectName(), handler); });
}

bool Operations::run(const QString &name, const std::function<void()> &handler) {
    if (!g_current.isEmpty()) {
        note(QStringLiteral("Busy with %1: press refused").arg(g_current));
        return false;
    }
    g_current = name.isEmpty() ? QStringLiteral("an operation") : name;
    struct Idle {
        ~Idle() { g_current.clear(); }
    } idle;
    // A handler reports its own failures; anything that still escapes must not take the window down with it
    // (it would cross the event loop) nor leave the tool refusing every later press.
    try {
        if (g_beforeEach)
            g_beforeEach();
        handler();
    } catch (const std::exception &e) {
        note(QStringLiteral("%1 failed: %2").arg(g_current, QString::fromUtf8(e.what())));
    } catch (...) {
        note(QStringLiteral("%1 failed").arg(g_current));
    }
    return true;
}

void Operations::setBeforeEach(std::function<void()> prepare) {
    g_beforeEach = std::move(prepare);
}

bool Operations::busy() {
    return !g_current.isEmpty();
}
QString Operations::current() {
    return g_current;
}

} // namespace quorix
