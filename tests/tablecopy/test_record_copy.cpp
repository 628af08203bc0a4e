// "Copy table by record" on the real window through the real driver: the statements to the letter, every
// typed value arriving intact in a block (dates of any year and offsets too), identity and non-identity
// tables, a target whose columns lie in another order, a refused row in a block, columns the target cannot
// take, a source that cannot be opened, STOP before the press and between blocks, blocks that end at the last
// row, the round trips of a copy, the progress every 100 rows, the server the source is read from, and a
// block of rows as one journal line with its row count.

#include "TableCopyWindow.h"

#include "core/audit/Journal.h"
#include "core/db/ScriptOnly.h"

#include <QEvent>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

using namespace quorix;
using namespace quorix::testing;

namespace {

const std::string kSource = "QRIX..Patients";
const std::string kTarget = "QRIX2..Patients";

// The statements of a press for Patients, the source read included.
std::vector<std::string> copyOfPatients() {
    return {"Use QRIX",
            "SELECT top 1 * INTO QRIX2..Patients FROM QRIX..Patients",
            "truncate table QRIX2..Patients ",
            "SELECT * FROM QRIX..Patients",
            "SET IDENTITY_INSERT QRIX2.dbo.Patients ON",
            "SET IDENTITY_INSERT QRIX2.dbo.Patients OFF"};
}

std::vector<tds::Column> idAndName() {
    return {makeColumn("id", "int"), makeColumn("name", "nvarchar(50)")};
}

std::vector<tds::Row> numbered(int n) {
    std::vector<tds::Row> rows;
    for (int i = 1; i <= n; ++i)
        rows.push_back({std::to_string(i), "patient " + std::to_string(i)});
    return rows;
}

class ByRecord : public TableCopyWindow {};

// Counts lblWorking's flips and notes lblCnt's caption at each.
class Flips : public QObject {
public:
    explicit Flips(Form &form) : m_form(form) { form.lblWorking->installEventFilter(this); }
    QStringList countsAtFlip;

protected:
    bool eventFilter(QObject *, QEvent *e) override {
        if (e->type() == QEvent::ShowToParent || e->type() == QEvent::HideToParent)
            countsAtFlip << m_form.lblCnt->text();
        return false;
    }

private:
    Form &m_form;
};

} // namespace

TEST_F(ByRecord, EveryTypedValueArrivesIntactWithItsIdentity) {
    const std::vector<tds::Column> columns{identityColumn("id"),
                                           makeColumn("big", "bigint"),
                                           makeColumn("name", "nvarchar(50)"),
                                           makeColumn("code", "varchar(20)"),
                                           makeColumn("seen", "datetime2(7)"),
                                           makeColumn("amount", "decimal(18,4)"),
                                           makeColumn("flag", "bit"),
                                           makeColumn("ratio", "float"),
                                           makeColumn("photo", "varbinary(max)"),
                                           makeColumn("born", "date"),
                                           makeColumn("at", "time(7)"),
                                           makeColumn("note", "nvarchar(max)"),
                                           makeColumn("ref", "uniqueidentifier")};
    const std::string longNote(9000, 'n');
    const std::vector<tds::Row> rows{
        {"1", "-9223372036854775808", "Zoë 漢字 😀", "café", "2024-02-29 23:59:58.1234567",
         "-12345678901234.5678", "1", "0.1", "0x00ABFF", "1999-12-31", "13:14:15.1234567", longNote,
         "6F9619FF-8B86-D011-B42D-00C04FC964FF"},
        {"7", std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt,
         std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt},
        {"9", "42", "", "", "1600-03-01 00:00:00.0000000", "0.0001", "0", "1e+300", "0x", "9999-12-31",
         "00:00:00.0000000", "", "00000000-0000-0000-0000-000000000000"},
    };
    table(kSource, columns, rows);
    table(kTarget, columns);

    click("cmdCopyTables");

    EXPECT_EQ(statements(), copyOfPatients());
    const Inserts in = inserts(kTarget);
    // The three rows in one block, each row's values declared as the first's.
    EXPECT_EQ(
        in.sql,
        std::vector<std::string>{
            "INSERT INTO QRIX2..Patients (id, big, name, code, seen, amount, flag, ratio, photo, "
            "born, at, note, ref) VALUES (@P1, @P2, @P3, @P4, CAST(@P5 AS datetime2(7)), @P6, @P7, @P8, "
            "@P9, CAST(@P10 AS date), CAST(@P11 AS time(7)), @P12, @P13), (@P14, @P15, @P16, @P17, "
            "CAST(@P18 AS datetime2(7)), @P19, @P20, @P21, @P22, CAST(@P23 AS date), CAST(@P24 AS "
            "time(7)), @P25, @P26), (@P27, @P28, @P29, @P30, CAST(@P31 AS datetime2(7)), @P32, @P33, "
            "@P34, @P35, CAST(@P36 AS date), CAST(@P37 AS time(7)), @P38, @P39)"});
    // On the wire a datetime2 is ISO 8601 text, cast in the statement to the column's type.
    std::vector<tds::Row> sent = rows;
    sent[0][4] = "2024-02-29T23:59:58.1234567";
    sent[2][4] = "1600-03-01T00:00:00.0000000";
    EXPECT_EQ(in.rows, sent);
    EXPECT_EQ(rowsOf(kTarget), rows); // identity values included
    using T = tds::SqlType;
    // Dates and times go as ISO 8601 text, cast in the statement.
    EXPECT_EQ(in.types, (std::vector<T>{T::Int, T::BigInt, T::NVarChar, T::VarChar, T::NVarChar, T::Decimal,
                                        T::Bit, T::Float, T::VarBinaryMax, T::NVarChar, T::NVarChar,
                                        T::NVarCharMax, T::UniqueIdentifier}));
    EXPECT_EQ(logged(), (QStringList{"Patients", "copied 3", "errors 0", "Done copying"}));
    EXPECT_EQ(f().lblCnt->text(), "0");
}

TEST_F(ByRecord, EveryDateAndOffsetArrivesUnchanged) {
    const std::vector<tds::Column> columns{
        makeColumn("id", "int"), makeColumn("born", "date"), makeColumn("seen", "datetime2(7)"),
        makeColumn("noted", "datetime2(3)"), makeColumn("at", "datetimeoffset(7)")};
    // The first day the server holds, the day before the Gregorian calendar began, the last day, an offset
    // of +05:45: each as the source holds it, which is what must arrive.
    const std::vector<tds::Row> rows{
        {"1", "0001-01-01", "0001-01-01 00:00:00.0000000", "0001-01-01 00:00:00.000",
         "0001-01-01 00:00:00.0000000 -14:00"},
        {"2", "1582-10-04", "1582-10-04 23:59:59.9999999", "1582-10-04 23:59:59.999",
         "1582-10-04 23:59:59.9999999 +00:00"},
        {"3", "9999-12-31", "9999-12-31 23:59:59.9999999", "9999-12-31 23:59:59.999",
         "9999-12-31 23:59:59.9999999 +14:00"},
        {"4", "2021-03-04", "2021-03-04 05:06:07.1234567", "2021-03-04 05:06:07.123",
         "2021-03-04 05:06:07.1234567 +05:45"},
    };
    table(kSource, columns, rows);
    table(kTarget, columns);

    click("cmdCopyTables");

    EXPECT_EQ(rowsOf(kTarget), rows);
    EXPECT_EQ(logged(), (QStringList{"Patients", "copied 4", "errors 0", "Done copying"}));
    // On the wire: ISO 8601 text, which the server reads the same whatever its language.
    const Inserts in = inserts(kTarget);
    ASSERT_EQ(in.rows.size(), 4u);
    EXPECT_EQ(in.rows[0], (tds::Row{"1", "0001-01-01", "0001-01-01T00:00:00.0000000",
                                    "0001-01-01T00:00:00.0000000", "0001-01-01T00:00:00.0000000-14:00"}));
    EXPECT_EQ(in.rows[3], (tds::Row{"4", "2021-03-04", "2021-03-04T05:06:07.1234567",
                                    "2021-03-04T05:06:07.1230000", "2021-03-04T05:06:07.1234567+05:45"}));
}

TEST_F(ByRecord, TheSourceIsReadFromTheServerTheSessionIsOnWhateverTheBoxSaysNow) {
    // Another server behind the same password, holding tables of the same names: reading from it would
    // write its rows into Main's table.
    const auto other = startServer("127.0.0.3", "pwMain");
    other->tables().set(kSource, idAndName(), {{"99", "elsewhere"}});
    other->tables().set(kTarget, idAndName());
    other->tables().set("QRIX..Patients_NEW2", idAndName());
    table(kSource, idAndName(), numbered(3));
    table(kTarget, idAndName());
    table("QRIX..Patients_NEW2", idAndName());
    click("cmdConnect(0)");
    f().txtServer[0]->setText(serverBox(*other)); // edited after connecting, Connect not pressed again
    reset();

    click("cmdCopyTables");
    EXPECT_EQ(statements(), copyOfPatients());
    EXPECT_EQ(rowsOf(kTarget), numbered(3));
    EXPECT_EQ(logged(), (QStringList{"Patients", "copied 3", "errors 0", "Done copying"}));

    // "Copy to _NEW2" reads through the same kind of reader.
    userTables = {"Patients"};
    click("cmdCopytoNEW");
    EXPECT_EQ(rowsOf("QRIX..Patients_NEW2"), numbered(3));

    EXPECT_TRUE(other->events().empty()) << describe(other->events().front());
    EXPECT_TRUE(other->tables().rows(kTarget).empty());
}

TEST_F(ByRecord, EmptySourceExistingTargetAndATableWithoutIdentity) {
    // An empty source: the target is made and emptied, and nothing is inserted.
    table(kSource, idAndName());
    table(kTarget, idAndName());
    click("cmdCopyTables");
    EXPECT_TRUE(rowsOf(kTarget).empty());
    EXPECT_EQ(logged(), (QStringList{"Patients", "copied 0", "errors 0", "Done copying"}));

    // A target that exists already: its creation fails, logged, and the existing table is refilled; the
    // IDENTITY_INSERT refusals of a table without identity say nothing.
    reset();
    main->clearRules();
    main->addRule(
        Rule::exact("SELECT top 1 * INTO QRIX2..Patients FROM QRIX..Patients",
                    Reply::error(2714, "There is already an object named 'Patients' in the database.")));
    main->addRule(
        Rule::pattern("SET IDENTITY_INSERT .*",
                      Reply::error(8106, "Table 'QRIX2..Patients' does not have the identity property. "
                                         "Cannot perform SET operation.")));
    table(kSource, idAndName(), numbered(2));
    table(kTarget, idAndName());
    click("cmdCopyTables");
    EXPECT_EQ(statements(), copyOfPatients());
    EXPECT_EQ(rowsOf(kTarget), numbered(2));
    EXPECT_EQ(logged(),
              (QStringList{"Patients",
                           serverError("There is already an object named 'Patients' in the database.") +
                               " SELECT top 1 * INTO QRIX2..Patients FROM QRIX..Patients",
                           "copied 2", "errors 0", "Done copying"}));
}

TEST_F(ByRecord, ValuesGoByPositionIntoATargetOfAnotherColumnOrder) {
    table(kSource, {makeColumn("first", "nvarchar(20)"), makeColumn("last", "nvarchar(20)")},
          {{"Ann", "Lee"}, {"Bo", "Kim"}});
    table(kTarget, {makeColumn("last", "nvarchar(20)"), makeColumn("first", "nvarchar(20)")});
    click("cmdCopyTables");
    EXPECT_EQ(
        inserts(kTarget).sql,
        std::vector<std::string>{"INSERT INTO QRIX2..Patients (last, first) VALUES (@P1, @P2), (@P3, @P4)"});
    EXPECT_EQ(rowsOf(kTarget), (std::vector<tds::Row>{{"Ann", "Lee"}, {"Bo", "Kim"}}));
}

TEST_F(ByRecord, ARefusedRowIsCountedAndTheOthersArrive) {
    std::vector<tds::Row> rows = numbered(5);
    rows[2][1] = std::nullopt;
    table(kSource, idAndName(), rows);
    table(kTarget, {makeColumn("id", "int"), makeColumn("name", "nvarchar(50)", false)});
    click("cmdCopyTables");
    // The block is refused whole; each row then goes on its own, and only the third is refused again.
    const Inserts in = inserts(kTarget);
    const std::string one = "INSERT INTO QRIX2..Patients (id, name) VALUES (@P1, @P2)";
    EXPECT_EQ(in.sql,
              (std::vector<std::string>{"INSERT INTO QRIX2..Patients (id, name) VALUES (@P1, @P2), (@P3, "
                                        "@P4), (@P5, @P6), (@P7, @P8), (@P9, @P10)",
                                        one, one, one, one, one}));
    EXPECT_EQ(in.rows.size(), 10u);
    rows.erase(rows.begin() + 2);
    EXPECT_EQ(rowsOf(kTarget), rows);
    EXPECT_EQ(logged(), (QStringList{"Patients", "copied 5", "errors 1", "Done copying"}));
}

TEST_F(ByRecord, ColumnsTheTargetCannotTakeAreLeftOutAndCountedOnEveryRow) {
    table(kSource,
          {makeColumn("id", "int"), makeColumn("total", "decimal(10,2)"), makeColumn("ver", "binary(8)")},
          {{"1", "2.50", "0x0000000000000009"}, {"2", "3.00", "0x000000000000000A"}});
    tds::Column total = makeColumn("total", "decimal(10,2)");
    total.computed = true;
    table(kTarget, {makeColumn("id", "int"), total, makeColumn("ver", "rowversion")});
    click("cmdCopyTables");
    EXPECT_EQ(inserts(kTarget).sql,
              std::vector<std::string>{"INSERT INTO QRIX2..Patients (id) VALUES (@P1), (@P2)"});
    // The server fills what it owns: the computed column (NULL in the model) and a fresh rowversion.
    EXPECT_EQ(rowsOf(kTarget), (std::vector<tds::Row>{{"1", std::nullopt, "0x0000000000000001"},
                                                      {"2", std::nullopt, "0x0000000000000002"}}));
    EXPECT_EQ(logged(), (QStringList{"Patients", "copied 2", "errors 4", "Done copying"}));
}

TEST_F(ByRecord, ASourceThatCannotBeOpenedEndsTheLoopAndTheClosingStepsRun) {
    table(kTarget, idAndName()); // the source is not there: the model refuses it with 208
    click("cmdCopyTables");
    EXPECT_EQ(statements(), copyOfPatients());
    EXPECT_EQ(logged(), (QStringList{"Patients", "copied 0", "errors 1", "Done copying"}));
}

TEST_F(ByRecord, StopTickedBeforeThePress) {
    table(kSource, idAndName(), numbered(3));
    table(kTarget, idAndName());
    f().chkStop->setChecked(true);

    // All Tables: not one table is begun.
    f().chkAllTables->setChecked(true);
    click("cmdCopyTables");
    EXPECT_EQ(sent(), std::vector<std::string>{"Use QRIX"});
    EXPECT_EQ(logged(), (QStringList{"Patients", "Done copying"}));
    EXPECT_EQ(f().Grid2->row(), 0);

    // The selected table alone: prepared, no row copied, explicit identity switched off again.
    reset();
    f().chkAllTables->setChecked(false);
    click("cmdCopyTables");
    EXPECT_EQ(statements(), copyOfPatients());
    EXPECT_TRUE(rowsOf(kTarget).empty());
    EXPECT_EQ(logged(), (QStringList{"Patients", "copied 0", "errors 0", "Done copying"}));
    EXPECT_TRUE(f().chkStop->isChecked()); // never cleared by the program
}

TEST_F(ByRecord, ProgressEveryHundredRows) {
    table(kSource, idAndName(), numbered(250));
    table(kTarget, idAndName());
    const bool hiddenBefore = f().lblWorking->isHidden();
    f().lblCnt->setText("17");
    Flips flips(f());
    click("cmdCopyTables");
    EXPECT_EQ(flips.countsAtFlip, (QStringList{"0", "100"})); // at 100 and at 200, each before its caption
    EXPECT_EQ(f().lblCnt->text(), "200");
    EXPECT_EQ(f().lblWorking->isHidden(), hiddenBefore);
    EXPECT_EQ(rowsOf(kTarget), numbered(250));
    EXPECT_EQ(logged(), (QStringList{"Patients", "copied 250", "errors 0", "Done copying"}));
}

TEST_F(ByRecord, AllTablesCopiesEveryTableOfTheBrowserInOrder) {
    browse(QStringList{"Patients", "Wards"});
    table(kSource, idAndName(), numbered(2));
    table(kTarget, idAndName());
    table("QRIX..Wards", idAndName(), numbered(1));
    table("QRIX2..Wards", idAndName());
    f().Grid2->setRow(1);
    f().chkAllTables->setChecked(true);
    click("cmdCopyTables");
    EXPECT_EQ(rowsOf(kTarget), numbered(2));
    EXPECT_EQ(rowsOf("QRIX2..Wards"), numbered(1));
    EXPECT_EQ(logged(), (QStringList{"Wards", "Patients", "copied 2", "errors 0", "Wards", "copied 1",
                                     "errors 0", "Done copying"}));
    EXPECT_EQ(f().Grid2->row(), 1);
}

TEST_F(ByRecord, FullBlocksEndingAtTheLastRowCostOneRoundTripEach) {
    // Two columns: 1,000 rows a block, the most an INSERT's VALUES list holds.
    table(kSource, idAndName(), numbered(2000));
    table(kTarget, idAndName());
    Flips flips(f());
    click("cmdCopyTables");
    EXPECT_EQ(rowsOf(kTarget), numbered(2000));
    EXPECT_EQ(logged(), (QStringList{"Patients", "copied 2000", "errors 0", "Done copying"}));
    EXPECT_EQ(f().lblCnt->text(), "2000");
    EXPECT_EQ(flips.countsAtFlip.size(), 20); // every 100th row, shown at its block's end
    // One statement of 1,000 rows, prepared with the first block and run again for the second; no short
    // block after them.
    std::vector<std::string> executed;
    for (const tds::Event &e : main->rpcs())
        if (e.text.rfind("INSERT", 0) == 0)
            executed.push_back(e.procedure + " " + std::to_string(e.params.size()));
    EXPECT_EQ(executed, (std::vector<std::string>{"sp_prepexec 2000", "sp_execute 2000", "sp_unprepare 0"}));
    // The round trips of the whole press, as the server counted them: Use QRIX; SELECT top 1 ... INTO;
    // truncate table; the source's SELECT * (on the reader's connection); the target's columns (sp_prepare of
    // SELECT TOP 0 *, its release, the catalog read); IDENTITY_INSERT ON; the two blocks; the release of the
    // block's statement; IDENTITY_INSERT OFF.
    EXPECT_EQ(main->roundTrips(), 12u);

    // 2,500 rows: two full blocks and a short one of its own size.
    reset();
    table(kSource, idAndName(), numbered(2500));
    table(kTarget, idAndName());
    click("cmdCopyTables");
    EXPECT_EQ(rowsOf(kTarget), numbered(2500));
    EXPECT_EQ(main->roundTrips(), 14u); // the short block and the release of its statement besides
}

TEST_F(ByRecord, ABlockOfRowsIsOneJournalLineWithTheStatementOfOneRowAndItsRowCount) {
    table(kSource, idAndName(), numbered(2500));
    table(kTarget, idAndName());
    click("cmdCopyTables");
    EXPECT_EQ(rowsOf(kTarget), numbered(2500));
    Journal &journal = w.window().journal();
    ASSERT_TRUE(journal.flush());
    QFile file(journal.fileOf(QDateTime::currentDateTimeUtc().date()));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    // "control | statement | outcome | rows" of the lines of the rows sent.
    QStringList inserts;
    for (const QByteArray &line : file.readAll().split('\n')) {
        const QJsonObject o = QJsonDocument::fromJson(line).object();
        if (o.value("statement").toString().startsWith("INSERT"))
            inserts << QStringLiteral("%1 | %2 | %3 | %4")
                           .arg(o.value("control").toString(), o.value("statement").toString(),
                                o.value("outcome").toString(), QString::number(o.value("rows").toInteger()));
    }
    const QString one = "cmdCopyTables | INSERT INTO QRIX2..Patients (id, name) VALUES (?, ?) | done | ";
    EXPECT_EQ(inserts, (QStringList{one + "1000", one + "1000", one + "500"}));
}

TEST_F(ByRecord, StopIsReadBetweenBlocks) {
    table(kSource, idAndName(), numbered(2500));
    table(kTarget, idAndName());
    // Ticked at the first progress, while the first block's rows are counted: that block is in already.
    struct TickAtFirstFlip : public QObject {
        explicit TickAtFirstFlip(Form &form) : form(form) { form.lblWorking->installEventFilter(this); }
        bool eventFilter(QObject *, QEvent *e) override {
            if (e->type() == QEvent::ShowToParent || e->type() == QEvent::HideToParent)
                form.chkStop->setChecked(true);
            return false;
        }
        Form &form;
    } tick(f());
    click("cmdCopyTables");
    EXPECT_EQ(rowsOf(kTarget), numbered(1000));
    EXPECT_EQ(logged(), (QStringList{"Patients", "copied 1000", "errors 0", "Done copying"}));
    EXPECT_EQ(statements().back(), "SET IDENTITY_INSERT QRIX2.dbo.Patients OFF");
}

// ---- The bulk path: the driver's bulk-copy functions ----------------------------------------------------

namespace {

class ByBulk : public ByRecord {
protected:
    void SetUp() override {
        ByRecord::SetUp();
        w.window().recordCopy().setBulkCopy(true, 100); // batches of 100 rows, so that a test sees several
    }
    // The rows of each bulk load the server received. A load ends with one of no rows (the driver's end of
    // the load after its last batch).
    std::vector<size_t> bulkLoads() {
        std::vector<size_t> out;
        for (const tds::Event &e : main->bulkLoads())
            out.push_back(e.rows);
        return out;
    }
};

} // namespace

TEST_F(ByBulk, EveryBoundTypeArrivesExactThroughThePathThatCarriesIt) {
    // Per type the tool binds: a value, an edge of its range, NULL; and the rows of each bulk load, the
    // closing load of none included. The (max) types, time and datetimeoffset go through the blocks; so does
    // a value the driver would not carry exactly (a date before 1900, char text longer in UTF-8 than the
    // column): the batch ends before its row, which goes with the rest through the blocks.
    struct Case {
        const char *type;
        const char *value;
        const char *edge;
        std::vector<size_t> loads;
    };
    const std::vector<size_t> bulk{3, 0}, blocks{};
    const Case cases[] = {
        {"bit", "1", "0", bulk},
        {"tinyint", "7", "255", bulk},
        {"smallint", "-7", "-32768", bulk},
        {"int", "42", "-2147483648", bulk},
        {"bigint", "42", "-9223372036854775808", bulk},
        {"real", "0.25", "-3.5", bulk},
        {"float", "0.1", "1e+300", bulk},
        {"decimal(18,4)", "-12345678901234.5678", "0.0001", bulk},
        {"numeric(38,10)", "1234567890123456789012345678.1234567891", "-0.0000000001", bulk},
        {"money", "12.3400", "-922337203685477.5808", bulk},
        {"date", "2024-02-29", "1900-01-01", bulk},
        {"date", "2024-02-29", "1899-12-31", {1, 0}},
        {"date", "2024-02-29", "0001-01-01", {1, 0}},
        {"datetime", "1753-01-01 00:00:00.000", "9999-12-31 23:59:59.997", bulk},
        {"datetime2(7)", "2024-02-29 23:59:58.1234567", "9999-12-31 23:59:59.9999999", bulk},
        {"datetime2(7)", "1900-01-01 00:00:00.0000000", "1753-01-01 00:00:00.0000000", {1, 0}},
        {"char(5)", "ab   ", "cafe ", bulk},
        {"char(5)", "ab   ", "café ", {1, 0}},
        {"varchar(20)", "café", "", bulk},
        {"nchar(4)", "Zoë ", "漢字  ", bulk},
        {"nvarchar(50)", "Zoë 漢字", "", bulk},
        {"binary(4)", "0x00ABFF00", "0xFFFFFFFF", bulk},
        {"varbinary(16)", "0x00ABFF", "0x", bulk},
        {"uniqueidentifier", "6F9619FF-8B86-D011-B42D-00C04FC964FF", "00000000-0000-0000-0000-000000000000",
         bulk},
        {"time(7)", "13:14:15.1234567", "00:00:00.0000000", blocks},
        {"datetimeoffset(7)", "2021-03-04 05:06:07.1234567 +05:45", "0001-01-01 00:00:00.0000000 -14:00",
         blocks},
        {"varchar(max)", "long text", "", blocks},
        {"nvarchar(max)", "Zoë", "", blocks},
        {"varbinary(max)", "0x00AB", "0x", blocks},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.type);
        reset();
        const std::vector<tds::Column> columns{identityColumn("id"), makeColumn("v", c.type)};
        const std::vector<tds::Row> rows{{"3", c.value}, {"5", c.edge}, {"8", std::nullopt}};
        table(kSource, columns, rows);
        table(kTarget, columns);
        click("cmdCopyTables");
        EXPECT_EQ(rowsOf(kTarget), rows); // identity values kept
        EXPECT_EQ(bulkLoads(), c.loads);
        EXPECT_EQ(inserts(kTarget).rows.size(), 3u - (c.loads.empty() ? 0 : c.loads[0]));
        EXPECT_EQ(logged(), (QStringList{"Patients", "copied 3", "errors 0", "Done copying"}));
    }
}

TEST_F(ByBulk, ARefusedBatchGoesThroughTheBlocksAndEachRefusedRowCountsOnce) {
    // 250 rows in batches of 100; the second batch holds a NULL the target refuses.
    std::vector<tds::Row> rows = numbered(250);
    rows[149][1] = std::nullopt;
    table(kSource, idAndName(), rows);
    table(kTarget, {makeColumn("id", "int"), makeColumn("name", "nvarchar(50)", false)});
    click("cmdCopyTables");
    // Three batches; the second stored nothing (the driver ends the refused load with one of no rows), its
    // rows went as a block and then one by one.
    EXPECT_EQ(bulkLoads(), (std::vector<size_t>{100, 100, 0, 50, 0}));
    EXPECT_EQ(inserts(kTarget).rows.size(), 200u);
    rows.erase(rows.begin() + 149);
    EXPECT_EQ(rowsOf(kTarget), rows);
    EXPECT_EQ(logged(), (QStringList{"Patients", "copied 250", "errors 1", "Done copying"}));

    // Copy to _NEW2 through the same path: its failure is logged as the blocks log it.
    reset();
    userTables = {};
    std::vector<tds::Row> again = numbered(3);
    again[1][1] = std::nullopt;
    table(kSource, idAndName(), again);
    table("QRIX..Patients_NEW2", {makeColumn("id", "int"), makeColumn("name", "nvarchar(50)", false)});
    click("cmdCopytoNEW");
    EXPECT_EQ(bulkLoads(), (std::vector<size_t>{3, 0})); // refused: the driver ends the load
    EXPECT_EQ(rowsOf("QRIX..Patients_NEW2"), (std::vector<tds::Row>{again[0], again[2]}));
    const QStringList lines = logged();
    ASSERT_GE(lines.size(), 3);
    EXPECT_EQ(lines.mid(lines.size() - 3),
              (QStringList{serverError("Cannot insert the value NULL into column 'name', table "
                                       "'Patients_NEW2'; column does not allow nulls. INSERT fails."),
                           "copied 3", "errors 1"}));
}

TEST_F(ByBulk, AServerThatTakesNoLoadGetsEveryRowThroughTheBlocks) {
    // INSERT BULK refused: the load cannot begin, and the rows go as they would without it.
    main->addFirstRule(
        Rule::pattern("insert bulk .*", Reply::error(4022, "Bulk load data was expected but not sent.")));
    table(kSource, idAndName(), numbered(250));
    table(kTarget, idAndName());
    click("cmdCopyTables");
    EXPECT_TRUE(bulkLoads().empty());
    EXPECT_EQ(inserts(kTarget).rows.size(), 250u);
    EXPECT_EQ(rowsOf(kTarget), numbered(250));
    EXPECT_EQ(logged(), (QStringList{"Patients", "copied 250", "errors 0", "Done copying"}));
}

TEST_F(ByBulk, StopIsReadBetweenBatches) {
    table(kSource, idAndName(), numbered(250));
    table(kTarget, idAndName());
    // Ticked at the first progress, while the first batch's rows are counted: that batch is in already.
    struct TickAtFirstFlip : public QObject {
        explicit TickAtFirstFlip(Form &form) : form(form) { form.lblWorking->installEventFilter(this); }
        bool eventFilter(QObject *, QEvent *e) override {
            if (e->type() == QEvent::ShowToParent || e->type() == QEvent::HideToParent)
                form.chkStop->setChecked(true);
            return false;
        }
        Form &form;
    } tick(f());
    click("cmdCopyTables");
    EXPECT_EQ(bulkLoads(), (std::vector<size_t>{100, 0}));
    EXPECT_EQ(rowsOf(kTarget), numbered(100));
    EXPECT_EQ(logged(), (QStringList{"Patients", "copied 100", "errors 0", "Done copying"}));
    EXPECT_EQ(statements().back(), "SET IDENTITY_INSERT QRIX2.dbo.Patients OFF");
}

TEST_F(ByBulk, ScriptOnlyShowsTheStatementOfARowAndStartsNoLoad) {
    table(kSource, idAndName(), numbered(2));
    table(kTarget, idAndName());
    scriptOnly().setActive(true);
    click("cmdCopyTables");
    scriptOnly().setActive(false);
    const QString script = scriptOnly().script();
    scriptOnly().clear();
    EXPECT_TRUE(bulkLoads().empty());
    EXPECT_TRUE(rowsOf(kTarget).empty());
    EXPECT_TRUE(script.contains("INSERT INTO QRIX2..Patients (id, name) VALUES (?, ?)"))
        << qPrintable(script);
}
