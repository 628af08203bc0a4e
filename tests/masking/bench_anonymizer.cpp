// bench_anonymizer: "Anonymize Right DB ->" over one table of 100,000 records with three name columns and a
// primary key on a scripted Mirror (the table in the server's table model, the server a process of its own),
// on the real window offscreen, on loopback and through the delay proxy at 0.5 ms each way (a round trip of
// 1 ms, as on a LAN). Prints for each: records/s, the round trips per 1,000 records (counted by the proxy),
// the CPU of this process and of the server, and the resident memory once 1,000 records are done, at the
// end and at its peak. Targets: at most 20 round trips per 1,000 records, at least 10,000 records/s at 1 ms,
// memory flat under 100 MB.
//
// Usage: bench_anonymizer [records] [--loopback-only]   (default 100000). Binds 127.0.0.2 on free ports.

#include "BenchSupport.h"
#include "DelayProxy.h"
#include "core/db/ServerSessions.h"
#include "gui/app/frmMain.h"
#include "gui/ui/BoxText.h"
#include "gui/ui/Form.h"
#include "gui/ui/Prompt.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <cstring>
#include <unistd.h>

using namespace quorix;
using bench::fail;

namespace {

void writeRules(const QString &path, int records) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        fail("cannot write " + path);
    file.write("login sa pw\ntable Patient_data..tbmaster\n"
               "  columns id:int LastName:nvarchar(50) FirstName:nvarchar(50) MiddleName:nvarchar(50)\n"
               "  key id\n");
    QByteArray block;
    for (int i = 1; i <= records; ++i) {
        block += "  row " + QByteArray::number(i) + "|Last" + QByteArray::number(i) + "|First|Middle\n";
        if (block.size() > (1 << 20)) {
            file.write(block);
            block.clear();
        }
    }
    file.write(block);
}

double cpuSeconds(qint64 pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray text = stat.readAll();
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    return fields.size() > 12 ? (fields[11].toDouble() + fields[12].toDouble()) / sysconf(_SC_CLK_TCK) : 0;
}

} // namespace

int main(int argc, char **argv) {
    int records = 100000;
    bool loopbackOnly = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--loopback-only") == 0)
            loopbackOnly = true;
        else
            records = std::atoi(argv[i]);
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir dir;
    qputenv("XDG_CONFIG_HOME", dir.filePath(QStringLiteral("config")).toUtf8());
    QApplication app(argc, argv);

    const QString rules = dir.filePath(QStringLiteral("rules.txt"));
    writeRules(rules, records);
    QProcess server;
    const QString session = bench::startServerProcess(server, rules);
    const QString box = parseOleDbConnectionString(session).server; // "127.0.0.2,PORT"
    const auto serverPort = static_cast<std::uint16_t>(box.section(QLatin1Char(','), 1).toUInt());
    testing::DelayProxy lan("127.0.0.2", serverPort, std::chrono::microseconds(500));

    frmMain window;
    Form &f = window.form();
    f.txtPW[1]->setText(QStringLiteral("pw"));
    // The scripted server here offers no encryption: it is reached as an old server is.
    f.cboEncryption[1]->setCurrentText(QStringLiteral("Optional"));
    setBoxText(f.txtATables, "Patient_data..tbmaster LastName FirstName MiddleName\r\n");
    Prompt::setScripted(true, true);
    std::printf("%d records of 3 name columns and a primary key\n", records);
    const auto run = [&](const char *name, const QString &through) {
        f.txtServer[1]->setText(through);
        window.sessions().cmdConnect_Click(1);
        lan.resetExchanges();
        f.lblRecNo->setText(QStringLiteral("0"));
        double early = 0;
        QTimer sampler; // fires when the run yields, before each block
        sampler.setInterval(20);
        QObject::connect(&sampler, &QTimer::timeout, [&] {
            if (early == 0 && f.lblRecNo->text().toInt() >= 1000)
                early = bench::resident().now;
        });
        sampler.start();
        bench::resetPeak();
        const double cpu = cpuSeconds(QCoreApplication::applicationPid());
        const double serverCpu = cpuSeconds(server.processId());
        QElapsedTimer clock;
        clock.start();
        f.cmdAnonymize->click();
        const double seconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
        sampler.stop();
        const int done = f.lblRecNo->text().toInt();
        const bench::Resident r = bench::resident();
        std::printf("%s: %d records in %.2f s: %.0f records/s", name, done, seconds, done / seconds);
        if (through != box)
            std::printf(" (target >= 10000), %.1f round trips per 1,000 records (target <= 20)",
                        1000.0 * static_cast<double>(lan.exchanges()) / std::max(done, 1));
        std::printf(", CPU %.1f s here and %.1f s in the server\n",
                    cpuSeconds(QCoreApplication::applicationPid()) - cpu,
                    cpuSeconds(server.processId()) - serverCpu);
        std::printf(
            "  resident memory %.1f MB after 1,000 records, %.1f MB at the end, peak (VmHWM) %.1f MB (target "
            "flat, < 100 MB)\n",
            early, r.now, r.peak);
        if (done != records)
            fail(QStringLiteral("the run ended at record %1").arg(done));
    };
    run("loopback", box);
    if (!loopbackOnly)
        run("1 ms round trip", QStringLiteral("127.0.0.2,%1").arg(lan.port()));
    const QStringList asked = Prompt::shown();
    if (asked.size() != (loopbackOnly ? 2 : 4) || asked.last() != QLatin1String("done."))
        fail(QStringLiteral("the run asked: ") + asked.join(QStringLiteral(" | ")));
    server.terminate();
    server.waitForFinished(5000);
    return 0;
}
