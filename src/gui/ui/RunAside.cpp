#include "gui/ui/RunAside.h"

#include "core/db/DbWorker.h"
#include "core/shares/FileErrors.h"

#include <QEventLoop>
#include <QTimer>

namespace quorix {

namespace {

// Made on first use and kept to the end of the program: a thread per call would cost a thread start for
// every folder read and every copy.
DbWorker &operationsWorker() {
    static DbWorker worker;
    return worker;
}

DbWorker &listsWorker() {
    static DbWorker worker;
    return worker;
}

} // namespace

void runAside(const std::function<void()> &work) {
    operationsWorker().call(work, [] { shares::cancelCopies(); });
}

void readAside(const std::function<void()> &work) {
    listsWorker().call(work);
}

Outcome copyAside(const std::string &from, const std::string &to) {
    Outcome result;
    runAside([&] { result = shares::files().copy(from, to); });
    return result;
}

void cancelAside() {
    shares::cancelCopies();
}

void pauseFor(int milliseconds) {
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace quorix
