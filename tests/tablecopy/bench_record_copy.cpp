// Figures for the record copy; prints them, asserts nothing (not a ctest test).
// Copies the rows of a 10-column table (int, bigint, nvarchar, varchar, datetime2, decimal, bit, float,
// varbinary, nvarchar with NULLs; every third row NULL from the third column on) through CopyRecords on the
// real window (offscreen), then the same rows through a bare loop on the driver layer (one connection
// reading, one running a prepared INSERT per row, no worker thread, no window), and prints rows/s for both,
// their ratio (target >= 0.8) and the resident memory of the copy: after the first rows, at its end and at
// its peak (target: flat, under 100 MB). The scripted server runs as a process of its own, so its copy of
// the rows is not counted.
// As in the session benchmark, the benchmark's threads and the server share one processor unless --free is
// given: left to the scheduler, a wake-up of the connection's worker that has to reach another processor
// costs more than a whole insert here, and unpinned figures vary with the machine's load.
// Usage: bench_record_copy [rows] [--free]   (default 100000 rows)

#include "BenchSupport.h"
#include "app/frmMain.h"
#include "db/ConnectionString.h"
#include "db/LogPanes.h"
#include "db/ParamType.h"
#include "db/ServerConnection.h"
#include "db/ServerSessions.h"
#include "db/TableColumns.h"
#include "db/odbc/OdbcConnection.h"
#include "db/odbc/OdbcStatement.h"
#include "tablecopy/RecordCopy.h"
#include "ui/Form.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sched.h>
#include <string>

using namespace quorix;
using bench::fail;
using bench::median;

namespace {

const char *const kColumns =
    "id:int big:bigint name:nvarchar(50) code:varchar(20) seen:datetime2(7) "
    "amount:decimal(18,4) flag:bit ratio:float blob:varbinary(max) note:nvarchar(100)";
const QStringList kTypes = {"int",           "bigint", "nvarchar(50)", "varchar(20)",    "datetime2(7)",
                            "decimal(18,4)", "bit",    "float",        "varbinary(max)", "nvarchar(100)"};
const QString kInsert =
    QStringLiteral("INSERT INTO QRIX2..Bench (id, big, name, code, seen, amount, flag, ratio, "
                   "blob, note) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");

// The process's resident memory now and at its peak since the last resetPeak(), in megabytes.
struct Resident {
    double now = 0;
    double peak = 0;
};
Resident resident() {
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
void resetPeak() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

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
    file.write(QByteArray("exact SELECT TOP 0 * FROM QRIX2..Bench\n  columns ") + kColumns + '\n');
    file.write("exact " + tableColumnsCatalogQuery(QStringLiteral("QRIX2..Bench")).toUtf8() +
               "\n  columns name:nvarchar(128) is_identity:bit is_computed:bit is_rowversion:bit\n");
    for (const char *c : {"id", "big", "name", "code", "seen", "amount", "flag", "ratio", "blob", "note"})
        file.write(QByteArray("  row ") + c + "|0|0|0\n");
    file.write("pattern INSERT INTO QRIX2\\.\\.Bench .*\n  count 1\n");
}

// The bare loop: a cursor on one connection, a prepared INSERT executed per row on another.
double bareCopy(const QString &odbcString, int &rows) {
    odbc::Connection reading, writing;
    reading.open(odbcString, 15);
    writing.open(odbcString, 15);
    std::vector<ParamType> types;
    for (const QString &t : kTypes)
        types.push_back(ParamType::parse(t));
    odbc::Statement insert(writing, kInsert, types, 3600);
    QElapsedTimer t;
    t.start();
    std::shared_ptr<odbc::Cursor> cursor =
        reading.openCursor(QStringLiteral("SELECT * FROM QRIX..Bench"), 3600);
    rows = 0;
    for (;;) {
        const std::vector<odbc::Row> block = cursor->fetch(512);
        for (const odbc::Row &r : block) {
            insert.execute(r);
            ++rows;
        }
        if (block.size() < 512)
            break;
    }
    return t.nsecsElapsed() / 1e6;
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
    const QString box = parseOleDbConnectionString(session).server;

    // Three rounds, each a copy through CopyRecords and then the bare loop, so that neither side has the
    // warm caches of the other; rows/s are the medians, memory the highest of the copies.
    constexpr int kRounds = 3;
    const QString odbcString = toOdbcConnectionString(parseOleDbConnectionString(session),
                                                      chooseDriver(odbc::installedDrivers(), QString()));
    std::vector<double> copyRates, bareRates;
    double before = 0, after = 0, peak = 0;
    QString result;
    frmMain window;
    Form &f = window.form();
    f.txtServer[0]->setText(box);
    f.txtPW[0]->setText(QStringLiteral("pw"));
    window.sessions().OpenQuery(0, QStringLiteral("Use QRIX"), false);
    RecordCopy copy(f, window.sessions(), window.log());
    for (int round = 0; round < kRounds; ++round) {
        f.txtLog->clear();
        before = std::max(before, resident().now);
        resetPeak();
        QElapsedTimer t;
        t.start();
        copy.CopyRecords(QStringLiteral("QRIX..Bench"), QStringLiteral("QRIX2..Bench"));
        copyRates.push_back(rows / (t.nsecsElapsed() / 1e9));
        const Resident r = resident();
        after = std::max(after, r.now);
        peak = std::max(peak, r.peak);
        QStringList lines = f.txtLog->toPlainText().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        std::reverse(lines.begin(), lines.end());
        result = lines.join(QStringLiteral(", "));
        int bareRows = 0;
        try {
            const double ms = bareCopy(odbcString, bareRows);
            bareRates.push_back(bareRows / (ms / 1000));
        } catch (const DbError &e) {
            fail(e.description());
        }
        if (bareRows != rows)
            fail(QStringLiteral("the bare loop copied %1 rows").arg(bareRows));
    }
    server.terminate();
    server.waitForFinished(5000);

    const double copyRate = median(copyRates), bareRate = median(bareRates);
    std::printf("%d rows of 10 columns, %d rounds, %s\n", rows, kRounds,
                free ? "threads where the scheduler puts them" : "on one processor");
    std::printf("CopyRecords: median %.0f rows/s (the last round logged: %s)\n", copyRate,
                qPrintable(result));
    std::printf("bare prepared-INSERT loop: median %.0f rows/s\n", bareRate);
    std::printf("ratio CopyRecords / bare: %.2f (target >= 0.8)\n", copyRate / bareRate);
    std::printf("resident memory of the copies: %.1f MB before, %.1f MB after, peak (VmHWM) %.1f MB (target "
                "flat, < 100 MB)\n",
                before, after, peak);
    return 0;
}
