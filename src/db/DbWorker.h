#pragma once

// A thread with a job queue: each server connection runs its statements on its own worker, and the
// window thread waits for the result in a local event loop, so handlers stay plain sequential code while
// the window keeps painting and taking clicks.

#include <atomic>
#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

namespace quorix {

class DbWorker {
public:
    DbWorker();
    ~DbWorker(); // runs the jobs already queued, then joins
    DbWorker(const DbWorker &) = delete;
    DbWorker &operator=(const DbWorker &) = delete;

    // Queues a job and returns at once.
    void post(std::function<void()> job);

    // Runs job on the worker and returns when it has finished, rethrowing what it threw. On the
    // application's main thread the wait runs a local event loop once the job takes more than a few
    // milliseconds; elsewhere (or without an application object) it simply blocks. When that event loop
    // is ended from outside (the application quits), onAbandon is called once and the wait goes on.
    void call(std::function<void()> job, const std::function<void()> &onAbandon = {});

    template <class F> auto run(F &&f, const std::function<void()> &onAbandon = {}) -> decltype(f()) {
        using R = decltype(f());
        if constexpr (std::is_void_v<R>) {
            call(std::forward<F>(f), onAbandon);
        } else {
            std::optional<R> result;
            call([&] { result.emplace(f()); }, onAbandon);
            return std::move(*result);
        }
    }

    bool onWorkerThread() const { return std::this_thread::get_id() == m_thread.get_id(); }

private:
    void loop();

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::function<void()>> m_jobs;
    std::atomic<int> m_queued{0};        // m_jobs.size(), readable without the lock
    std::atomic<bool> m_sleeping{false}; // the worker waits on m_wake
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

} // namespace quorix
