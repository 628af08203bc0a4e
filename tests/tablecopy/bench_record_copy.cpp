// Figures for the record copy; prints them, asserts nothing (not a ctest test).
// Copies the rows of a 10-column table (int, bigint, nvarchar, varchar, datetime2, decimal, bit, float,
// varbinary, nvarchar with NULLs; every third row NULL from the third column on) through CopyRecords on the
// real window (offscreen), on loopback and through the delay proxy at 0.5 ms each way (a round trip of
// 1 ms, as on a LAN), and prints for each: rows/s, the round trips per 1,000 rows (counted by the proxy)
// and the resident memory of the copy (after the first rows, at its end and at its peak). Beside them the
// bare loop the copy used to be (a prepared INSERT per row on the driver layer, no worker thread, no window)
// over a part of the rows, and the ratio of the copy to it. Targets: at most 20 round trips per 1,000 rows,
// at least 20,000 rows/s at 1 ms and 20 times the bare loop there, loopback no slower than the per-row copy
// (about 9,000 rows/s), memory flat under 100 MB.
// The scripted server runs as a process of its own (the source in a rule, the targets in its table model),
// so its work and its copy of the rows are not counted here. The benchmark's threads and the server share
// one processor unless --free is given, so that the figures do not depend on the machine's other load.
// Usage: bench_record_copy [rows] [--free] [--loopback-only]   (default 100000 rows)

#include "BenchSupport.h"
#include "DelayProxy.h"
#include "core/db/ConnectionString.h"
#include "core/db/ParamType.h"
#include "core/db/ServerSessions.h"
#include "core/db/odbc/OdbcConnection.h"
#include "core/db/odbc/OdbcStatement.h"
#include "gui/app/frmMain.h"
#include "gui/tablecopy/RecordCopy.h"
#include "gui/ui/Form.h"
#include "gui/ui/LogPanes.h"
#include "gui/ui/widgets/LogPane.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTimer>
#include <cstring>
#include <sched.h>
#include <unistd.h>

using namespace quorix;
using bench::fail;

namespace {

const char *const kColumns =
    "id:int big:bigint name:nvarchar(50) code:varchar(20) seen:datetime2(7) "
    "amount:decimal(18,4) flag:bit ratio:float blob:varbinary(max) note:nvarchar(100)";
const QStringList kTypes = {"int",           "bigint", "nvarchar(50)", "varchar(20)",    "datetime2(7)",
                            "decimal(18,4)", "bit",    "float",        "varbinary(max)", "nvarchar(100)"};

QByteArray row(int i) {
    const QByteArray n = QByteArray::number(i);
    QByteArray r = "  row " + n + '|' + QByteArray::number(qint64(i) * 1000003) + '|';
    if (i % 3 == 2)
        return r + "NULL|NULL|NULL|NULL|NULL|NULL|NULL|NULL\n";
    return r + "Patient " + n + " \xC3\xA9|code" + n + "|2024-01-31 13:45:00." +
           QByteArray::number(1000000 + i % 9000000) + "|" + QByteArray::number(i) + ".1234|" +
           QByteArray::number(i % 2) + '|' + QByteArray::number(i / 7.0, 'g', 17) + "|0x" +
           QByteArray::number(i, 16).rightJustified(8, '0').toUpper() + "|note " + n + '\n';
}

// The source as a rule; the copy's target and the bare loop's as tables of the server's model.
void writeRules(const QString &path, int rows) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        fail("cannot write " + path);
    file.write(QByteArray("login sa pw\nexact SELECT * FROM QRIX..Bench\n  columns ") + kColumns + '\n');
    QByteArray block;
    for (int i = 0; i < rows; ++i) {
        block += row(i);
        if (block.size() > (1 << 20)) {
            file.write(block);
            block.clear();
        }
    }
    file.write(block);
    for (const char *target : {"QRIX2..Bench", "QRIX2..Bare"})
        file.write(QByteArray("table ") + target + "\n  columns " + kColumns + '\n');
}

// The bare loop: a cursor on one connection, a prepared INSERT executed per row on another, up to rows rows.
double bareCopy(const QString &odbcString, int rows) {
    odbc::Connection reading, writing;
    reading.open(odbcString, 15);
    writing.open(odbcString, 15);
    std::vector<ParamType> types;
    for (const QString &t : kTypes)
        types.push_back(ParamType::parse(t));
    odbc::Statement insert(
        writing,
        QStringLiteral("INSERT INTO QRIX2..Bare (id, big, name, code, seen, amount, flag, ratio, "
                       "blob, note) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"),
        types, 3600);
    QElapsedTimer t;
    t.start();
    std::shared_ptr<odbc::Cursor> cursor =
        reading.openCursor(QStringLiteral("SELECT * FROM QRIX..Bench"), 3600);
    int done = 0;
    while (done < rows) {
        const std::vector<odbc::Row> block = cursor->fetch(512);
        for (const odbc::Row &r : block) {
            if (done == rows)
                break;
            insert.execute(r);
            ++done;
        }
        if (block.size() < 512)
            break;
    }
    const double seconds = t.nsecsElapsed() / 1e9;
    cursor->close();
    return done / seconds;
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

struct Copy {
    double rate = 0;       // rows/s
    double roundTrips = 0; // per 1,000 rows, as the proxy counted them
    double early = 0;      // resident MB once 1,000 rows are in
    double end = 0;        // resident MB at the end
    double peak = 0;       // VmHWM during the copy
    double cpu = 0;        // CPU seconds of this process during the copy
    double serverCpu = 0;  // and of the server's
    QString logged;
};

} // namespace

int main(int argc, char **argv) {
    int rows = 100000;
    bool free = false, loopbackOnly = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--free") == 0)
            free = true;
        else if (std::strcmp(argv[i], "--loopback-only") == 0)
            loopbackOnly = true;
        else
            rows = std::atoi(argv[i]);
    }
    if (!free) {
        // The first processor this process may use; threads and the server process started later inherit it.
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
    writeRules(rules, rows);
    QProcess server;
    const QString session = bench::startServerProcess(server, rules);
    const QString box = parseOleDbConnectionString(session).server; // "127.0.0.2,PORT"
    const auto serverPort = static_cast<std::uint16_t>(box.section(QLatin1Char(','), 1).toUInt());
    testing::DelayProxy lan("127.0.0.2", serverPort, std::chrono::microseconds(500));
    const QString lanBox = QStringLiteral("127.0.0.2,%1").arg(lan.port());

    frmMain window;
    Form &f = window.form();
    f.txtPW[0]->setText(QStringLiteral("pw"));
    // The scripted server here offers no encryption: it is reached as an old server is.
    f.cboEncryption[0]->setCurrentText(QStringLiteral("Optional"));
    RecordCopy copy(f, window.sessions(), window.log());
    const auto copyThrough = [&](const QString &through) {
        f.txtServer[0]->setText(through);
        window.sessions().cmdConnect_Click(0);
        window.sessions().OpenQuery(0, QStringLiteral("Use QRIX"), false);
        f.txtLog->clear();
        lan.resetExchanges();
        Copy c;
        // The memory once the first rows are in, when the blocks and the reader's buffers are in use (the
        // copy yields at its progress, when the timer may fire).
        QTimer sampler;
        sampler.setInterval(20);
        QObject::connect(&sampler, &QTimer::timeout, [&] {
            if (c.early == 0 && f.lblCnt->text().toInt() >= 1000)
                c.early = bench::resident().now;
        });
        f.lblCnt->setText(QStringLiteral("0"));
        sampler.start();
        bench::resetPeak();
        const double cpu = cpuSeconds(QCoreApplication::applicationPid());
        const double serverCpu = cpuSeconds(server.processId());
        QElapsedTimer t;
        t.start();
        copy.CopyRecords(QStringLiteral("QRIX..Bench"), QStringLiteral("QRIX2..Bench"));
        c.rate = rows / (t.nsecsElapsed() / 1e9);
        c.cpu = cpuSeconds(QCoreApplication::applicationPid()) - cpu;
        c.serverCpu = cpuSeconds(server.processId()) - serverCpu;
        sampler.stop();
        const bench::Resident r = bench::resident();
        c.end = r.now;
        c.peak = r.peak;
        c.roundTrips = 1000.0 * static_cast<double>(lan.exchanges()) / rows;
        QStringList lines = f.txtLog->toPlainText().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        std::reverse(lines.begin(), lines.end());
        c.logged = lines.join(QStringLiteral(", "));
        return c;
    };
    const QString odbcLoopback = toOdbcConnectionString(parseOleDbConnectionString(session),
                                                        chooseDriver(odbc::installedDrivers(), QString()));
    const QString odbcLan =
        toOdbcConnectionString(parseOleDbConnectionString(sessionConnectionString(lanBox, "pw")),
                               chooseDriver(odbc::installedDrivers(), QString()));

    std::printf("%d rows of 10 columns, %s\n", rows,
                free ? "threads where the scheduler puts them" : "on one processor");
    try {
        const Copy loopback = copyThrough(box);
        std::printf(
            "loopback: CopyRecords %.0f rows/s, CPU %.1f s here and %.1f s in the server (logged: %s)\n",
            loopback.rate, loopback.cpu, loopback.serverCpu, qPrintable(loopback.logged));
        std::printf(
            "  resident memory %.1f MB after 1,000 rows, %.1f MB at the end, peak (VmHWM) %.1f MB (target "
            "flat, < 100 MB)\n",
            loopback.early, loopback.end, loopback.peak);
        if (loopbackOnly) {
            server.terminate();
            server.waitForFinished(5000);
            return 0;
        }
        const int bareLoopbackRows = std::min(rows, 20000);
        const double bareLoopback = bareCopy(odbcLoopback, bareLoopbackRows);
        std::printf(
            "loopback: bare per-row loop %.0f rows/s over %d rows; CopyRecords / bare %.1f (the per-row "
            "copy measured about 9,000 rows/s)\n",
            bareLoopback, bareLoopbackRows, loopback.rate / bareLoopback);

        const Copy lanCopy = copyThrough(lanBox);
        std::printf(
            "1 ms round trip: CopyRecords %.0f rows/s (target >= 20000), %.1f round trips per 1,000 rows "
            "(target <= 20), CPU %.1f s here and %.1f s in the server (logged: %s)\n",
            lanCopy.rate, lanCopy.roundTrips, lanCopy.cpu, lanCopy.serverCpu, qPrintable(lanCopy.logged));
        std::printf("  resident memory %.1f MB after 1,000 rows, %.1f MB at the end, peak (VmHWM) %.1f MB\n",
                    lanCopy.early, lanCopy.end, lanCopy.peak);
        const int bareLanRows = std::min(rows, 2000);
        const double bareLan = bareCopy(odbcLan, bareLanRows);
        std::printf(
            "1 ms round trip: bare per-row loop %.0f rows/s over %d rows; CopyRecords / bare %.1f (target "
            ">= 20)\n",
            bareLan, bareLanRows, lanCopy.rate / bareLan);
    } catch (const DbError &e) {
        fail(e.description());
    }
    server.terminate();
    server.waitForFinished(5000);
    return 0;
}
