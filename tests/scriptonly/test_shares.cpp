// Script only where files are involved, through real Samba to Main's share and a scripted Main:
// "Restore ALL to Main" run for real and then as a dry run, and a renaming button whose renames are
// collected as comment lines and not done.

#include "DryRun.h"
#include "RestoreWindow.h"

#include <QCoreApplication>

using namespace quorix;
using namespace quorix::testing;

namespace {

const Files kBilling = {{"Billing_Data", "E:\\SQLData\\Billing.mdf"},
                        {"Billing_Log", "E:\\SQLLog\\Billing_log.ldf"}};

class SharesDryRun : public RestoreWindow {};

} // namespace

TEST_F(SharesDryRun, RestoreAllToMain) {
    for (const char *n : {"Billing.bak", "Radiology.bak"})
        put(n);
    backups = {{"p:\\backup\\Billing.bak", kBilling},
               {"p:\\backup\\Radiology.bak", {{"Radiology", "D:\\data\\Radiology.mdf"}}}};
    start();
    click("cmdRestoreMain");
    const std::vector<std::string> real = sent();
    ASSERT_EQ(real.size(), 6u) << "file list, restore, list, twice";

    main->clearRecord();
    {
        std::lock_guard lock(dbsMutex);
        dbs.clear();
    }
    f().chkScriptOnly->setChecked(true);
    click("cmdRestoreMain");
    f().chkScriptOnly->setChecked(false);
    expectDryRunMatches(real, sent(), collectedFor("Main"), "Main");
    EXPECT_EQ(
        collectedFor("Main"),
        (std::vector<std::string>{
            "RESTORE DATABASE  Billing FROM DISK = 'p:\\backup\\Billing.bak' With   MOVE  'Billing_Data' TO "
            "'G:\\db\\Billing.mdf',  MOVE  'Billing_Log' TO 'G:\\db\\Billing_log.ldf',  Replace ",
            "RESTORE DATABASE  Radiology FROM DISK = 'p:\\backup\\Radiology.bak' With   MOVE  'Radiology' "
            "TO 'H:\\db\\Radiology.mdf',  Replace "}));
}

class RenamesDryRun : public RestoreWindow {
protected:
    bool withServer() const override { return false; }
};

TEST_F(RenamesDryRun, RenamesAreCommentLinesAndTheFilesKeepTheirNames) {
    put("Billing_20150312.bak");
    start();
    f().chkScriptOnly->setChecked(true);
    click("cmdRename");
    QCoreApplication::processEvents(); // the line of a rename aside is written on the window's thread
    f().chkScriptOnly->setChecked(false);
    EXPECT_EQ(namesIn(shared()), (std::vector<std::string>{"Billing_20150312.bak", "MIR"}));
    const std::vector<ScriptOnly::Item> items = scriptOnly().items();
    ASSERT_EQ(items.size(), 1u) << logged().join('\n').toStdString();
    EXPECT_TRUE(items[0].fileOperation);
    EXPECT_EQ(items[0].text,
              "rename \\\\127.0.0.2\\backup\\Billing_20150312.bak to \\\\127.0.0.2\\backup\\Billing.bak");
    EXPECT_TRUE(logged().contains("Not done (Script only): " + items[0].text))
        << logged().join('\n').toStdString();
    EXPECT_TRUE(scriptOnly().script().contains("-- file, ")) << scriptOnly().script().toStdString();

    // Unticked, the same button renames.
    click("cmdRename");
    EXPECT_EQ(namesIn(shared()), (std::vector<std::string>{"Billing.bak", "MIR"}));
}
