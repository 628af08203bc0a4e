// Share work off the window's thread: long-lived workers, errors carried back, and a copy that Cancel stops.

#include "gui/ui/RunAside.h"

#include <QCoreApplication>
#include <QTimer>
#include <atomic>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <stdexcept>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace quorix;

TEST(RunAside, WorkRunsOnLongLivedWorkersAndItsErrorsComeBack) {
    const auto threadOf = [](void (*run)(const std::function<void()> &)) {
        std::thread::id id;
        run([&] { id = std::this_thread::get_id(); });
        return id;
    };
    const std::thread::id first = threadOf(runAside);
    EXPECT_NE(first, std::this_thread::get_id());
    EXPECT_EQ(threadOf(runAside), first) << "a new thread for every call";
    const std::thread::id lists = threadOf(readAside);
    EXPECT_EQ(threadOf(readAside), lists);
    EXPECT_NE(lists, first) << "a folder read would wait behind a copy";

    EXPECT_THROW(runAside([] { throw std::runtime_error("share gone"); }), std::runtime_error);
}

TEST(RunAside, CancelStopsACopyUnderWayAndLeavesNoFile) {
    const fs::path dir = fs::temp_directory_path() / ("quorix-aside-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    const std::string source = (dir / "Billing.BAK").string();
    const std::string target = (dir / "copy" / "Billing.BAK").string();
    fs::create_directories(dir / "copy");
    ASSERT_EQ(::mkfifo(source.c_str(), 0600), 0);

    // The source is a pipe, so the copy is surely still running when Cancel is pressed.
    std::atomic<bool> started{false}, cancelled{false};
    std::thread writer([&] {
        std::ofstream pipe(source, std::ios::binary);
        pipe << std::string(64 * 1024, 'a') << std::flush;
        started = true;
        while (!cancelled)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        pipe << std::string(64 * 1024, 'b');
    });
    QTimer cancel;
    QObject::connect(&cancel, &QTimer::timeout, [&] {
        if (started && !cancelled) {
            cancelAside();
            cancelled = true;
        }
    });
    cancel.start(5);
    const Outcome result = copyAside(source, target);
    writer.join();

    EXPECT_FALSE(result.ok());
    EXPECT_EQ(result.error(), "Cannot write " + target + ": the copy was cancelled");
    EXPECT_TRUE(fs::is_empty(dir / "copy")) << "a cancelled copy left a file";

    // The next copy is not affected by the earlier cancel.
    fs::remove(source);
    std::ofstream(source) << "whole";
    EXPECT_TRUE(copyAside(source, target).ok());
    fs::remove_all(dir);
}

int main(int argc, char **argv) {
    // The cancelled copy closes its end of the pipe while the writer may still be writing to it.
    std::signal(SIGPIPE, SIG_IGN);
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
