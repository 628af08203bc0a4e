#include "db/DbWorker.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>
#include <atomic>
#include <chrono>

namespace quorix {

namespace {

// Short jobs (a single-row statement, a block of rows) finish well within this; waiting on a condition
// variable for them avoids the cost of an event loop round per statement.
constexpr auto kQuietWait = std::chrono::milliseconds(4);

struct Pending {
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    std::exception_ptr error;
    std::atomic<bool> inLoop{false};
    QEventLoop *loop = nullptr; // touched only on the waiting (main) thread
};

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
    }
    m_wake.notify_one();
}

void DbWorker::loop() {
    for (;;) {
        std::function<void()> job;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_stop || !m_jobs.empty(); });
            if (m_jobs.empty())
                return;
            job = std::move(m_jobs.front());
            m_jobs.pop_front();
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
            pending->finished = true;
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

    std::unique_lock lock(pending->mutex);
    if (!pumpEvents) {
        pending->done.wait(lock, [&] { return pending->finished; });
    } else if (!pending->done.wait_for(lock, kQuietWait, [&] { return pending->finished; })) {
        lock.unlock();
        QEventLoop loop;
        pending->loop = &loop;
        pending->inLoop.store(true);
        // Either the job sees inLoop and posts the quit, or we see finished here (both atomic, in order).
        bool finished;
        {
            std::lock_guard check(pending->mutex);
            finished = pending->finished;
        }
        if (!finished)
            loop.exec();
        pending->loop = nullptr;
        lock.lock();
        // The loop also ends when the application quits; the job's result is still needed.
        if (!pending->finished && onAbandon) {
            lock.unlock();
            onAbandon();
            lock.lock();
        }
        pending->done.wait(lock, [&] { return pending->finished; });
    }
    if (pending->error)
        std::rethrow_exception(pending->error);
}

} // namespace quorix
