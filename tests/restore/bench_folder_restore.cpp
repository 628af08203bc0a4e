// bench_folder_restore: "Restore ALL to Main" over a folder of backup files on Main's share (real Samba,
// \\127.0.0.2\backup), against a scripted Main on 127.0.0.2:1433, on the real window offscreen; then
// " Restore ALL to Main" over the same files as the restore folder. Prints for each run the total time, the
// time per file spent in the tool beyond the server's answers (target < 5 ms), and the window's longest
// stall meanwhile (target < 100 ms).
//
// The server's answers are timed where it computes them; the tool's time is the rest: the driver and the
// loopback round trips, the log lines, the file-list reading, Main's database list reloaded after each file
// of the first run (it lists every database restored so far, as the server would), and the status bar.
//
// Usage: bench_folder_restore [files]   (default 2000). Needs root, like the Samba fixture, and the port
// 1433 of 127.0.0.2: run it under the tests' lock (flock /tmp/quorix-ctest.lock).

#include "DatabaseList.h"
#include "Port1433.h"
#include "SambaFixture.h"
#include "WindowFixture.h"
#include "gui/ui/widgets/FileList.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <map>
#include <mutex>

using namespace quorix;
using namespace quorix::testing;
using Clock = std::chrono::steady_clock;

namespace {

std::atomic<long long> g_serverNs{0};

// Times a rule's answer as the server's share of the run.
template <typename F> tds::ReplyFunction timed(F f) {
    return [f](const std::string &text, const tds::ConnectionState &state) -> std::optional<tds::Reply> {
        const auto start = Clock::now();
        std::optional<tds::Reply> reply = f(text, state);
        g_serverNs += std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - start).count();
        return reply;
    };
}

// Arrival of each statement at the server, by kind: 'F' file list, 'R' restore, 'L' database list.
std::mutex g_arrivalsMutex;
std::vector<std::pair<char, Clock::time_point>> g_arrivals;

void recordArrival(const tds::Event &event) {
    if (event.kind != tds::Event::Kind::Batch)
        return;
    const char kind = event.text.starts_with(" RESTORE FILELISTONLY") ? 'F'
                      : event.text.starts_with("RESTORE")             ? 'R'
                                                                      : 'L';
    std::lock_guard lock(g_arrivalsMutex);
    g_arrivals.emplace_back(kind, Clock::now());
}

struct Figures {
    double totalMs = 0, serverMs = 0, longestStallMs = 0;
    std::size_t batches = 0;
    std::map<std::string, std::pair<double, int>> steps; // "F->R": summed ms and count
};

// Presses the button and watches the window's thread with a 5 ms timer meanwhile.
Figures run(WindowFixture &w, tds::ScriptedServer &server, const QString &button) {
    server.clearRecord();
    w.form().txtLog->clear();
    g_serverNs = 0;
    {
        std::lock_guard lock(g_arrivalsMutex);
        g_arrivals.clear();
    }
    QElapsedTimer sinceTick;
    qint64 longest = 0;
    QTimer watch;
    watch.setInterval(5);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        longest = std::max(longest, sinceTick.nsecsElapsed());
        sinceTick.restart();
    });
    watch.start();
    sinceTick.start();
    QElapsedTimer total;
    total.start();
    w.find<QPushButton>(button)->click();
    Figures f;
    f.totalMs = static_cast<double>(total.nsecsElapsed()) / 1e6;
    watch.stop();
    longest = std::max(longest, sinceTick.nsecsElapsed());
    f.serverMs = static_cast<double>(g_serverNs.load()) / 1e6;
    f.longestStallMs = static_cast<double>(longest) / 1e6;
    f.batches = server.batches().size();
    std::lock_guard lock(g_arrivalsMutex);
    for (std::size_t i = 1; i < g_arrivals.size(); ++i) {
        auto &[ms, n] = f.steps[std::string{g_arrivals[i - 1].first, '-', '>', g_arrivals[i].first}];
        ms += std::chrono::duration<double, std::milli>(g_arrivals[i].second - g_arrivals[i - 1].second)
                  .count();
        ++n;
    }
    return f;
}

void print(const char *what, const Figures &f, int files) {
    const double toolPerFile = (f.totalMs - f.serverMs) / files;
    std::printf("%s: %d files, %zu statements, total %.0f ms (%.2f ms per file), server's answers %.0f ms\n",
                what, files, f.batches, f.totalMs, f.totalMs / files, f.serverMs);
    std::printf("  in the tool beyond the server's answers: %.2f ms per file (target < 5 ms)\n", toolPerFile);
    std::printf("  window's longest stall: %.1f ms (target < 100 ms)\n", f.longestStallMs);
    std::printf("  from one statement's arrival at the server to the next's, on average:");
    for (const auto &[step, sum] : f.steps)
        std::printf(" %s %.2f ms", step.c_str(), sum.first / sum.second);
    std::printf("\n    (F file list, R restore, L Main's database list)\n");
}

} // namespace

int main(int argc, char **argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int files = argc > 1 ? std::max(1, std::atoi(argv[1])) : 2000;

    testsupport::SambaFixture samba;
    std::string error;
    if (!samba.start(error)) {
        std::fprintf(stderr, "Samba fixture: %s\n", error.c_str());
        return 1;
    }
    samba.clearShares();
    const char *kinds[] = {"Billing", "Radiology", "Patient"};
    for (int i = 0; i < files; ++i) {
        char name[64];
        std::snprintf(name, sizeof name, "%s_%04d.bak", kinds[i % 3], i);
        std::ofstream(samba.share(0).folder / name) << "backup";
        std::ofstream(samba.share(0).folder / "MIR" / name) << "backup";
    }
    samba.adoptFiles();

    std::mutex mutex;
    std::vector<std::string> restored;
    tds::ScriptedServer main;
    main.setLogin("sa", "pwMain");
    main.addRule(tds::Rule::callback(timed([&](const std::string &, const tds::ConnectionState &) {
                                         std::lock_guard lock(mutex);
                                         return std::optional<tds::Reply>(databaseRows(restored));
                                     }),
                                     "SELECT name FROM sys\\.databases .*"));
    main.addRule(tds::Rule::callback(timed([](const std::string &text, const tds::ConnectionState &) {
                                         const auto end = text.rfind(".bak'");
                                         const auto start = text.rfind('\\', end) + 1;
                                         const std::string db = text.substr(start, end - start);
                                         tds::ResultSet set{
                                             {tds::makeColumn("LogicalName", "nvarchar(128)"),
                                              tds::makeColumn("PhysicalName", "nvarchar(260)")},
                                             {{db, "E:\\Data\\" + db + ".mdf"},
                                              {db + "_log", "E:\\Log\\" + db + "_log.ldf"}}};
                                         return std::optional<tds::Reply>(tds::Reply::rows(set));
                                     }),
                                     " RESTORE FILELISTONLY .*"));
    main.addRule(tds::Rule::callback(timed([&](const std::string &text, const tds::ConnectionState &) {
                                         std::lock_guard lock(mutex);
                                         restored.push_back(text.substr(18, text.find(" FROM DISK") - 18));
                                         return std::optional<tds::Reply>(tds::Reply::done());
                                     }),
                                     "RESTORE DATABASE .*"));
    main.setEventListener(recordArrival);
    startOn1433(main, "127.0.0.2");

    WindowFixture w;
    w.preset("MIR", "txtServer0", "127.0.0.2");
    w.preset("MIR", "cboEncryption0", "Optional"); // the scripted server here offers no encryption
    w.preset("MIR", "DB0", "pwMain");
    w.preset("MAIN", "txtServerUser0", QString::fromStdString(samba.share(0).user));
    w.preset("MAIN", "txtServerPW0", QString::fromStdString(samba.share(0).password));
    QElapsedTimer listing;
    listing.start();
    w.start();
    std::printf("start-up with File1 listing %d files of the share: %lld ms\n", w.form().File1->listCount(),
                static_cast<long long>(listing.elapsed()));
    if (w.form().File1->listCount() != files) {
        std::fprintf(stderr, "File1 lists %d files, not %d\n", w.form().File1->listCount(), files);
        return 1;
    }

    print("Restore ALL to Main (Main's share, list reloaded after each)", run(w, main, "cmdRestoreMain"),
          files);
    w.form().txtRestoreDir->setText("\\\\127.0.0.2\\backup\\MIR\\");
    w.window().readRestoreDirNow();
    print(" Restore ALL to Main (restore folder on the share)", run(w, main, "cmdRestoretoMain"), files);
    return 0;
}
