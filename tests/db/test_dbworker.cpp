// The worker every server connection runs its statements on: results and failures come back, no job or
// wake-up is lost whoever posts, and a wait on the application's thread runs its event loop and survives
// the application quitting.

#include "core/db/DbWorker.h"

#include <QCoreApplication>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <stdexcept>
#include <thread>
#include <vector>

using namespace quorix;
using namespace std::chrono_literals;

TEST(DbWorker, ResultsAndFailuresComeBack) {
    DbWorker worker;
    EXPECT_EQ(worker.run([] { return 42; }), 42);
    EXPECT_EQ(worker.run([] { return std::string("text"); }), "text");
    try {
        worker.run([]() -> int { throw std::runtime_error("refused"); });
        ADD_FAILURE() << "the job's exception must reach the caller";
    } catch (const std::runtime_error &e) {
        EXPECT_STREQ(e.what(), "refused");
    }
    // A job that calls into its own worker runs that call inline instead of waiting for itself.
    EXPECT_EQ(worker.run([&] { return worker.onWorkerThread() && worker.run([] { return 7; }) == 7; }), true);
    EXPECT_FALSE(worker.onWorkerThread());
}

// Callers on several threads, posts in between, and pauses long enough for the worker to fall asleep:
// every job runs once, in order per caller, and every wait ends.
TEST(DbWorker, NoJobOrWakeUpIsLost) {
    std::atomic<int> posted{0};
    {
        DbWorker worker;
        constexpr int kCallers = 3, kCalls = 20000;
        std::vector<std::thread> callers;
        std::vector<int> wrong(kCallers, 0);
        for (int c = 0; c < kCallers; ++c)
            callers.emplace_back([&, c] {
                int last = -1;
                for (int i = 0; i < kCalls; ++i) {
                    const int got = worker.run([&last, i] {
                        const int previous = last;
                        last = i;
                        return previous;
                    });
                    if (got != i - 1)
                        ++wrong[static_cast<size_t>(c)];
                    if (i % 97 == 0)
                        worker.post([&] { ++posted; });
                    if (i % 4000 == 0)
                        std::this_thread::sleep_for(2ms);
                }
            });
        for (std::thread &t : callers)
            t.join();
        EXPECT_EQ(wrong, std::vector<int>(kCallers, 0));
        // Queued at destruction: still run before the worker goes.
        for (int i = 0; i < 100; ++i)
            worker.post([&] {
                std::this_thread::sleep_for(10us);
                ++posted;
            });
    }
    EXPECT_EQ(posted.load(), 3 * (20000 / 97 + 1) + 100);
}

TEST(DbWorker, TheApplicationThreadKeepsItsEventLoopAndOutlivesAQuit) {
    int argc = 1;
    char name[] = "test_db_worker";
    char *argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    DbWorker worker;

    // A job that takes a while: timers keep firing meanwhile. The job ends once they have fired ten times
    // (or after ten seconds, when the wait let none through).
    std::atomic<int> ticks{0};
    QTimer tick;
    tick.setInterval(5);
    QObject::connect(&tick, &QTimer::timeout, [&] { ++ticks; });
    tick.start();
    worker.run([&] {
        const auto deadline = std::chrono::steady_clock::now() + 10s;
        while (ticks < 10 && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(1ms);
    });
    tick.stop();
    EXPECT_GE(ticks.load(), 10);

    // The application quits during the wait of a handler: onAbandon is called once, the wait goes on, and
    // the result still arrives. The job ends only after the wait was abandoned.
    std::atomic<int> abandoned{0};
    std::atomic<bool> started{false};
    int result = 0;
    bool endedAfterAbandon = false;
    QTimer::singleShot(0, &app, [&] {
        result = worker.run(
            [&] {
                started = true;
                const auto deadline = std::chrono::steady_clock::now() + 10s;
                while (abandoned == 0 && std::chrono::steady_clock::now() < deadline)
                    std::this_thread::sleep_for(1ms);
                endedAfterAbandon = abandoned == 1;
                return 5;
            },
            [&] { ++abandoned; });
    });
    // The quit comes from a timer that fires in the handler's wait, once the job runs.
    QTimer quitter;
    quitter.setInterval(5);
    QObject::connect(&quitter, &QTimer::timeout, [&] {
        if (started) {
            quitter.stop();
            QCoreApplication::quit();
        }
    });
    quitter.start();
    app.exec();
    EXPECT_EQ(result, 5);
    EXPECT_EQ(abandoned.load(), 1);
    EXPECT_TRUE(endedAfterAbandon);
}
