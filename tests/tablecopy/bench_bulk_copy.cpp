// Figures for the ways of loading a table into the second database; prints them, asserts nothing (not a
// ctest test). The same table of ten columns (int identity, bigint, nvarchar with non-ASCII text, varchar,
// decimal, datetime2, date, bit, float, varbinary; every third row NULL from the third column on) goes
// into QRIX2..Bench on the scripted server, each way at loopback and through the delay proxy at a round
// trip of 1 ms and 5 ms:
//   freebcp  FreeTDS's bulk-copy client loading the rows from a character file it is given (the load alone)
//   blocks   Copy table by record on the real window (offscreen), through blocks of rows per INSERT
//   bulk     Copy table by record through the driver's bulk-copy functions
// One line per way and delay, "<way> <delay>: N rows/s", then the CPU each row cost the client process
// and the server process, the rows that arrived, and the ratio of the rate to freebcp's at that delay.
// The scripted server runs as a process of its own (source and target in its table model), so its work
// is its own. The benchmark's threads, freebcp and the server share one processor unless --free is given.
// Usage: bench_bulk_copy [rows] [--free]   (default 100000 rows)

#include "BenchSupport.h"
#include "DelayProxy.h"
#include "core/db/Recordset.h"
#include "core/db/ServerSessions.h"
#include "core/tablecopy/TableCopySql.h"
#include "gui/app/frmMain.h"
#include "gui/tablecopy/RecordCopy.h"
#include "gui/ui/Form.h"
#include "gui/ui/LogPanes.h"
#include "gui/ui/widgets/LogPane.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QLocale>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <sched.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

using namespace quorix;
using bench::fail;

namespace {

const char *const kColumns = "id:int big:bigint name:nvarchar(50) code:varchar(20) amount:decimal(18,4) "
                             "seen:datetime2(7) day:date flag:bit ratio:float blob:varbinary(16)";

// Row i's values as text, NULL as nullopt.
std::vector<std::optional<QByteArray>> values(int i) {
    const QByteArray n = QByteArray::number(i);
    std::vector<std::optional<QByteArray>> v{QByteArray::number(i + 1),
                                             QByteArray::number(qint64(i) * 1000003)};
    if (i % 3 == 2) {
        v.resize(10);
        return v;
    }
    v.push_back("Patient " + n + " \xC3\xA9\xC3\xB1\xE2\x98\x83");
    v.push_back("code" + n);
    v.push_back(QByteArray::number(i) + "." + QByteArray::number(1000 + i % 9000));
    v.push_back("2024-01-31 13:45:00." + QByteArray::number(1000000 + i % 9000000));
    v.push_back("20" + QByteArray::number(10 + i % 20) + "-0" + QByteArray::number(1 + i % 9) + "-1" +
                QByteArray::number(i % 10));
    v.push_back(QByteArray::number(i % 2));
    v.push_back(QByteArray::number(i / 7.0, 'g', 17));
    v.push_back(QByteArray::number(i, 16).rightJustified(8, '0').toUpper());
    return v;
}

// The source and the target in the server's table model.
void writeRules(const QString &path, int rows) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        fail("cannot write " + path);
    file.write(QByteArray("login sa pw\ntable QRIX..Bench\n  columns ") + kColumns + "\n  identity id\n");
    QByteArray block;
    for (int i = 0; i < rows; ++i) {
        QByteArrayList cells;
        const auto v = values(i);
        for (size_t k = 0; k < v.size(); ++k)
            cells << (!v[k] ? QByteArray("NULL") : k == 9 ? "0x" + *v[k] : *v[k]);
        block += "  row " + cells.join('|') + '\n';
        if (block.size() > (1 << 20)) {
            file.write(block);
            block.clear();
        }
    }
    file.write(block);
    file.write(QByteArray("table QRIX2..Bench\n  columns ") + kColumns + "\n  identity id\n");
}

// The same rows as freebcp's character format: a tab between fields, a line per row, NULL as nothing.
void writeBcpFile(const QString &path, int rows) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        fail("cannot write " + path);
    QByteArray block;
    for (int i = 0; i < rows; ++i) {
        QByteArrayList cells;
        for (const auto &v : values(i))
            cells << v.value_or(QByteArray());
        block += cells.join('\t') + '\n';
        if (block.size() > (1 << 20)) {
            file.write(block);
            block.clear();
        }
    }
    file.write(block);
}

// The CPU seconds a process has used so far (user and system).
double cpuSeconds(qint64 pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray text = stat.readAll();
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    return fields.size() > 12 ? (fields[11].toDouble() + fields[12].toDouble()) / sysconf(_SC_CLK_TCK) : 0;
}

double seconds(const timeval &t) {
    return t.tv_sec + t.tv_usec / 1e6;
}

struct Figures {
    double rate = 0;      // rows/s
    double clientCpu = 0; // CPU seconds of the loading process
    double serverCpu = 0; // and of the server's
    qint64 arrived = 0;   // rows in the target afterwards
    QString note;         // what went wrong, if anything
};

// freebcp in, as its own process; its CPU from the kernel's account of it.
Figures freebcpIn(const QString &conf, const QString &data, qint64 serverPid, int rows) {
    const QByteArray confEnv = "FREETDSCONF=" + conf.toUtf8();
    const QByteArray file = data.toUtf8();
    std::vector<char *> env;
    for (char **e = environ; *e; ++e)
        if (std::strncmp(*e, "FREETDSCONF=", 12) != 0)
            env.push_back(*e);
    env.push_back(const_cast<char *>(confEnv.constData()));
    env.push_back(nullptr);
    const char *argv[] = {"freebcp", "QRIX2.dbo.Bench",
                          "in",      file.constData(),
                          "-S",      "bench",
                          "-U",      "sa",
                          "-P",      "pw",
                          "-c",      "-E",
                          nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    Figures f;
    const double serverCpu = cpuSeconds(serverPid);
    QElapsedTimer t;
    t.start();
    pid_t pid = 0;
    if (posix_spawnp(&pid, "freebcp", &actions, nullptr, const_cast<char **>(argv), env.data()) != 0)
        fail(QStringLiteral("cannot start freebcp"));
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    f.rate = rows / (t.nsecsElapsed() / 1e9);
    f.clientCpu = seconds(usage.ru_utime) + seconds(usage.ru_stime);
    f.serverCpu = cpuSeconds(serverPid) - serverCpu;
    posix_spawn_file_actions_destroy(&actions);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        f.note = QStringLiteral("freebcp failed");
    return f;
}

QString grouped(double v) {
    QLocale english(QLocale::English);
    return english.toString(qRound64(v));
}

} // namespace

int main(int argc, char **argv) {
    int rows = 100000;
    bool free = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--free") == 0)
            free = true;
        else
            rows = std::atoi(argv[i]);
    }
    if (!free) {
        // The first processor this process may use; threads and the processes started later inherit it.
        cpu_set_t set;
        CPU_ZERO(&set);
        sched_getaffinity(0, sizeof set, &set);
        int first = 0;
        while (first < CPU_SETSIZE - 1 && !CPU_ISSET(first, &set))
            ++first;
        CPU_ZERO(&set);
        CPU_SET(first, &set);
        sched_setaffinity(0, sizeof set, &set);
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir dir;
    qputenv("XDG_CONFIG_HOME", dir.filePath(QStringLiteral("config")).toUtf8());
    QApplication app(argc, argv);

    const QString rules = dir.filePath(QStringLiteral("rules.txt"));
    const QString data = dir.filePath(QStringLiteral("rows.txt"));
    writeRules(rules, rows);
    writeBcpFile(data, rows);
    QProcess server;
    const QString session = bench::startServerProcess(server, rules);
    const QString box = parseOleDbConnectionString(session).server; // "127.0.0.2,PORT"
    const auto serverPort = static_cast<std::uint16_t>(box.section(QLatin1Char(','), 1).toUInt());

    frmMain window;
    Form &f = window.form();
    f.txtPW[0]->setText(QStringLiteral("pw"));
    // The scripted server offers no encryption: reached as an old server is, by the DBA's choice.
    f.cboEncryption[0]->setCurrentText(QStringLiteral("Optional"));
    RecordCopy copy(f, window.sessions(), window.log());
    const TableRef bench{QStringLiteral("QRIX"), QString(), QStringLiteral("Bench")};

    const auto connectTo = [&](const QString &through) {
        f.txtServer[0]->setText(through);
        window.sessions().cmdConnect_Click(0);
        window.sessions().OpenQuery(0, QStringLiteral("Use QRIX"), false);
    };
    const auto arrived = [&] {
        Recordset r = window.sessions().connection(0).openRecordset(
            QStringLiteral("SELECT COUNT_BIG(*) FROM QRIX2..Bench"));
        return r.eof() ? qint64(-1) : r.value(0).toLongLong();
    };
    const auto ourCopy = [&](const QString &through, bool bulk) {
        connectTo(through);
        copy.setBulkCopy(bulk);
        f.txtLog->clear();
        Figures c;
        const double cpu = cpuSeconds(QCoreApplication::applicationPid());
        const double serverCpu = cpuSeconds(server.processId());
        QElapsedTimer t;
        t.start();
        copy.CopyTableByRecord(bench);
        c.rate = rows / (t.nsecsElapsed() / 1e9);
        c.clientCpu = cpuSeconds(QCoreApplication::applicationPid()) - cpu;
        c.serverCpu = cpuSeconds(server.processId()) - serverCpu;
        c.arrived = arrived();
        QStringList lines = f.txtLog->toPlainText().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        if (!lines.contains(QStringLiteral("errors 0")))
            c.note = QStringLiteral("logged: ") + lines.join(QStringLiteral(", "));
        return c;
    };
    const auto bcpLoad = [&](const QString &through) {
        connectTo(through);
        window.sessions().OpenQuery(0, truncateSecond(bench), false);
        const QString conf = dir.filePath(QStringLiteral("freetds.conf"));
        QFile out(conf);
        if (!out.open(QIODevice::WriteOnly))
            fail("cannot write " + conf);
        out.write("[bench]\n\thost = 127.0.0.2\n\tport = " + through.section(QLatin1Char(','), 1).toUtf8() +
                  "\n\ttds version = 7.4\n\tclient charset = UTF-8\n");
        out.close();
        Figures c = freebcpIn(conf, data, server.processId(), rows);
        c.arrived = arrived();
        return c;
    };

    std::printf("%d rows of 10 columns into QRIX2..Bench, %s\n", rows,
                free ? "threads where the scheduler puts them" : "on one processor");
    const std::vector<std::pair<const char *, int>> delays = {{"loopback", 0}, {"1 ms", 500}, {"5 ms", 2500}};
    try {
        for (const auto &[delay, oneWay] : delays) {
            std::unique_ptr<testing::DelayProxy> lan;
            QString through = box;
            if (oneWay > 0) {
                lan = std::make_unique<testing::DelayProxy>("127.0.0.2", serverPort,
                                                            std::chrono::microseconds(oneWay));
                through = QStringLiteral("127.0.0.2,%1").arg(lan->port());
            }
            std::map<QString, Figures> ways;
            ways[QStringLiteral("freebcp")] = bcpLoad(through);
            ways[QStringLiteral("blocks")] = ourCopy(through, false);
            ways[QStringLiteral("bulk")] = ourCopy(through, true);
            for (const QString way :
                 {QStringLiteral("freebcp"), QStringLiteral("blocks"), QStringLiteral("bulk")}) {
                const Figures &w = ways[way];
                std::printf("%s %s: %s rows/s, client CPU %.1f us/row, server CPU %.1f us/row, %lld rows "
                            "arrived, %.2fx freebcp%s%s\n",
                            qPrintable(way), delay, qPrintable(grouped(w.rate)), 1e6 * w.clientCpu / rows,
                            1e6 * w.serverCpu / rows, static_cast<long long>(w.arrived),
                            w.rate / ways[QStringLiteral("freebcp")].rate, w.note.isEmpty() ? "" : "; ",
                            qPrintable(w.note));
                std::fflush(stdout);
            }
        }
    } catch (const DbError &e) {
        fail(e.description());
    }
    server.terminate();
    server.waitForFinished(5000);
    return 0;
}
