#pragma once

// One operation at a time. A button wired through onClick (or work started through run) runs its handler only
// when no other operation is running; otherwise the press is refused with a note in the status bar (and on
// stderr in a headless run). Handlers that call other handlers directly are not affected. STOP, check
// boxes, text boxes and tabs are never wired through here, so they stay live while an operation runs.

#include <QString>
#include <functional>

class QAbstractButton;
class QMainWindow;

namespace quorix {

class Operations {
public:
    static void setWindow(QMainWindow *window); // where refusals are noted
    // Wires a click of the button to the handler. The operation's name in a refusal is the button's
    // objectName.
    static void onClick(QAbstractButton *button, std::function<void()> handler);
    // Runs handler as an operation named name; returns false (and notes it) when another one is running.
    static bool run(const QString &name, const std::function<void()> &handler);
    // Runs before every operation starts, after the others are refused: work the window holds back (a folder
    // typed into a box and not yet read) is done first, so the operation sees what the user sees.
    static void setBeforeEach(std::function<void()> prepare);
    static bool busy();
    static QString current();
};

} // namespace quorix
