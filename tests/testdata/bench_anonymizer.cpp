// bench_anonymizer: "Anonymize Right DB ->" over one table of 100,000 records with three name columns on a
// scripted Mirror (the table in the server's table model), on the real window offscreen. Prints records/s,
// the round trips to the server per record, and the process's resident memory early in the run, at its end
// and at its peak. Targets: at least 2,000 records/s, memory flat. The server runs in this process, so its
// copy of the table is in the figures from the start; its record of the statements is cleared as the run
// goes (the round trips are counted as they arrive).
//
// Usage: bench_anonymizer [records]   (default 100000). Binds 127.0.0.2 and 127.0.0.3 on free ports.

#include "DbTestSupport.h"
#include "WindowFixture.h"
#include "tds/TableModel.h"
#include "ui/BoxText.h"
#include "ui/Prompt.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <sys/resource.h>
#include <unistd.h>

using namespace quorix;
using namespace quorix::testing;

namespace {

// Resident memory now and at its peak, in megabytes.
double residentMb() {
    std::ifstream in("/proc/self/statm");
    long pages = 0;
    long resident = 0;
    in >> pages >> resident;
    return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / 1048576.0;
}
double peakMb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

} // namespace

int main(int argc, char **argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int records = argc > 1 ? std::atoi(argv[1]) : 100000;

    auto mainServer = startServer("127.0.0.2", "pwMain");
    auto mirror = startServer("127.0.0.3", "pwMirror");
    std::vector<tds::Column> columns{
        tds::makeColumn("id", "int", false), tds::makeColumn("LastName", "nvarchar(50)"),
        tds::makeColumn("FirstName", "nvarchar(50)"), tds::makeColumn("MiddleName", "nvarchar(50)")};
    std::vector<tds::Row> rows;
    rows.reserve(static_cast<size_t>(records));
    for (int i = 1; i <= records; ++i)
        rows.push_back({std::to_string(i), "Last" + std::to_string(i), "First", "Middle"});
    mirror->tables().set("Patient_data..tbmaster", columns, std::move(rows));

    std::atomic<long> roundTrips{0};
    mirror->setEventListener([&roundTrips](const tds::Event &e) {
        if (e.kind == tds::Event::Kind::Batch || e.kind == tds::Event::Kind::Rpc)
            ++roundTrips;
    });

    WindowFixture w;
    w.preset("MIR", "txtServer0", serverBox(*mainServer));
    w.preset("MIR", "txtServer1", serverBox(*mirror));
    w.preset("MIR", "DB0", "pwMain");
    w.preset("MIR", "DB1", "pwMirror");
    w.start();
    Form &f = w.form();
    setBoxText(f.txtATables, "Patient_data..tbmaster LastName FirstName MiddleName\r\n");
    Prompt::setScripted(true, true);

    // Memory as the run goes: at the thousandth record and at its peak since.
    double early = 0;
    double highest = 0;
    QTimer sampler;
    sampler.setInterval(50);
    QObject::connect(&sampler, &QTimer::timeout, [&] {
        mirror->clearRecord(); // the server's record of every statement is the instrument's, not the tool's
        const double now = residentMb();
        if (early == 0 && f.lblRecNo->text().toInt() >= 1000)
            early = now;
        if (early > 0)
            highest = std::max(highest, now);
    });
    sampler.start();

    roundTrips = 0;
    QElapsedTimer clock;
    clock.start();
    f.cmdAnonymize->click();
    const double seconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
    sampler.stop();

    const int done = f.lblRecNo->text().toInt();
    std::printf("records: %d in %.2f s: %.0f records/s (target >= 2000)\n", done, seconds, done / seconds);
    std::printf("round trips per record: %.2f\n", static_cast<double>(roundTrips) / std::max(done, 1));
    std::printf("resident memory: %.1f MB at record 1000, %.1f MB highest after it, %.1f MB at the end, "
                "peak %.1f MB\n",
                early, highest, residentMb(), peakMb());
    const auto after = mirror->tables().rows("Patient_data..tbmaster");
    const long unchanged = std::count_if(after.begin(), after.end(), [](const tds::Row &r) {
        return r[1] && r[1]->starts_with("Last") && r[1]->size() > 4 && std::isdigit(r[1]->at(4));
    });
    std::printf("records left with their surname: %ld\n", unchanged);
    return done == records ? 0 : 1;
}
