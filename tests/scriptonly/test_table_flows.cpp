// Script only on the table tools: Truncate with All Tables and Copy table by record, each run for real and
// then as a dry run against the same scripted Main; the dry run sends only reads and collects the rest.

#include "DryRun.h"
#include "TableCopyWindow.h"

#include <QCheckBox>

using namespace quorix;
using namespace quorix::testing;

namespace {

class TableDryRuns : public TableCopyWindow {
protected:
    void compare(const std::function<void()> &prepare, const std::function<void()> &flow) {
        prepare();
        reset();
        flow();
        real = sent();
        realRpcs = main->rpcs().size();
        prepare();
        reset();
        f().chkScriptOnly->setChecked(true);
        flow();
        dryRun = sent();
        dryRunRpcs = main->rpcs();
        collected = collectedFor("Main");
        dryRunLog = logged();
        for (const ScriptOnly::Item &item : scriptOnly().items())
            if (item.prepared)
                preparedComments.push_back(item.prepared->comment().toStdString());
        f().chkScriptOnly->setChecked(false);
    }
    std::vector<std::string> real, dryRun, collected;
    std::vector<std::string> preparedComments;
    QStringList dryRunLog;
    size_t realRpcs = 0;
    std::vector<tds::Event> dryRunRpcs;
};

} // namespace

TEST_F(TableDryRuns, TruncateWithAllTables) {
    f().chkAllTables->setChecked(true);
    compare([] {}, [this] { click("cmdTruncate"); });
    EXPECT_EQ(real, (std::vector<std::string>{"Use QRIX", "Truncate Table   Patients ",
                                              "Truncate Table   Orders ", "Truncate Table   Wards "}));
    expectDryRunMatches(real, dryRun, collected, "Main");
    EXPECT_EQ(dryRun, std::vector<std::string>{"Use QRIX"});
}

TEST_F(TableDryRuns, CopyTableByRecord) {
    const auto prepare = [this] {
        table("QRIX..Patients", {identityColumn("id"), makeColumn("name", "nvarchar(50)")},
              {{"1", "Ann"}, {"2", "Bob"}, {"3", "Cy"}});
        table("QRIX2..Patients", {identityColumn("id"), makeColumn("name", "nvarchar(50)")});
    };
    compare(prepare, [this] { click("cmdCopyTables"); });
    ASSERT_GE(realRpcs, 3u); // the rows went in through the prepared INSERT
    EXPECT_EQ(rowsOf("QRIX2..Patients").size(), 0u) << "the dry run inserted nothing";

    // The prepared INSERT is collected once, with its text first; the batches compare as for any flow.
    std::vector<std::string> batchesCollected;
    int inserts = 0;
    for (const std::string &c : collected)
        c.find("INSERT INTO QRIX2..Patients (") != std::string::npos ? static_cast<void>(++inserts)
                                                                     : batchesCollected.push_back(c);
    EXPECT_EQ(inserts, 1);
    // Every row went to the collected statement as if it had been written; nothing failed.
    ASSERT_EQ(preparedComments.size(), 1u);
    EXPECT_EQ(
        preparedComments[0].rfind("-- prepared (int, nvarchar(50)); executed 3 times; first values: 1, ", 0),
        0u)
        << preparedComments[0];
    EXPECT_TRUE(dryRunLog.contains("errors 0")) << dryRunLog.join('\n').toStdString();
    expectDryRunMatches(real, dryRun, batchesCollected, "Main");
    for (const tds::Event &e : dryRunRpcs)
        EXPECT_EQ(e.text.find("INSERT"), std::string::npos) << "sent in the dry run: " << e.text;
    EXPECT_TRUE(std::find(batchesCollected.begin(), batchesCollected.end(),
                          "SELECT top 1 * INTO QRIX2..Patients FROM QRIX..Patients") !=
                batchesCollected.end());
}
