// The anonymizer of the real program on the T-SQL engine as Mirror: a keyed table walked in blocks (names
// replaced from the lists, every other column untouched; a test run changes nothing), and a table without a
// key, whose record-by-record walk needs an updatable server cursor the engine does not have: the tool
// shows the engine's refusal and leaves every record as it was.

#include "EngineFlow.h"

#include <set>

using namespace quorix::testing;
using namespace quorix::testing::engine;

namespace {

constexpr int kPeople = 2500;

class EngineAnonymizer : public EngineFlow {
protected:
    // qrix..people: id, surname, given name, a date and a note; every name "orig".
    void people(bool keyed) {
        EngineDb qrix("qrix");
        qrix.run(std::string("CREATE TABLE people (id int") + (keyed ? " PRIMARY KEY" : " NOT NULL") +
                 ", last nvarchar(50), first nvarchar(50), born date, note nvarchar(50))");
        for (int from = 1; from <= kPeople; from += 500) {
            std::string sql = "INSERT INTO people VALUES ";
            for (int i = from; i < from + 500; ++i)
                sql += (i > from ? ", (" : "(") + std::to_string(i) + ", N'orig', N'orig', '1970-01-" +
                       std::to_string(i % 28 + 10) + "', N'n\xC3\xB6te " + std::to_string(i) + "')";
            qrix.run(sql);
        }
    }
    // The name lists the program starts with, line by line.
    std::set<std::string> lines(const QString &box) {
        const ToolRun r = run({"--print", box});
        std::set<std::string> out;
        for (const QString &line : r.out.split('\n'))
            if (!line.trimmed().isEmpty())
                out.insert(line.trimmed().toStdString());
        return out;
    }
    ToolRun anonymize(const QStringList &more = {}) {
        return run(QStringList{"--answer", "yes", "--set", "txtATables=qrix..people last first"} + more +
                       QStringList{"--click", "cmdAnonymize"},
                   true);
    }
};

} // namespace

TEST_F(EngineAnonymizer, AKeyedTablesNamesAreReplacedFromTheListsAndNothingElseChanges) {
    people(true);
    const std::vector<TextRow> before = everyRow("qrix", "people");

    // The test run visits the first record and writes nothing.
    ToolRun r = anonymize({"--set", "chkTestRun=1"});
    EXPECT_EQ(r.status, 0) << r.out.toStdString() << r.err.toStdString();
    EXPECT_EQ(everyRow("qrix", "people"), before);

    r = anonymize({"--set", "chkTestRun=0"});
    EXPECT_EQ(r.status, 0) << r.out.toStdString() << r.err.toStdString();
    EXPECT_TRUE(r.out.contains("done.")) << r.out.toStdString();
    const std::set<std::string> surnames = lines("txtLastNames"), given = lines("txtFirstnames");
    const std::vector<TextRow> after = everyRow("qrix", "people");
    ASSERT_EQ(after.size(), before.size());
    for (size_t i = 0; i < after.size(); ++i) {
        ASSERT_TRUE(after[i][1] && surnames.count(*after[i][1]))
            << "row " << i + 1 << " " << after[i][1].value_or("NULL");
        ASSERT_TRUE(after[i][2] && given.count(*after[i][2]))
            << "row " << i + 1 << " " << after[i][2].value_or("NULL");
        EXPECT_EQ(after[i][0], before[i][0]);
        EXPECT_EQ(after[i][3], before[i][3]);
        EXPECT_EQ(after[i][4], before[i][4]);
    }
}

TEST_F(EngineAnonymizer, ATableWithoutAKeyIsRefusedByTheEngineAndLeftWhole) {
    people(false);
    const std::vector<TextRow> before = everyRow("qrix", "people");
    const ToolRun r = anonymize();
    // The prompt that asks whether to go on carries the engine's refusal of the updatable cursor.
    EXPECT_TRUE(r.out.contains("Continue?")) << r.out.toStdString() << r.err.toStdString();
    EXPECT_EQ(everyRow("qrix", "people"), before);
}
