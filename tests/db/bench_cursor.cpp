// Figures for the updatable cursor; prints them, asserts nothing (not a ctest test).
// Walks a table of 100,000 rows of the scripted server's table model (in this process) through an
// UpdatableCursor twice: reading only, then assigning two name fields of every record and writing it
// back. Prints records/s and the round trips per record (requests the server received during the walk
// divided by the records). Target: >= 2,000 records/s with the writes.
// Usage: bench_cursor [rows]

#include "DbTestSupport.h"
#include "core/db/ServerConnection.h"
#include "core/db/UpdatableCursor.h"
#include "tds/TableModel.h"

#include <QElapsedTimer>
#include <cstdio>
#include <cstdlib>

using namespace quorix;

namespace {

struct Walk {
    qint64 records = 0;
    double seconds = 0;
    size_t requests = 0;
};

Walk walk(ServerConnection &session, tds::ScriptedServer &server, bool write) {
    server.clearRecord();
    Walk w;
    QElapsedTimer t;
    t.start();
    UpdatableCursor people(session, QStringLiteral("Bench..people"));
    for (; !people.eof(); people.moveNext(), ++w.records) {
        if (!write)
            continue;
        people.setField(QStringLiteral("LastName"), QStringLiteral("Last %1").arg(w.records));
        people.setField(QStringLiteral("FirstName"), QStringLiteral("First %1").arg(w.records));
        people.update();
    }
    people.close();
    w.seconds = t.nsecsElapsed() / 1e9;
    w.requests = server.statements().size();
    return w;
}

void print(const char *what, const Walk &w) {
    std::printf("%s: %lld records in %.2f s, %.0f records/s, %.2f round trips per record\n", what,
                static_cast<long long>(w.records), w.seconds, w.records / w.seconds,
                static_cast<double>(w.requests) / static_cast<double>(w.records));
}

} // namespace

int main(int argc, char **argv) {
    const int rows = argc > 1 ? std::atoi(argv[1]) : 100000;
    auto server = testing::startServer("127.0.0.2", "pw");
    std::vector<tds::Row> data;
    data.reserve(static_cast<size_t>(rows));
    for (int i = 0; i < rows; ++i)
        data.push_back({std::to_string(i), "Drake", "Noah", "A"});
    server->tables().set("Bench..people",
                         {tds::makeColumn("id", "int", false), tds::makeColumn("LastName", "nvarchar(30)"),
                          tds::makeColumn("FirstName", "nvarchar(30)"),
                          tds::makeColumn("MiddleName", "nvarchar(30)")},
                         std::move(data));
    try {
        ServerConnection session;
        session.open(testing::clearTarget(*server, "pw"));
        print("reading only", walk(session, *server, false));
        const Walk written = walk(session, *server, true);
        print("two fields written per record", written);
        std::printf("target: >= 2000 records/s with the writes\n");
        if (server->tables().rows("Bench..people").back()[1] != "Last " + std::to_string(rows - 1)) {
            std::fprintf(stderr, "the last record was not written\n");
            return 1;
        }
    } catch (const DbError &e) {
        std::fprintf(stderr, "%s\n", qPrintable(e.description()));
        return 1;
    }
    return 0;
}
