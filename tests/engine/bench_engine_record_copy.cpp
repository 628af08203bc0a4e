// Figures for the record copy on the T-SQL engine; prints them, asserts nothing (not a ctest test).
// Copies a table of every column type the tool binds (tests/engine/EngineTables.h) from qrix into qrix2
// through CopyRecords on the real window (offscreen), through a relay that adds no delay (loopback) and
// through the delay proxy at 0.5 ms each way (a round trip of 1 ms), and prints rows/s and the round trips
// per 1,000 rows the relay counted. bench_record_copy prints the same figures for the scripted server.
// Needs the engine running: sudo bash tests/support/engine/engine.sh start. A failed set-up step prints the
// driver's records (the checks of Engine.h, which report here without a test around them).
// Usage: bench_engine_record_copy [rows]   (default 10000)

#include "DelayProxy.h"
#include "EngineTables.h"
#include "core/db/ServerSessions.h"
#include "gui/app/frmMain.h"
#include "gui/tablecopy/RecordCopy.h"
#include "gui/ui/Form.h"
#include "gui/ui/LogPanes.h"
#include "gui/ui/widgets/LogPane.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>

using namespace quorix;
using namespace quorix::testing::engine;

int main(int argc, char **argv) {
    const int rows = argc > 1 ? std::atoi(argv[1]) : 10000;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir dir;
    qputenv("XDG_CONFIG_HOME", dir.filePath(QStringLiteral("config")).toUtf8());
    QApplication app(argc, argv);

    const std::vector<TypedColumn> columns = everyType();
    {
        EngineDb master;
        freshDatabase(master, "qrix");
        freshDatabase(master, "qrix2");
        linkDatabases("master qrix qrix2");
        EngineDb qrix("qrix"), qrix2("qrix2");
        qrix.run(createTable("bench", columns, false));
        fill(qrix, "bench", columns, rows, false);
        qrix2.run(createTable("bench", columns, false));
    }

    frmMain window;
    Form &f = window.form();
    f.txtPW[0]->setText(QString::fromStdString(kPassword));
    // The engine offers no encryption: it is reached as an old server is.
    f.cboEncryption[0]->setCurrentText(QStringLiteral("Optional"));
    RecordCopy copy(f, window.sessions(), window.log());
    const auto copyThrough = [&](std::chrono::microseconds oneWay, const char *name) {
        quorix::testing::DelayProxy relay(kAddress, 1433, oneWay);
        EngineDb("qrix2").run("TRUNCATE TABLE dbo.bench");
        f.txtServer[0]->setText(QStringLiteral("127.0.0.2,%1").arg(relay.port()));
        window.sessions().cmdConnect_Click(0);
        window.sessions().OpenQuery(0, QStringLiteral("Use qrix"), false);
        f.txtLog->clear();
        relay.resetExchanges();
        QElapsedTimer t;
        t.start();
        copy.CopyRecords(QStringLiteral("qrix..bench"), QStringLiteral("qrix2..bench"));
        const double rate = rows / (t.nsecsElapsed() / 1e9);
        const double trips = 1000.0 * static_cast<double>(relay.exchanges()) / rows;
        const std::vector<tds::testing::TextRow> arrived =
            EngineDb("qrix2").rows("SELECT COUNT(*) FROM dbo.bench");
        std::printf(
            "engine, %s: CopyRecords %.0f rows/s, %.1f round trips per 1,000 rows, %s rows arrived (log: "
            "%s)\n",
            name, rate, trips, arrived.empty() ? "no" : arrived[0][0].value_or("NULL").c_str(),
            qPrintable(f.txtLog->toPlainText().replace(QLatin1Char('\n'), QStringLiteral(", "))));
    };
    std::printf("%d rows of %zu columns\n", rows, columns.size() + 1);
    copyThrough(std::chrono::microseconds(0), "loopback");
    copyThrough(std::chrono::microseconds(500), "1 ms round trip");
    return 0;
}
