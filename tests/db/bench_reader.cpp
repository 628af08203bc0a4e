// Figures for the reader beside the session; prints them, asserts nothing (not a ctest test).
// Streams 1,000,000 rows (an int and a short nvarchar) through a ServerReader while the session runs an
// UPDATE on its own connection every 100,000 rows, and prints rows/s with the process's resident memory
// before, at its peak (VmHWM) and after. The scripted server runs as a process of its own, so its copy of
// the rows is not counted. Target: flat memory, under 60 MB at the peak.
// Usage: bench_reader [rows]

#include "BenchSupport.h"
#include "core/db/ServerConnection.h"
#include "core/db/ServerReader.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

using namespace quorix;
using quorix::bench::fail;
using quorix::bench::startServerProcess;

namespace {

// A line of /proc/self/status in megabytes ("VmRSS", "VmHWM").
double statusMb(const char *key) {
    std::ifstream in("/proc/self/status");
    std::string line;
    const std::string prefix = std::string(key) + ":";
    while (std::getline(in, line))
        if (line.rfind(prefix, 0) == 0)
            return std::stod(line.substr(prefix.size())) / 1024.0;
    return 0;
}

// The rule file: the big result and the session's statement.
void writeRules(const QString &path, int rows) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        fail("cannot write " + path);
    file.write("login sa pw\nexact SELECT id, name FROM big\n  columns id:int name:nvarchar(20)\n");
    QByteArray block;
    for (int i = 0; i < rows; ++i) {
        block += "  row " + QByteArray::number(i) + "|row " + QByteArray::number(i) + '\n';
        if (block.size() > (1 << 20)) {
            file.write(block);
            block.clear();
        }
    }
    file.write(block);
    file.write("pattern UPDATE tally SET n = \\d+\n  count 1\n");
}

} // namespace

int main(int argc, char **argv) {
    const int rows = argc > 1 ? std::atoi(argv[1]) : 1000000;
    const int every = 100000;
    QTemporaryDir dir;
    const QString rules = dir.filePath(QStringLiteral("rules.txt"));
    writeRules(rules, rows);
    QProcess server;
    const QString session = startServerProcess(server, rules);

    int n = 0, statements = 0;
    double before = 0, after = 0, ms = 0;
    try {
        ServerConnection conn;
        conn.open(bench::clearTarget(session));
        ServerReader reader(bench::clearTarget(session));
        reader.open(QStringLiteral("SELECT id, name FROM big"));
        before = statusMb("VmRSS");
        QElapsedTimer t;
        t.start();
        qint64 sum = 0;
        for (; !reader.eof(); reader.moveNext(), ++n) {
            sum += reader.value(0).toInt() + reader.value(1).toString().size();
            if (n % every == every - 1) {
                conn.execute(QStringLiteral("UPDATE tally SET n = %1").arg(n));
                ++statements;
            }
        }
        ms = t.nsecsElapsed() / 1e6;
        after = statusMb("VmRSS");
        if (sum <= 0)
            fail(QStringLiteral("no values read"));
    } catch (const DbError &e) {
        fail(e.description());
    }
    server.terminate();
    server.waitForFinished(5000);
    std::printf("reader: %d rows in %.0f ms, %.0f rows/s; the session ran %d statements meanwhile\n", n, ms,
                n / (ms / 1000), statements);
    std::printf("resident memory: %.1f MB after the first block, %.1f MB after the last row, peak (VmHWM) "
                "%.1f MB (target flat, < 60 MB)\n",
                before, after, statusMb("VmHWM"));
    return n == rows ? 0 : 1;
}
