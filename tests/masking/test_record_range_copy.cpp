// "Copy records to database 1" on the real window through the real driver to two scripted servers: the
// statements of a table on both servers to the letter, the records of the range that Main lacks added as
// typed values, a textual idnum, the tables that give nothing, a second run, STOP and ALL DBS, the fields
// that cannot be copied, and a link dropped between two tables.
//
// The servers keep their tables in the scripted server's table model; the rules below answer the range
// copy's own catalog and idnum queries from it, as SQL Server would.

#include "MirroringWindow.h"
#include "core/db/ServerSessions.h"
#include "tds/TableModel.h"

#include <QLabel>
#include <algorithm>
#include <functional>
#include <map>

using namespace quorix;
using namespace quorix::testing;
using tds::makeColumn;
using tds::Reply;
using tds::ResultSet;
using tds::Rule;

namespace {

using Batches = std::vector<std::string>;
using Rows = std::vector<tds::Row>;

const std::string kDb = "Patient_data";

// The records of a patient table with idnum from first to last, named after their idnum.
Rows patients(int first, int last) {
    Rows rows;
    for (int id = first; id <= last; ++id)
        rows.push_back({std::to_string(id), "Name" + std::to_string(id)});
    return rows;
}

std::vector<tds::Column> patientColumns(const std::string &idType = "int") {
    return {makeColumn("idnum", idType, false), makeColumn("LastName", "nvarchar(50)")};
}

std::string q7(const std::string &table, const std::string &id) {
    return "Select * from   Patient_data.." + table + " where idnum = '" + id + "' ";
}

class RangeCopy : public MirroringWindow {
protected:
    void SetUp() override {
        MirroringWindow::SetUp();
        mainDbs.set({kDb});
        mirrorDbs.set({kDb});
        serveMain();
        serveMirror();
    }

    // The table browser of a database on Main lists these tables.
    void listTables(const std::string &db, std::vector<std::string> tables) {
        std::lock_guard lock(m_mutex);
        m_listed[db] = std::move(tables);
    }
    // ALL DBS over Billing and Patient_data on Main, each with a table with idnum; the Mirror has
    // Patient_data's, with the records from 106300 to last.
    void twoDatabases(int last) {
        mainDbs.set({"Billing", kDb});
        main->tables().set("Billing..tbBill", patientColumns());
        main->tables().set("Patient_data..tbmaster", patientColumns());
        mirror->tables().set("Patient_data..tbmaster", patientColumns(), patients(106300, last));
        listTables("Billing", {"tbBill"});
        listTables(kDb, {"tbmaster"});
        start();
        f().chkALL->setChecked(true);
    }
    void run() { click("cmdCopybyRecID"); }
    QStringList errors() { return textLines(f().txtErrs->toPlainText()); }
    std::vector<tds::Event> inserts() {
        std::vector<tds::Event> out;
        for (const tds::Event &e : main->rpcs())
            if (e.text.starts_with("INSERT") && e.procedure != "sp_unprepare")
                out.push_back(e);
        return out;
    }
    std::vector<std::string> column(tds::ScriptedServer &server, const std::string &table, size_t index) {
        std::vector<std::string> out;
        for (const tds::Row &r : server.tables().rows(table))
            out.push_back(r[index].value_or("NULL"));
        return out;
    }

private:
    static std::string key(std::string s) {
        std::ranges::transform(s, s.begin(),
                               [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        return s;
    }
    static int idnumIndex(const std::vector<tds::Column> &columns) {
        for (size_t i = 0; i < columns.size(); ++i)
            if (key(columns[i].name) == "idnum")
                return static_cast<int>(i);
        return -1;
    }

    using Answer = std::function<Reply(const std::smatch &, const tds::ConnectionState &)>;
    // Answers the statements that match pattern as a whole; answer gets its groups.
    static void on(tds::ScriptedServer &server, const std::string &pattern, Answer answer) {
        server.addRule(Rule::callback(
            [form = std::regex(pattern), answer](const std::string &text,
                                                 const tds::ConnectionState &state) -> std::optional<Reply> {
                std::smatch m;
                std::regex_match(text, m, form);
                return answer(m, state);
            },
            pattern));
    }
    // The records of a model table whose idnum passes keep, as a result.
    static Reply selected(tds::ScriptedServer &server, const std::string &table,
                          const std::function<bool(const std::string &, tds::SqlType)> &keep) {
        ResultSet set{server.tables().columns(table), {}};
        const auto at = static_cast<size_t>(idnumIndex(set.columns));
        for (const tds::Row &r : server.tables().rows(table))
            if (r[at] && keep(*r[at], set.columns[at].type))
                set.rows.push_back(r);
        return Reply::rows(set);
    }
    static ResultSet names(std::vector<tds::Row> rows) {
        return {{makeColumn("name", "nvarchar(128)")}, std::move(rows)};
    }

    void serveMain() {
        const std::string sizes = std::regex_replace(DatabaseLists::kTableSizeStatement.toStdString(),
                                                     std::regex(R"([.*+?^${}()|\[\]\\])"), R"(\$&)");
        on(*main, sizes, [this](const std::smatch &, const tds::ConnectionState &state) {
            std::lock_guard lock(m_mutex);
            ResultSet set{{makeColumn("TableName", "nvarchar(128)")}, {}};
            for (const std::string &t : m_listed[state.database])
                set.rows.push_back({t});
            return Reply::rows(set);
        });
        // Object ids are the tables' positions among those asked for, from 1001 on.
        on(*main, R"(Select OBJECT_ID\('(.*)'\))",
           [this](const std::smatch &m, const tds::ConnectionState &) {
               ResultSet set{{makeColumn("", "int")}, {{std::nullopt}}};
               std::lock_guard lock(m_mutex);
               if (main->tables().has(m[1])) {
                   m_ids.push_back(m[1]);
                   set.rows[0][0] = std::to_string(1000 + m_ids.size());
               }
               return Reply::rows(set);
           });
        on(*main, R"(Select \* From sys\.columns where object_id = '(\d*)'  and name ='idnum' )",
           [this](const std::smatch &m, const tds::ConnectionState &) {
               std::lock_guard lock(m_mutex);
               const size_t n = m[1].length() == 0 ? 0 : std::stoul(m[1]) - 1000;
               const bool has =
                   n >= 1 && n <= m_ids.size() && idnumIndex(main->tables().columns(m_ids[n - 1])) >= 0;
               return Reply::rows(names(has ? std::vector<tds::Row>{{"idnum"}} : std::vector<tds::Row>{}));
           });
        on(*main, R"(Select \* from   (.*) where idnum = '(.*)' )",
           [this](const std::smatch &m, const tds::ConnectionState &) {
               return selected(*main, m[1],
                               [id = m[2].str()](const std::string &v, tds::SqlType) { return v == id; });
           });
    }

    void serveMirror() {
        on(*mirror, R"(select \* from sys\.tables where name='(.*)')",
           [this](const std::smatch &m, const tds::ConnectionState &state) {
               const bool has = mirror->tables().has(state.database + ".." + m[1].str());
               return Reply::rows(names(has ? std::vector<tds::Row>{{m[1].str()}} : std::vector<tds::Row>{}));
           });
        // The bounds compare with idnum by its type: as numbers for a number, as text for text.
        on(*mirror, R"(select \* from (.*) where idnum >= '(.*)' and idnum <= '(.*)')",
           [this](const std::smatch &m, const tds::ConnectionState &) {
               return selected(
                   *mirror, m[1],
                   [low = m[2].str(), high = m[3].str()](const std::string &v, tds::SqlType type) {
                       if (type == tds::SqlType::Int)
                           return std::stoll(v) >= std::stoll(low) && std::stoll(v) <= std::stoll(high);
                       return v >= low && v <= high;
                   });
           });
    }

    std::mutex m_mutex;
    std::map<std::string, std::vector<std::string>> m_listed;
    std::vector<std::string> m_ids;
};

} // namespace

TEST_F(RangeCopy, AddsTheElevenRecordsOfTheDefaultRangeAndNothingOnASecondRun) {
    main->tables().set("Patient_data..tbmaster", patientColumns(), patients(106290, 106299));
    mirror->tables().set("Patient_data..tbmaster", patientColumns(), patients(106290, 106320));
    listTables(kDb, {"tbmaster"});
    start();
    f().txtDB->setText("Patient_data");
    EXPECT_EQ(f().txtStartIDNum->text(), "106300");
    EXPECT_EQ(f().txtENDIDNum->text(), "106310");
    run();

    Batches expectedMain{
        "use Patient_data", DatabaseLists::kTableSizeStatement.toStdString(),
        " Exec sp_defaultdb @loginame='sa', @defdb='Patient_data'",
        "Select OBJECT_ID('Patient_data..tbmaster')",
        "Select * From sys.columns where object_id = '1001'  and name ='idnum' ", q7("tbmaster", "106300"),
        // The columns of database 1 are read once, when the first record is added.
        "SELECT c.name, c.is_identity, c.is_computed, CAST(CASE WHEN c.system_type_id = 189 "
        "THEN 1 ELSE 0 END AS bit) AS is_rowversion FROM Patient_data.sys.columns AS c WHERE "
        "c.object_id = OBJECT_ID(N'Patient_data..tbmaster') ORDER BY c.column_id"};
    for (int id = 106301; id <= 106310; ++id)
        expectedMain.push_back(q7("tbmaster", std::to_string(id)));
    EXPECT_EQ(sent(0), expectedMain);
    EXPECT_EQ(sent(1), (Batches{" Exec sp_defaultdb @loginame='sa', @defdb='Patient_data'",
                                "Use Patient_data", "select * from sys.tables where name='tbmaster'",
                                "select * from Patient_data..tbmaster where idnum >= '106300' and idnum <= "
                                "'106310'"}));
    EXPECT_EQ(log().first(), "Records added to tbmaster: 11  exist:0");
    EXPECT_TRUE(errors().isEmpty()) << errors().join('\n').toStdString();

    // Added field by field under their names, as typed values.
    const auto added = inserts();
    ASSERT_EQ(added.size(), 11u);
    EXPECT_EQ(added[0].text, "INSERT INTO Patient_data..tbmaster (idnum, LastName) VALUES (@P1, @P2)");
    EXPECT_EQ(added[0].declarations, "@P1 INT,@P2 NVARCHAR(50)");
    EXPECT_EQ(added[10].params[0].value, "106310");
    EXPECT_EQ(added[10].params[1].value, "Name106310");
    auto ids = column(*main, "Patient_data..tbmaster", 0);
    EXPECT_EQ(ids.size(), 21u);
    EXPECT_EQ(ids.back(), "106310");

    main->clearRecord();
    run();
    EXPECT_EQ(log().first(), "Records added to tbmaster: 0  exist:11");
    EXPECT_TRUE(inserts().empty());
    EXPECT_EQ(column(*main, "Patient_data..tbmaster", 0).size(), 21u);
}

TEST_F(RangeCopy, ATextualIdnumIsComparedAsText) {
    main->tables().set("Patient_data..tbAdmContact", patientColumns("varchar(10)"));
    mirror->tables().set("Patient_data..tbAdmContact", patientColumns("varchar(10)"),
                         {{"106300", "A"}, {"1063005", "B"}, {"106311", "C"}, {"10631", "D"}, {"2", "E"}});
    listTables(kDb, {"tbAdmContact"});
    start();
    f().txtDB->setText("Patient_data");
    run();
    EXPECT_EQ(log().first(), "Records added to tbAdmContact: 3  exist:0");
    EXPECT_EQ(column(*main, "Patient_data..tbAdmContact", 0), (Batches{"106300", "1063005", "10631"}));
    EXPECT_EQ(inserts()[0].declarations, "@P1 VARCHAR(10),@P2 NVARCHAR(50)");
}

TEST_F(RangeCopy, TablesThatGiveNoRecords) {
    // Only in database 1; without idnum in database 1 (passed over without a word); an empty range.
    main->tables().set("Patient_data..tbOnlyHere", patientColumns());
    main->tables().set("Patient_data..tbNoIdnum", {makeColumn("LastName", "nvarchar(50)")});
    mirror->tables().set("Patient_data..tbNoIdnum", patientColumns(), patients(106300, 106301));
    main->tables().set("Patient_data..tbEmpty", patientColumns());
    mirror->tables().set("Patient_data..tbEmpty", patientColumns(), patients(1, 5));
    listTables(kDb, {"tbOnlyHere", "tbNoIdnum", "tbEmpty"});
    start();
    f().txtDB->setText("Patient_data");
    run();
    EXPECT_EQ(log(), (QStringList{"Records added to tbEmpty: 0  exist:0",
                                  "table not found in database 2 tbOnlyHere"}));
    // The Mirror hears of tbOnlyHere (not found) and tbEmpty, never of tbNoIdnum.
    for (const std::string &b : sent(1))
        EXPECT_EQ(b.find("tbNoIdnum"), std::string::npos) << b;
    EXPECT_EQ(f().Grid2->row(), 2);
    EXPECT_TRUE(inserts().empty());
}

TEST_F(RangeCopy, StopBeforeThePressStillSendsTheDefaultDatabaseForEveryDatabase) {
    twoDatabases(106310);
    f().chkStop->setChecked(true);
    run();
    const std::string sizes = DatabaseLists::kTableSizeStatement.toStdString();
    EXPECT_EQ(
        sent(0, false),
        (Batches{"use Billing", sizes, " Exec sp_defaultdb @loginame='sa', @defdb='Billing'",
                 "use Patient_data", sizes, " Exec sp_defaultdb @loginame='sa', @defdb='Patient_data'"}));
    EXPECT_TRUE(sent(1, false).empty());
    EXPECT_TRUE(f().chkStop->isChecked()); // read, never reset
    EXPECT_EQ(f().txtDB->text(), "Patient_data");
}

TEST_F(RangeCopy, AllDatabasesGoOnPastADatabaseTheMirrorLacks) {
    mirror->setDatabases({"master", kDb});
    twoDatabases(106302);
    run();
    const QStringList lines = log();
    ASSERT_EQ(lines.size(), 2) << lines.join("\n").toStdString();
    EXPECT_EQ(lines[0], "Records added to tbmaster: 3  exist:0");
    EXPECT_TRUE(lines[1].endsWith(" Use Billing")) << lines[1].toStdString();
    EXPECT_EQ(column(*main, "Patient_data..tbmaster", 0), (Batches{"106300", "106301", "106302"}));
}

TEST_F(RangeCopy, FieldsThatCannotBeCopiedAreReportedAndTheRecordIsAddedWithoutThem) {
    // Database 1 lacks Remark, numbers its own RowId and takes Age as a number.
    auto rowId = makeColumn("RowId", "int", false);
    rowId.identity = true;
    main->tables().set("Patient_data..tbmaster",
                       {rowId, makeColumn("idnum", "int", false), makeColumn("LastName", "nvarchar(50)"),
                        makeColumn("Age", "int")});
    mirror->tables().set("Patient_data..tbmaster",
                         {makeColumn("RowId", "int"), makeColumn("idnum", "int", false),
                          makeColumn("LastName", "nvarchar(50)"), makeColumn("Remark", "nvarchar(20)"),
                          makeColumn("Age", "nvarchar(10)")},
                         {{"7", "106300", "Ann", "x", "41"}, {"8", "106301", "Bob", std::nullopt, "abc"}});
    listTables(kDb, {"tbmaster"});
    start();
    f().txtDB->setText("Patient_data");
    run();

    const QString written =
        "fieldRowId may not exists on left databaseThe field cannot be written: the server "
        "makes its values.";
    const QString missing =
        "fieldRemark may not exists on left databaseItem cannot be found in the collection "
        "corresponding to the requested name or ordinal.";
    QStringList oldestFirst = errors();
    std::reverse(oldestFirst.begin(), oldestFirst.end());
    EXPECT_EQ(oldestFirst,
              (QStringList{written, missing, written, missing,
                           "fieldAge may not exists on left databaseParameter 3: the value \"abc\" "
                           "cannot be converted to its type.",
                           "4 -9"}));
    EXPECT_EQ(log().first(), "Records added to tbmaster: 2  exist:0");
    const Rows rows = main->tables().rows("Patient_data..tbmaster");
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0], (tds::Row{"1", "106300", "Ann", "41"}));
    EXPECT_EQ(rows[1], (tds::Row{"2", "106301", "Bob", std::nullopt}));
}

// Main drops the link while tbB's object id is asked for: tbB is logged and counted as failed, the session
// reconnects before tbC, sends the listing's "use" again on the new connection, and tbC's records are added
// in the database.
TEST_F(RangeCopy, ALinkDroppedBetweenTablesIsReconnectedAndTheNextTableIsCopied) {
    for (const char *t : {"tbA", "tbB", "tbC"}) {
        main->tables().set(kDb + ".." + t, patientColumns());
        mirror->tables().set(kDb + ".." + t, patientColumns(), patients(106300, 106301));
    }
    listTables(kDb, {"tbA", "tbB", "tbC"});
    auto dropped = std::make_shared<std::atomic<bool>>(false);
    main->addFirstRule(Rule::callback(
        [dropped](const std::string &, const tds::ConnectionState &) -> std::optional<Reply> {
            return dropped->exchange(true) ? std::nullopt : std::optional(Reply::drop());
        },
        R"(Select OBJECT_ID\('Patient_data\.\.tbB'\))"));
    start();
    f().txtDB->setText("Patient_data");
    const int failuresBefore = w.window().sessions().failures();
    run();

    const std::vector<tds::Event> logins = main->logins();
    ASSERT_FALSE(logins.empty());
    const std::vector<std::string> afterReconnect = main->batches(logins.back().connection);
    ASSERT_GE(afterReconnect.size(), 2u);
    EXPECT_EQ(afterReconnect[0], "use Patient_data");
    EXPECT_EQ(afterReconnect[1], "Select OBJECT_ID('Patient_data..tbC')");
    EXPECT_EQ(column(*main, "Patient_data..tbA", 0), (Batches{"106300", "106301"}));
    EXPECT_TRUE(column(*main, "Patient_data..tbB", 0).empty());
    EXPECT_EQ(column(*main, "Patient_data..tbC", 0), (Batches{"106300", "106301"}));

    const QStringList lines = logged();
    const qsizetype cut = lines.indexOf("tbB failed: the link to the server was lost");
    ASSERT_GT(cut, 0) << lines.join('\n').toStdString();
    EXPECT_EQ(lines.mid(cut + 1), (QStringList{"Reconnected.", "Records added to tbC: 2  exist:0"}));
    EXPECT_TRUE(lines.contains("Records added to tbA: 2  exist:0")) << lines.join('\n').toStdString();
    EXPECT_FALSE(lines.contains("Records added to tbB: 0  exist:0"));
    EXPECT_EQ(errorPane(), QStringList{"tbB failed: the link to the server was lost"});
    // The refused statement and the table it cut short.
    EXPECT_EQ(w.window().sessions().failures(), failuresBefore + 2);
}
