// Bulk loads into the scripted server from FreeTDS's own bulk-copy client, freebcp: INSERT BULK, then the
// bulk-load message, the rows read back from the table model exactly as INSERT would have stored them.

#include "tds/ScriptedServer.h"
#include "tds/TableModel.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sys/wait.h>
#include <unistd.h>

using namespace quorix::tds;

namespace {

std::string tempPath(const std::string &name) {
    return ::testing::TempDir() + "tds_bulk_" + std::to_string(::getpid()) + "_" + name;
}

struct ToolRun {
    int exitCode = -1;
    std::string output; // stdout and stderr
};

// freebcp <table> in <file> against the server, in character mode (tab between fields, a line per row;
// an empty field is NULL), as the user sa. extra: more options ("-E", "-b 400").
ToolRun freebcpIn(const ScriptedServer &server, const std::string &table, const std::string &data,
                  const std::string &extra = {}) {
    const std::string conf = tempPath("freetds.conf"), file = tempPath("rows.txt");
    std::ofstream(conf) << "[bulk]\n\thost = " << server.address() << "\n\tport = " << server.port()
                        << "\n\ttds version = 7.4\n\tclient charset = UTF-8\n";
    std::ofstream(file, std::ios::binary) << data;
    const std::string command = "FREETDSCONF=" + conf + " freebcp " + table + " in " + file +
                                " -S bulk -U sa -P pw -c " + extra + " 2>&1";
    ToolRun run;
    FILE *pipe = ::popen(command.c_str(), "r");
    if (!pipe)
        return run;
    char buf[4096];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, pipe)) > 0;)
        run.output.append(buf, n);
    const int status = ::pclose(pipe);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::remove(conf.c_str());
    std::remove(file.c_str());
    return run;
}

struct Server {
    ScriptedServer server;
    Server() {
        server.setLogin("sa", "pw");
        server.start("127.0.0.2", 0);
    }
};

// One column per case: its type, the field in the file, the value the table holds afterwards.
struct TypeCase {
    const char *type;
    const char *field;
    const char *stored;
};
const TypeCase kTypes[] = {
    {"bigint", "-9223372036854775807", "-9223372036854775807"},
    {"smallint", "-32768", "-32768"},
    {"tinyint", "255", "255"},
    {"bit", "1", "1"},
    {"float", "1.5", "1.5"},
    {"real", "0.25", "0.25"},
    {"decimal(10,2)", "-12345678.9", "-12345678.90"},
    {"numeric(38,4)", "1234567890123456789012345678901234.5678", "1234567890123456789012345678901234.5678"},
    {"money", "12.34", "12.3400"},
    {"date", "2024-01-31", "2024-01-31"},
    {"datetime", "2024-01-31 13:45:00.123", "2024-01-31 13:45:00.123"},
    {"datetime2(7)", "2024-01-31 13:45:00.1234567", "2024-01-31 13:45:00.1234567"},
    {"varchar(20)", "plain text", "plain text"},
    {"nvarchar(30)", "Žluťoučký kůň – 日本", "Žluťoučký kůň – 日本"},
    {"varbinary(16)", "0A1BFF00", "0x0A1BFF00"},
    {"uniqueidentifier", "6F9619FF-8B86-D011-B42D-00C04FC964FF", "6F9619FF-8B86-D011-B42D-00C04FC964FF"},
    {"nvarchar(max)", "long ☃ text", "long ☃ text"},
};

// The table of every case, after an identity column "id".
std::vector<Column> typeColumns() {
    Column id = makeColumn("id", "int", false);
    id.identity = true;
    std::vector<Column> columns{id};
    for (std::size_t i = 0; i < std::size(kTypes); ++i)
        columns.push_back(makeColumn("c" + std::to_string(i), kTypes[i].type));
    return columns;
}

} // namespace

TEST(TdsBulk, FreebcpLoadsEveryCommonTypeExactly) {
    Server s;
    s.server.tables().set("QRIX2..every", typeColumns());
    // A row of values and a row of NULLs, with identity values the load keeps (-E).
    std::string data = "41";
    for (const TypeCase &c : kTypes)
        data += std::string("\t") + c.field;
    data += "\n42" + std::string(std::size(kTypes), '\t') + "\n";
    const ToolRun run = freebcpIn(s.server, "QRIX2.dbo.every", data, "-E");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_NE(run.output.find("2 rows copied"), std::string::npos) << run.output;

    const std::vector<Row> rows = s.server.tables().rows("QRIX2..every");
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0][0], "41");
    EXPECT_EQ(rows[1][0], "42");
    for (std::size_t i = 0; i < std::size(kTypes); ++i) {
        EXPECT_EQ(rows[0][i + 1], Value(kTypes[i].stored)) << kTypes[i].type;
        EXPECT_EQ(rows[1][i + 1], std::nullopt) << kTypes[i].type;
    }
    // What the client sent before the rows: IDENTITY_INSERT for -E, the columns it asks for, INSERT BULK.
    const std::vector<std::string> batches = s.server.batches();
    ASSERT_GE(batches.size(), 3u);
    EXPECT_EQ(batches[batches.size() - 3], "set identity_insert QRIX2.dbo.every on");
    EXPECT_EQ(batches[batches.size() - 2], "SET FMTONLY ON select * from QRIX2.dbo.every SET FMTONLY OFF");
    EXPECT_EQ(batches.back().substr(0, 46), "insert bulk QRIX2.dbo.every ([id] INT, [c0] BI");
    ASSERT_EQ(s.server.bulkLoads().size(), 1u);
    EXPECT_EQ(s.server.bulkLoads()[0].text, "QRIX2.dbo.every");
    EXPECT_EQ(s.server.bulkLoads()[0].rows, 2u);
}

TEST(TdsBulk, RowsOverManyPacketsAndBatchesArriveInOrder) {
    Server s;
    s.server.tables().set("QRIX2..many", {makeColumn("n", "int", false), makeColumn("t", "nvarchar(60)")});
    std::string data;
    for (int i = 1; i <= 2500; ++i)
        data += std::to_string(i) + "\trow " + std::to_string(i) + " – ünïcode and padding to fill packets\n";
    const ToolRun run = freebcpIn(s.server, "QRIX2.dbo.many", data, "-b 1000");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_NE(run.output.find("2500 rows copied"), std::string::npos) << run.output;
    // Three batches of at most 1,000 rows, each its own bulk-load message after its own INSERT BULK.
    const std::vector<Event> loads = s.server.bulkLoads();
    ASSERT_EQ(loads.size(), 3u);
    EXPECT_EQ(loads[0].rows, 1000u);
    EXPECT_EQ(loads[2].rows, 500u);
    const std::vector<Row> rows = s.server.tables().rows("QRIX2..many");
    ASSERT_EQ(rows.size(), 2500u);
    for (int i = 0; i < 2500; ++i) {
        ASSERT_EQ(rows[i][0], std::to_string(i + 1));
        ASSERT_EQ(rows[i][1], "row " + std::to_string(i + 1) + " – ünïcode and padding to fill packets");
    }
}

TEST(TdsBulk, IdentityIsNumberedByTheTableWithoutKeepIdentity) {
    Server s;
    Column id = makeColumn("id", "int", false);
    id.identity = true;
    s.server.tables().set("QRIX2..numbered", {id, makeColumn("name", "varchar(10)")}, {{"7", "old"}});
    // Without -E freebcp sends no identity column: the table numbers the rows after its highest value.
    const ToolRun run = freebcpIn(s.server, "QRIX2.dbo.numbered", "100\tann\n200\tbob\n");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_EQ(s.server.tables().rows("QRIX2..numbered"),
              (std::vector<Row>{{"7", "old"}, {"8", "ann"}, {"9", "bob"}}));
    EXPECT_EQ(s.server.batches().back(), "insert bulk QRIX2.dbo.numbered ([name] VARCHAR(10))");
}

TEST(TdsBulk, ARefusedRowRefusesItsWholeBatch) {
    Server s;
    Column n = makeColumn("n", "int", false);
    n.key = true;
    s.server.tables().set("QRIX2..strict", {n, makeColumn("t", "varchar(3)")});
    // The second batch repeats a key: that batch alone is refused, the rows of the others stay.
    const ToolRun run =
        freebcpIn(s.server, "QRIX2.dbo.strict", "1\tabc\n2\tdef\n3\tghi\n1\tjkl\n5\tmno\n", "-b 2");
    EXPECT_NE(run.output.find("Violation of PRIMARY KEY constraint"), std::string::npos) << run.output;
    EXPECT_EQ(s.server.tables().rows("QRIX2..strict"),
              (std::vector<Row>{{"1", "abc"}, {"2", "def"}, {"5", "mno"}}));
}
