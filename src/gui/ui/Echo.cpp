#include "gui/ui/Echo.h"

#include <atomic>
#include <cstdio>

namespace quorix {

namespace {
std::atomic<bool> g_enabled{false};
std::atomic<bool> g_logToStderr{false};

void put(std::FILE *to, const QString &line) {
    const QByteArray bytes = line.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), to);
    std::fputc('\n', to);
    std::fflush(to);
}
} // namespace

void Echo::setEnabled(bool on) {
    g_enabled = on;
}
bool Echo::enabled() {
    return g_enabled;
}
void Echo::setLogToStderr(bool on) {
    g_logToStderr = on;
}

std::FILE *Echo::logStream() {
    return g_logToStderr ? stderr : stdout;
}

void Echo::log(const QString &line) {
    if (g_enabled)
        put(logStream(), line);
}

void Echo::err(const QString &line) {
    if (g_enabled)
        put(stderr, line);
}

} // namespace quorix
