#include "db/DbWorker.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>
#include <atomic>
#include <chrono>

namespace quorix {

namespace {

using Clock = std::chrono::steady_clock;

// Statements often come back to back (a copy loop, a list of commands) and most take well under a
// millisecond. Both sides therefore stay awake a little while, yielding the processor, before they sleep:
// the worker for the next job, the waiter for the result. This saves two thread wake-ups per statement.
constexpr auto kSpin = std::chrono::microseconds(200);
// Longer jobs are waited for on a condition variable for a few milliseconds, which costs no event loop
// round; after that the waiter runs the event loop so the window keeps painting.
constexpr auto kQuietWait = std::chrono::milliseconds(4);

struct Pending {
    std::mutex mutex;
    std::condition_variable done;
    std::atomic<bool> finished{false};
    std::exception_ptr error;
    std::atomic<bool> inLoop{false};
    QEventLoop *loop = nullptr; // touched only on the waiting (main) thread
};

template <class Ready> bool spinUntil(Ready ready) {
    const auto until = Clock::now() + kSpin;
    while (!ready()) {
        if (Clock::now() >= until)
            return false;
        std::this_thread::yield();
    }
    return true;
}

} // namespace

DbWorker::DbWorker() : m_thread([this] { loop(); }) {}

DbWorker::~DbWorker() {
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

void DbWorker::post(std::function<void()> job) {
    {
        std::lock_guard lock(m_mutex);
        m_jobs.push_back(std::move(job));
        m_queued.fetch_add(1);
    }
    if (m_sleeping.load())
        m_wake.notify_one();
}

void DbWorker::loop() {
    for (;;) {
        std::function<void()> job;
        spinUntil([this] { return m_queued.load() > 0 || m_stop.load(); });
        {
            std::unique_lock lock(m_mutex);
            m_sleeping.store(true);
            m_wake.wait(lock, [this] { return m_stop || !m_jobs.empty(); });
            m_sleeping.store(false);
            if (m_jobs.empty())
                return;
            job = std::move(m_jobs.front());
            m_jobs.pop_front();
            m_queued.fetch_sub(1);
        }
        job();
    }
}

void DbWorker::call(std::function<void()> job, const std::function<void()> &onAbandon) {
    if (onWorkerThread()) { // a job that calls back into its own worker runs inline
        job();
        return;
    }
    auto pending = std::make_shared<Pending>();
    QCoreApplication *app = QCoreApplication::instance();
    const bool pumpEvents = app && QThread::currentThread() == app->thread();

    post([pending, job = std::move(job), app]() mutable {
        try {
            job();
        } catch (...) {
            pending->error = std::current_exception();
        }
        job = nullptr; // what the job holds is released before the waiter goes on
        {
            std::lock_guard lock(pending->mutex);
            pending->finished.store(true);
        }
        pending->done.notify_all();
        // The waiter may be in its event loop (or about to enter it): wake it there.
        if (pending->inLoop.load() && app)
            QMetaObject::invokeMethod(
                app,
                [pending] {
                    if (pending->loop)
                        pending->loop->quit();
                },
                Qt::QueuedConnection);
    });

    auto isFinished = [&] { return pending->finished.load(); };
    if (!spinUntil(isFinished)) {
        std::unique_lock lock(pending->mutex);
        if (!pumpEvents) {
            pending->done.wait(lock, isFinished);
        } else if (!pending->done.wait_for(lock, kQuietWait, isFinished)) {
            lock.unlock();
            QEventLoop loop;
            pending->loop = &loop;
            pending->inLoop.store(true);
            // Either the job sees inLoop and posts the quit, or we see finished here (both atomic, in order).
            if (!isFinished())
                loop.exec();
            pending->loop = nullptr;
            // The loop also ends when the application quits; the job's result is still needed.
            if (!isFinished() && onAbandon)
                onAbandon();
            lock.lock();
            pending->done.wait(lock, isFinished);
        }
    }
    if (pending->error)
        std::rethrow_exception(pending->error);
}

} // namespace quorix
