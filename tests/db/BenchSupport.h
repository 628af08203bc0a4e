#pragma once

// Shared by the db benchmarks: the scripted server as a process of its own (so that its work and memory
// are not the benchmark's), started with a rule file on 127.0.0.2.

#include "db/ConnectionString.h"

#include <QProcess>
#include <QString>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace quorix::bench {

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

inline double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n == 0 ? 0 : n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

} // namespace quorix::bench
