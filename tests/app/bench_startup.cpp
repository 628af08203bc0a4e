// bench_startup: time from process start to the first painted window, with no servers configured, and the
// peak memory by then. Spawns the real program (QUORIX_STARTUP_PROBE makes it report and exit) five times
// on an empty settings folder. Targets: < 500 ms, < 80 MB.
//
// Usage: bench_startup [runs]   (QT_QPA_PLATFORM=offscreen unless set; run under xvfb-run for a real X
// server)

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <vector>

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 5;
    std::vector<qint64> paint, loaded;
    std::vector<double> peakMb;
    for (int i = 0; i < runs; ++i) {
        QTemporaryDir home;
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CONFIG_HOME", home.path());
        env.insert("QUORIX_STARTUP_PROBE", "1");
        if (!env.contains("QT_QPA_PLATFORM"))
            env.insert("QT_QPA_PLATFORM", "offscreen");
        p.setProcessEnvironment(env);
        QElapsedTimer clock;
        clock.start();
        p.start(QUORIX_EXE, {});
        qint64 painted = -1;
        QByteArray out;
        while (p.state() != QProcess::NotRunning || p.bytesAvailable()) {
            p.waitForReadyRead(100);
            out += p.readAllStandardOutput();
            if (painted < 0 && out.contains("first-paint"))
                painted = clock.elapsed();
            if (p.state() == QProcess::NotRunning && !p.bytesAvailable())
                break;
        }
        p.waitForFinished(30000);
        const qint64 done = clock.elapsed();
        const QRegularExpressionMatch kb =
            QRegularExpression("loaded \\d+ ms, peak memory (\\d+) kB").match(out);
        if (painted < 0 || !kb.hasMatch()) {
            std::fprintf(stderr, "run %d: no report from the program:\n%s\n%s\n", i, out.constData(),
                         p.readAllStandardError().constData());
            return 1;
        }
        paint.push_back(painted);
        loaded.push_back(done);
        peakMb.push_back(kb.captured(1).toDouble() / 1024.0);
        std::printf("run %d: first paint %lld ms, start-up done %lld ms (process exit), peak %.1f MB\n",
                    i + 1, static_cast<long long>(painted), static_cast<long long>(done), peakMb.back());
    }
    std::sort(paint.begin(), paint.end());
    std::sort(loaded.begin(), loaded.end());
    const double peak = *std::max_element(peakMb.begin(), peakMb.end());
    std::printf("first paint: median %lld ms, best %lld ms (target < 500 ms)\n",
                static_cast<long long>(paint[paint.size() / 2]), static_cast<long long>(paint.front()));
    std::printf("peak memory (VmHWM): %.1f MB (target < 80 MB)\n", peak);
    return 0;
}
