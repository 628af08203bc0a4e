#include "core/db/DbWorker.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>
#include <algorithm>
#include <climits>
#include <cmath>
#include <condition_variable>
#include <ctime>
#include <mutex>

// Linux sleeps on the words themselves (futex). Elsewhere one shared lock and condition variable stand in:
// correct for any number of words, at the cost of a lock round trip per sleep and wake.
#if defined(__linux__) && !defined(QUORIX_PORTABLE_WAIT)
#define QUORIX_FUTEX 1
#include <linux/futex.h>
#include <sched.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

namespace quorix {

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// Statements often come back to back (a copy loop, a list of commands) and a short one takes tens of
// microseconds, about what it costs to put a thread to sleep and wake it again (much more when the wake-up
// has to reach another processor). So both sides stay awake a while before they sleep: the worker for the
// next job, the waiter for the result.
constexpr auto kWaitAwake = 100us; // the caller, for the result
constexpr auto kIdleAwake = 50us;  // the worker, for the next job
// Staying awake pays only while the processor is ours. A thread kept from running for longer than kOusted
// while it waited awake has lost the processor to another program for a time slice. On a busy machine that
// happens now and then and costs a few percent, less than sleeping would. But when such losses, counted
// with a memory of about kMemory, exceed kTolerated, another program shares the processor for good and gets
// it whenever we yield: both sides then sleep at once until the count has fallen to half of that, and for
// twice as long each time that repeats within kRepeat (each return to staying awake costs time slices).
constexpr auto kOusted = 200us;
constexpr auto kMemory = 1s;
constexpr auto kTolerated = 100ms;
constexpr auto kRepeat = 2s;
constexpr int kLongestNaps = 5; // doublings
// Longer jobs are waited for without the event loop for a few milliseconds, which costs no event loop
// round; after that the waiter runs the event loop so the window keeps painting.
constexpr auto kQuietWait = 4ms;

// Sleeping on a 32-bit word that another thread ends by changing it, with no lock on either side.
static_assert(sizeof(std::atomic<std::uint32_t>) == sizeof(std::uint32_t) &&
              std::atomic<std::uint32_t>::is_always_lock_free);

#ifdef QUORIX_FUTEX
// Sleeps while word holds expected, at most timeout (none: without limit); returns at once otherwise.
void sleepWhile(std::atomic<std::uint32_t> &word, std::uint32_t expected,
                std::optional<Clock::duration> timeout = std::nullopt) {
    timespec ts{};
    if (timeout) {
        const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(*timeout).count();
        ts.tv_sec = static_cast<time_t>(ns / 1000000000);
        ts.tv_nsec = static_cast<long>(ns % 1000000000);
    }
    syscall(SYS_futex, reinterpret_cast<std::uint32_t *>(&word), FUTEX_WAIT_PRIVATE, expected,
            timeout ? &ts : nullptr, nullptr, 0);
}

void wakeAll(std::atomic<std::uint32_t> &word) {
    syscall(SYS_futex, reinterpret_cast<std::uint32_t *>(&word), FUTEX_WAKE_PRIVATE, INT_MAX, nullptr,
            nullptr, 0);
}

// The processor this thread runs on, so that a side spinning on the other's processor can yield it.
int currentProcessor() {
    return sched_getcpu();
}
#else
std::mutex g_sleepMutex;
std::condition_variable g_sleepers;

void sleepWhile(std::atomic<std::uint32_t> &word, std::uint32_t expected,
                std::optional<Clock::duration> timeout = std::nullopt) {
    std::unique_lock lock(g_sleepMutex);
    const auto changed = [&] { return word.load() != expected; };
    if (timeout)
        g_sleepers.wait_for(lock, *timeout, changed);
    else
        g_sleepers.wait(lock, changed);
}

void wakeAll(std::atomic<std::uint32_t> &) {
    // Taking the lock orders the change before a sleeper's check; then every sleeper looks again.
    { std::lock_guard lock(g_sleepMutex); }
    g_sleepers.notify_all();
}

// Unknown: both sides then count as sharing one processor and yield while they spin, as is safe anywhere.
int currentProcessor() {
    return -1;
}
#endif

enum : std::uint32_t { kRunning, kWaiting, kDone }; // Pending::state; kWaiting: the waiter sleeps on it

struct Pending {
    std::atomic<std::uint32_t> state{kRunning};
    std::exception_ptr error;
    std::atomic<bool> inLoop{false};
    QEventLoop *loop = nullptr; // touched only on the waiting (main) thread

    bool done() const { return state.load() == kDone; }
    // False when timeout passed first.
    bool sleepUntilDone(std::optional<Clock::duration> timeout = std::nullopt) {
        std::uint32_t running = kRunning;
        state.compare_exchange_strong(running, kWaiting);
        const auto until = Clock::now() + timeout.value_or(Clock::duration::zero());
        while (!done()) {
            if (!timeout) {
                sleepWhile(state, kWaiting);
                continue;
            }
            const auto left = until - Clock::now();
            if (left <= Clock::duration::zero())
                return false;
            sleepWhile(state, kWaiting, left);
        }
        return true;
    }
    void finish() {
        if (state.exchange(kDone) == kWaiting)
            wakeAll(state);
    }
};

} // namespace

DbWorker::DbWorker() : m_thread([this] { loop(); }) {}

DbWorker::~DbWorker() {
    m_stop.store(true);
    signal();
    if (m_thread.joinable())
        m_thread.join();
}

template <class Ready>
bool DbWorker::spin(Ready ready, Clock::duration budget, std::atomic<int> &self,
                    const std::atomic<int> &other) {
    auto now = Clock::now();
    if (now.time_since_epoch().count() < m_napUntil.load(std::memory_order_relaxed))
        return ready();
    const int cpu = currentProcessor();
    self.store(cpu, std::memory_order_relaxed);
    // On the processor the other side needs, staying awake means handing it over at once instead.
    const bool shared = other.load(std::memory_order_relaxed) == cpu;
    const auto until = now + budget;
    while (!ready()) {
        if (shared)
            std::this_thread::yield();
        const auto last = now;
        now = Clock::now();
        if (now - last > kOusted) {
            ousted(now, now - last);
            return ready();
        }
        if (now >= until)
            return false;
    }
    return true;
}

void DbWorker::ousted(Clock::time_point now, Clock::duration lost) {
    using Seconds = std::chrono::duration<double>;
    std::lock_guard lock(m_napMutex);
    const double memory = Seconds(kMemory).count();
    m_lost = m_lost * std::exp(-Seconds(now - m_lastLoss).count() / memory) + Seconds(lost).count();
    m_lastLoss = now;
    const double tolerated = Seconds(kTolerated).count();
    if (m_lost > tolerated) {
        const Clock::time_point napped{Clock::duration(m_napUntil.load())};
        m_naps = now - napped < kRepeat ? std::min(m_naps + 1, kLongestNaps) : 0;
        const Seconds nap(memory * std::log(2 * m_lost / tolerated) * (1 << m_naps));
        m_napUntil.store((now + std::chrono::duration_cast<Clock::duration>(nap)).time_since_epoch().count());
    }
}

void DbWorker::signal() {
    // Either the worker sees the new count before it sleeps, or we see it sleeping (both in one order).
    m_changes.fetch_add(1);
    if (m_sleeping.load())
        wakeAll(m_changes);
}

void DbWorker::post(std::function<void()> job) {
    {
        std::lock_guard lock(m_mutex);
        m_jobs.push_back(std::move(job));
        m_queued.fetch_add(1);
    }
    signal();
}

bool DbWorker::take(std::function<void()> &job) {
    for (;;) {
        const std::uint32_t seen = m_changes.load();
        if (m_queued.load() > 0) {
            std::lock_guard lock(m_mutex);
            job = std::move(m_jobs.front());
            m_jobs.pop_front();
            m_queued.fetch_sub(1);
            return true;
        }
        if (m_stop.load())
            return false;
        if (spin([&] { return m_changes.load() != seen; }, kIdleAwake, m_workerCpu, m_callerCpu))
            continue;
        m_sleeping.store(true);
        if (m_changes.load() == seen)
            sleepWhile(m_changes, seen);
        m_sleeping.store(false);
    }
}

void DbWorker::loop() {
    std::function<void()> job;
    while (take(job)) {
        job();
        job = nullptr;
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
        pending->finish();
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

    if (!spin([&] { return pending->done(); }, kWaitAwake, m_callerCpu, m_workerCpu)) {
        if (!pumpEvents) {
            pending->sleepUntilDone();
        } else if (!pending->sleepUntilDone(kQuietWait)) {
            QEventLoop loop;
            pending->loop = &loop;
            pending->inLoop.store(true);
            // Either the job sees inLoop and posts the quit, or we see it done here (both atomic, in order).
            if (!pending->done())
                loop.exec();
            pending->loop = nullptr;
            // The loop also ends when the application quits; the job's result is still needed.
            if (!pending->done() && onAbandon)
                onAbandon();
            pending->sleepUntilDone();
        }
    }
    if (pending->error)
        std::rethrow_exception(pending->error);
}

} // namespace quorix
