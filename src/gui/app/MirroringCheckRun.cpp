#include "gui/app/MirroringCheckRun.h"

#include "core/db/ConnectionString.h"
#include "core/db/ServerConnection.h"
#include "core/db/secure/CertificateTrust.h"
#include "core/settings/SettingsStore.h"
#include "core/status/MirroringCheck.h"
#include "core/status/StatusReading.h"
#include "gui/app/Automation.h"
#include "gui/app/RememberedBoxes.h"

#include <QThread>
#include <algorithm>
#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <time.h>
#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace quorix {

namespace {

const char *const kServerVariables[2] = {"QUORIX_MAIN_SERVER", "QUORIX_MIRROR_SERVER"};
const char *const kPasswordVariables[2] = {"QUORIX_MAIN_PW", "QUORIX_MIRROR_PW"};
const char *const kLoginVariables[2] = {"QUORIX_MAIN_LOGIN", "QUORIX_MIRROR_LOGIN"};
const char *const kServerOptions[2] = {"--main-server", "--mirror-server"};

void print(const QString &text) {
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

QString fromEnvironmentOr(const char *variable, const QString &otherwise) {
    return qEnvironmentVariableIsSet(variable) ? qEnvironmentVariable(variable) : otherwise;
}

// What the two servers' readers have handed over so far, shared with their threads, which may outlive the
// check when a server never answers.
struct Progress {
    std::mutex mutex;
    std::condition_variable changed;
    std::array<std::optional<status::ServerReading>, 2> sofar; // the first reading, then the whole one
    std::array<bool, 2> finished{false, false};
};

// Reads one server on a thread of its own: each login and statement has the timeout, and the reading
// before the rate pause is handed over first, so that a deadline during the pause still leaves the states
// and queues.
std::thread readerThread(const std::shared_ptr<Progress> &progress, int slot, ConnectionTarget target,
                         int timeoutSeconds) {
    return std::thread([progress, slot, target = std::move(target), timeoutSeconds] {
        const auto i = static_cast<size_t>(slot);
        status::StatusReader reader([target](int) { return target; },
                                    [](int ms) { QThread::msleep(static_cast<unsigned long>(ms)); });
        reader.setTimeout(timeoutSeconds);
        const auto handOver = [&](const status::ServerReading &reading, bool last) {
            std::lock_guard lock(progress->mutex);
            progress->sofar[i] = reading;
            progress->finished[i] = last;
            progress->changed.notify_all();
        };
        const status::ServerReading whole =
            reader.read(slot, [&](const status::ServerReading &first) { handOver(first, false); });
        handOver(whole, true);
    });
}

// How long ago the process started, in milliseconds (0 where unknown): loading the program and its
// libraries counts against the check's deadline, which the monitor measures from the start it saw.
qint64 processAgeMs() {
#if defined(_WIN32)
    FILETIME created, exited, kernel, user, now;
    if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user))
        return 0;
    GetSystemTimeAsFileTime(&now);
    const auto ticks = [](const FILETIME &t) { // 100 ns
        return static_cast<qint64>((static_cast<quint64>(t.dwHighDateTime) << 32) | t.dwLowDateTime);
    };
    return std::max<qint64>(0, (ticks(now) - ticks(created)) / 10000);
#elif defined(__linux__)
    // The 22nd field of /proc/self/stat: the start, in clock ticks after boot; the command name (field
    // 2, in parentheses) may hold blanks, so the fields are counted after its closing parenthesis.
    std::ifstream stat("/proc/self/stat");
    const std::string line((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    const size_t close = line.rfind(')');
    timespec boot{};
    if (close == std::string::npos || clock_gettime(CLOCK_BOOTTIME, &boot) != 0)
        return 0;
    std::istringstream fields(line.substr(close + 2));
    std::string field;
    for (int n = 3; n < 22 && fields >> field; ++n) {
    }
    unsigned long long startTicks = 0;
    if (!(fields >> startTicks))
        return 0;
    const long hz = sysconf(_SC_CLK_TCK);
    const qint64 nowMs = static_cast<qint64>(boot.tv_sec) * 1000 + boot.tv_nsec / 1000000;
    return hz > 0 ? std::max<qint64>(0, nowMs - static_cast<qint64>(startTicks * 1000 /
                                                                    static_cast<unsigned long long>(hz)))
                  : 0;
#else
    return 0;
#endif
}

} // namespace

int runMirroringCheck(const AutomationPlan &plan) {
    std::array<QString, 2> server, password, login;
    std::array<ConnectionOptions, 2> options;
    for (int slot = 0; slot < 2; ++slot) {
        const auto i = static_cast<size_t>(slot);
        server[i] = plan.servers[i];
        if (server[i].isEmpty())
            server[i] = fromEnvironmentOr(kServerVariables[i], rememberedText(settings(), "txtServer", slot))
                            .trimmed();
        password[i] = plan.passwords[i].value_or(
            fromEnvironmentOr(kPasswordVariables[i], rememberedText(settings(), "txtPW", slot)));
        login[i] = !plan.logins[i].isEmpty()
                       ? plan.logins[i]
                       : fromEnvironmentOr(kLoginVariables[i], rememberedText(settings(), "txtLogin", slot))
                             .trimmed();
        options[i].encryption = encryptionNamed(rememberedText(settings(), "cboEncryption", slot))
                                    .value_or(Encryption::Mandatory);
        options[i].windowsAuthentication =
            rememberedText(settings(), "chkWindowsAuth", slot) == QLatin1String("1");
        options[i].authorityFile = qEnvironmentVariable("QUORIX_CA_FILE");
        if (server[i].isEmpty()) {
            print(
                QStringLiteral("MIRRORING UNKNOWN - no server for %1: give %2, set %3 or fill its server box "
                               "in the window (settings: %4)")
                    .arg(status::sideName(slot == 0), QLatin1String(kServerOptions[i]),
                         QLatin1String(kServerVariables[i]), settings().location()));
            return static_cast<int>(status::CheckStatus::Unknown);
        }
    }

    const CertificateTrust trust;
    QStringList trustProblems; // a --trust-certificate that could not be applied, shown with the result
    for (size_t i = 0; i < 2; ++i) {
        // A certificate given by its fingerprint is kept when the server presents exactly that one, and
        // only for a driver that can then hold to it.
        if (!plan.trustedFingerprints[i].isEmpty()) {
            const OdbcDriver driver = connectionDriver();
            const QString problem = canHoldToCertificate(driver, options[i].encryption)
                                        ? trustPresented(trust, server[i], plan.trustedFingerprints[i],
                                                         options[i].encryption == Encryption::Strict)
                                        : installCertificateAdvice(server[i], driver, options[i].encryption);
            if (!problem.isEmpty()) {
                // A '|' would start the performance data.
                trustProblems << QStringLiteral("--trust-certificate %1=%2 was not applied: %3")
                                     .arg(i)
                                     .arg(plan.trustedFingerprints[i], problem)
                                     .replace(QLatin1Char('|'), QChar(0x00A6));
                const QByteArray bytes = trustProblems.last().toUtf8();
                std::fprintf(stderr, "%s\n", bytes.constData());
            }
        }
        options[i].trustedCertificate = trust.trustedFile(server[i]);
    }
    // Both servers side by side, and the check ends at the deadline whatever a server does: a monitor
    // (NRPE: 10 s) would otherwise give up on the check first and report its own timeout instead.
    const int timeout = plan.timeoutSeconds;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeout) -
                          std::chrono::milliseconds(processAgeMs());
    auto progress = std::make_shared<Progress>();
    std::array<std::thread, 2> threads;
    for (int slot = 0; slot < 2; ++slot)
        threads[static_cast<size_t>(slot)] =
            readerThread(progress, slot,
                         ConnectionTarget{sessionConnectionString(server[static_cast<size_t>(slot)],
                                                                  login[static_cast<size_t>(slot)],
                                                                  password[static_cast<size_t>(slot)]),
                                          options[static_cast<size_t>(slot)]},
                         timeout);
    status::Reading reading;
    bool allFinished = false;
    {
        std::unique_lock lock(progress->mutex);
        allFinished = progress->changed.wait_until(
            lock, deadline, [&] { return progress->finished[0] && progress->finished[1]; });
        for (size_t i = 0; i < 2; ++i) {
            if (progress->sofar[i])
                reading[i] = *progress->sofar[i];
            const bool noAnswer = !progress->sofar[i] || reading[i].timedOut;
            if (noAnswer && !reading[i].countersRead) {
                reading[i].failure = QStringLiteral("%1 timed out after %2 s").arg(server[i]).arg(timeout);
                reading[i].timedOut = true;
            }
        }
    }
    status::CheckResult result =
        status::checkMirroring(reading, status::statusRowsOf(reading, server), plan.thresholds);
    result.details = trustProblems + result.details;
    print(result.text());
    if (!allFinished) {
        // A reader still waits on a server that does not answer: no driver call can be interrupted, so
        // the process ends without waiting for it (the output is out and flushed).
        std::fflush(nullptr);
        std::_Exit(result.exitCode());
    }
    for (std::thread &t : threads)
        t.join();
    return result.exitCode();
}

} // namespace quorix
