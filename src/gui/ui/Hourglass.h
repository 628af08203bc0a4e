#pragma once

// The hourglass pointer for the length of a scope (a server call, a script run, a button's work).
// restore() ends it early, so that a failure is reported with the normal pointer.

#include <QApplication>

namespace quorix {

class Hourglass {
public:
    Hourglass() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~Hourglass() { restore(); }
    Hourglass(const Hourglass &) = delete;
    Hourglass &operator=(const Hourglass &) = delete;

    void restore() {
        if (m_on)
            QApplication::restoreOverrideCursor();
        m_on = false;
    }

private:
    bool m_on = true;
};

} // namespace quorix
