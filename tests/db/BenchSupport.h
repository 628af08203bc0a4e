#pragma once

// Shared by the db benchmarks: the scripted server as a process of its own (so that its work and memory
// are not the benchmark's), started with a rule file on 127.0.0.2.

#include "core/db/ConnectionString.h"

#include <QFile>
#include <QProcess>
#include <QString>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <vector>

namespace quorix::bench {

// The benchmarks' servers offer no encryption: reached as earlier versions reached every server.
inline ConnectionTarget clearTarget(const QString &sessionString) {
    ConnectionTarget t{sessionString, {}};
    t.options.encryption = Encryption::Optional;
    return t;
}

[[noreturn]] inline void fail(const QString &why) {
    std::fprintf(stderr, "%s\n", qPrintable(why));
    std::exit(1);
}

// Starts tds-scripted-server with the rules; the session connection string for it (login sa, pw).
inline QString startServerProcess(QProcess &server, const QString &rulesPath) {
    server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    server.start(QStringLiteral(TDS_SERVER_EXE),
                 {"--address", "127.0.0.2", "--port", "0", "--rules", rulesPath});
    while (!server.canReadLine())
        if (!server.waitForReadyRead(60000))
            fail(QStringLiteral("tds-scripted-server did not start"));
    const QByteArray said = server.readLine().trimmed();
    if (!said.startsWith("port "))
        fail("tds-scripted-server said: " + QString::fromUtf8(said));
    return sessionConnectionString(QStringLiteral("127.0.0.2,") + QString::fromLatin1(said.mid(5)), "pw");
}

// The process's resident memory now and at its peak since the last resetPeak(), in megabytes.
struct Resident {
    double now = 0;
    double peak = 0;
};
inline Resident resident() {
    QFile status(QStringLiteral("/proc/self/status"));
    Resident r;
    if (!status.open(QIODevice::ReadOnly))
        return r;
    for (const QByteArray &line : status.readAll().split('\n')) {
        const QList<QByteArray> words = line.simplified().split(' ');
        if (words.size() >= 2 && words[0] == "VmRSS:")
            r.now = words[1].toDouble() / 1024;
        else if (words.size() >= 2 && words[0] == "VmHWM:")
            r.peak = words[1].toDouble() / 1024;
    }
    return r;
}
// Starts a new peak (VmHWM) from the current resident size.
inline void resetPeak() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

inline double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n == 0 ? 0 : n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

} // namespace quorix::bench
