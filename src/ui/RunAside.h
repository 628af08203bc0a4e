#pragma once

// Work that may block for long runs on a thread of its own while the window keeps processing events: a
// share that does not answer takes its time-out, a backup file of many gigabytes takes minutes, and STOP,
// the log and the painting stay live meanwhile.

#include "shares/FileAccess.h"

#include <QEventLoop>
#include <atomic>
#include <functional>
#include <string>
#include <thread>

namespace quorix {

// Returns when work has finished.
inline void runAside(const std::function<void()> &work) {
    QEventLoop loop;
    std::atomic<bool> done{false};
    std::thread worker([&] {
        work();
        done = true;
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    if (!done)
        loop.exec();
    worker.join();
}

inline shares::Result copyAside(const std::string &from, const std::string &to) {
    shares::Result result;
    runAside([&] { result = shares::files().copy(from, to); });
    return result;
}

} // namespace quorix
