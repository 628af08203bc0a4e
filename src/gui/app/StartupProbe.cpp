#include "gui/app/StartupProbe.h"

#include "gui/app/frmMain.h"

#include <QEvent>
#include <QFile>
#include <QObject>
#include <cstdio>
#ifdef _WIN32
#include <windows.h>
// After windows.h, which it needs.
#include <psapi.h>
#endif

namespace quorix {

namespace {

QString peakMemory() {
#ifdef _WIN32
    PROCESS_MEMORY_COUNTERS counters{};
    if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters))
        return QStringLiteral("unknown");
    return QStringLiteral("%1 kB").arg(counters.PeakWorkingSetSize / 1024);
#else
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return QStringLiteral("unknown");
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return QString::fromLatin1(line.mid(6).trimmed());
    return QStringLiteral("unknown");
#endif
}

void report(const char *what, qint64 ms) {
    std::printf("%s %lld ms, peak memory %s\n", what, static_cast<long long>(ms), qPrintable(peakMemory()));
    std::fflush(stdout);
}

class FirstPaint : public QObject {
public:
    FirstPaint(QObject *parent, const QElapsedTimer &clock) : QObject(parent), m_clock(clock) {}

protected:
    bool eventFilter(QObject *watched, QEvent *event) override {
        if (event->type() == QEvent::Paint) {
            report("first-paint", m_clock.elapsed());
            watched->removeEventFilter(this);
            deleteLater();
        }
        return false;
    }

private:
    const QElapsedTimer &m_clock;
};

} // namespace

bool StartupProbe::requested() {
    return qEnvironmentVariableIsSet("QUORIX_STARTUP_PROBE");
}

void StartupProbe::watch(frmMain &window, const QElapsedTimer &sinceMain) {
    window.installEventFilter(new FirstPaint(&window, sinceMain));
}

void StartupProbe::loaded(const QElapsedTimer &sinceMain) {
    report("loaded", sinceMain.elapsed());
}

} // namespace quorix
