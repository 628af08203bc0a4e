#pragma once

// The hourglass pointer for the length of a scope, as the mirroring buttons show it while they work.
// restore() ends it early, before a failure is reported.

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
