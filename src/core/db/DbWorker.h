#pragma once

// A thread with a job queue: each server connection runs its statements on its own worker, and the
// window thread waits for the result in a local event loop, so handlers stay plain sequential code while
// the window keeps painting and taking clicks. Short jobs are handed over and back without either thread
// going to sleep when the processors allow it (see DbWorker.cpp).

#include <atomic>
#include <chrono>
#include <cstdint>
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

    // Queues a job and returns at once. From any thread.
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
    using Clock = std::chrono::steady_clock;

    void loop();
    bool take(std::function<void()> &job); // waits for the next job; false once stopped and empty
    void signal();                         // after a change the worker must see
    void ousted(Clock::time_point now, Clock::duration lost); // a waiting thread lost the processor
    // Waits for ready() awake for at most budget, while that is likely to pay; false when it gave up.
    // self and other: the processors this side and the other side last waited on.
    template <class Ready>
    bool spin(Ready ready, Clock::duration budget, std::atomic<int> &self, const std::atomic<int> &other);

    std::mutex m_mutex; // guards m_jobs only; nobody sleeps on it
    std::deque<std::function<void()>> m_jobs;
    std::atomic<int> m_queued{0};            // m_jobs.size(), readable without the lock
    std::atomic<std::uint32_t> m_changes{0}; // bumped by post and stop; the worker sleeps on it
    std::atomic<bool> m_sleeping{false};     // the worker sleeps, or is about to
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_callerCpu{-1}, m_workerCpu{-1}; // see spin()
    // How long the waiting threads lost the processor lately, in seconds, fading (see ousted()).
    std::mutex m_napMutex;
    double m_lost = 0;
    int m_naps = 0; // naps in a row, each after a short time awake
    Clock::time_point m_lastLoss;
    std::atomic<Clock::rep> m_napUntil{0}; // before this time both sides sleep at once
    std::thread m_thread;
};

} // namespace quorix
