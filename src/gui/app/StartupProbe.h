#pragma once

// For bench_startup: with QUORIX_STARTUP_PROBE set, the program prints when the window first paints and
// when start-up has finished (milliseconds since main() began, and peak memory), then exits.

#include <QElapsedTimer>

namespace quorix {

class frmMain;

class StartupProbe {
public:
    static bool requested();
    // Watches the window's first paint. The clock started at the top of main().
    static void watch(frmMain &window, const QElapsedTimer &sinceMain);
    static void loaded(const QElapsedTimer &sinceMain);
};

} // namespace quorix
