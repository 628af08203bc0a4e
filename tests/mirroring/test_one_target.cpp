// One database per step on the real window through the real driver: a click on another database while the
// step's first statement is held by the scripted server leaves every statement of the step on the first
// database (and a folder typed meanwhile leaves its backup files where they were); a walk's next step takes
// what the walk gives it, and a single press's click names the database of the next press.

#include "HeldRequest.h"
#include "MirroringWindow.h"

#include <QCheckBox>
#include <QLineEdit>

using namespace quorix;
using namespace quorix::testing;
using tds::Reply;
using tds::Rule;

namespace {

using Batches = std::vector<std::string>;

std::string clearConnections(const std::string &db) {
    return clearConnectionsWith("'" + db + "'");
}
Batches makeOnline(const std::string &db) {
    return {"ALTER DATABASE " + db + " SET PARTNER OFF ", "RESTORE DATABASE " + db + " WITH RECOVERY  ",
            "ALTER DATABASE " + db + " SET RECOVERY FULL"};
}
Batches backup(const std::string &db, const std::string &folder = "p:\\backup\\MIR\\") {
    return {"BACKUP DATABASE " + db + " TO DISK = '" + folder + db + ".BAK'   WITH FORMAT",
            "BACKUP Log  " + db + " TO DISK = '" + folder + db + "_log.BAK'   WITH FORMAT"};
}
Batches concat(std::initializer_list<Batches> parts) {
    Batches out;
    for (const auto &p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}
// One pass of Drop ALL on the Mirror: its top database's connections cleared, Make Online on each
// database named (the pass's own, or with ALL DBS each of the list), then the drop.
Batches dropPass(const std::string &top, const std::vector<std::string> &madeOnline,
                 const std::string &dropped) {
    Batches b{clearConnections(top)};
    for (const auto &db : madeOnline)
        b = concat({b, makeOnline(db)});
    b.push_back("DROP DATABASE " + dropped + " ");
    return b;
}

struct Case {
    const char *name;
    QString button;
    bool allDbs;
    std::string held; // the first statement of the first step, held while the click comes
    QString clicked;  // the database clicked meanwhile, on the list of the button's slot
    Batches expected; // what the button's server receives, the list queries left out
};

const std::vector<Case> &cases() {
    static const std::vector<Case> all{
        {"Make Online", "cmdMakeOnline(1)", false, makeOnline("Billing")[0], "Payroll",
         makeOnline("Billing")},
        {"Make Online, ALL DBS", "cmdMakeOnline(1)", true, makeOnline("Billing")[0], "Radiology",
         concat({makeOnline("Billing"), makeOnline("Payroll"), makeOnline("Radiology")})},
        {"Set Partner",
         "cmdSetPartner(1)",
         false,
         "ALTER DATABASE [Billing] SET PARTNER = 'TCP://127.0.0.2:5024'  ",
         "Payroll",
         {"ALTER DATABASE [Billing] SET PARTNER = 'TCP://127.0.0.2:5024'  ",
          "ALTER DATABASE [Billing] SET PARTNER SAFETY OFF  "}},
        {"Backup", "cmdBackup(1)", false, backup("Billing")[0], "Payroll", backup("Billing")},
        {"Backup, ALL DBS", "cmdBackup(1)", true, backup("Billing")[0], "Radiology",
         // The folder typed during Billing's step counts from the next.
         concat({backup("Billing"), backup("Payroll", "e:\\elsewhere\\"),
                 backup("Radiology", "e:\\elsewhere\\")})},
        {"Restore",
         "cmdRestore(1)",
         false,
         " RESTORE FILELISTONLY  FROM DISK = 'p:\\backup\\MIR\\Billing.bak' WITH FILE = 1",
         "Payroll",
         {" RESTORE FILELISTONLY  FROM DISK = 'p:\\backup\\MIR\\Billing.bak' WITH FILE = 1",
          "RESTORE DATABASE  Billing FROM DISK = 'p:\\backup\\MIR\\Billing.bak' With    MOVE  'Billing_Data' "
          "TO "
          "'F:\\db\\Billing.mdf',  NORECOVERY   ",
          "RESTORE LOG  Billing FROM DISK = 'p:\\backup\\MIR\\Billing_log.bak' With   MOVE  'Billing_Data' "
          "TO "
          "'F:\\db\\Billing.mdf',  NORECOVERY  "}},
        {"Drop ALL", "cmdDropAll(1)", false, clearConnections("Billing"), "Radiology",
         concat({dropPass("Billing", {"Billing"}, "Billing"), dropPass("Payroll", {"Payroll"}, "Payroll"),
                 dropPass("Radiology", {"Radiology"}, "Radiology")})},
        {"Drop ALL, ALL DBS", "cmdDropAll(1)", true, clearConnections("Billing"), "Payroll",
         concat({dropPass("Billing", {"Billing", "Payroll", "Radiology"}, "Radiology"),
                 dropPass("Billing", {"Billing", "Payroll"}, "Payroll"),
                 dropPass("Billing", {"Billing"}, "Billing")})},
    };
    return all;
}

class OneTarget : public MirroringWindow {
protected:
    void SetUp() override {
        MirroringWindow::SetUp();
        mainDbs.set({"Billing", "Payroll", "Radiology"});
        mirrorDbs.set({"Billing", "Payroll", "Radiology"});
        // A dropped database leaves the Mirror's list.
        mirror->addRule(Rule::callback(
            [this](const std::string &text, const tds::ConnectionState &) -> std::optional<Reply> {
                mirrorDbs.remove(text.substr(14, text.size() - 15));
                return Reply::done();
            },
            "DROP DATABASE .* "));
        const tds::ResultSet files{{tds::makeColumn("LogicalName", "nvarchar(128)"),
                                    tds::makeColumn("PhysicalName", "nvarchar(260)"),
                                    tds::makeColumn("Type", "char(1)")},
                                   {{"Billing_Data", "E:\\SQLData\\Billing.mdf", "D"}}};
        mirror->addRule(Rule::pattern(" RESTORE FILELISTONLY .*", Reply::rows(files)));
        w.preset("txtRestoreTO", "DB3", "F");
        start();
    }
};

} // namespace

// Each button's first step is held at its first statement while another database is clicked on the list
// (and, for the backup files, another folder typed): the click names the box at once, the step goes on
// with its own database, and a walk's next steps take the list's next rows.
TEST_F(OneTarget, AClickDuringAStepChangesNothingOfTheStep) {
    for (const Case &c : cases()) {
        SCOPED_TRACE(c.name);
        mirrorDbs.set({"Billing", "Payroll", "Radiology"});
        click("cmdRefreshDB(1)");
        resetRecord();
        f().txtDB->setText("Billing");
        f().txtBackupDrive->setText("p:\\backup\\MIR\\");
        f().chkALL->setChecked(c.allDbs);
        HeldRequest held(*mirror, c.held, [&] {
            ASSERT_TRUE(clickRow(f().GridDB[1], c.clicked));
            EXPECT_EQ(f().txtDB->text(), c.clicked) << "the click names the next step's database";
            f().txtBackupDrive->setText("e:\\elsewhere\\");
        });
        click(c.button);
        EXPECT_TRUE(held.wasHeld());
        EXPECT_EQ(sent(1, false), c.expected);
        EXPECT_TRUE(sent(0, false).empty());
    }
}

// The database clicked during a single press is the one the next press acts on.
TEST_F(OneTarget, TheDatabaseClickedDuringAPressIsTheNextPresss) {
    f().txtDB->setText("Billing");
    HeldRequest held(*mirror, makeOnline("Billing")[0],
                     [&] { ASSERT_TRUE(clickRow(f().GridDB[1], "Payroll")); });
    click("cmdMakeOnline(1)");
    ASSERT_TRUE(held.wasHeld());
    EXPECT_EQ(sent(1, false), makeOnline("Billing"));
    resetRecord();
    click("cmdMakeOnline(1)");
    EXPECT_EQ(sent(1, false), makeOnline("Payroll"));
}

// Detach All takes each step's database from the walk: a link dropped by the first detach is reconnected
// before the next step, and a database clicked as "Reconnected." is logged (the log lets the window's
// events run) does not change the database that step detaches.
TEST_F(OneTarget, DetachAllDetachesTheWalksDatabaseWhenAClickComesAtTheReconnect) {
    const auto detach = [](const std::string &db) { return "EXEC sp_detach_db '" + db + "','true'"; };
    mirror->addFirstRule(Rule::exact(detach("Billing"), Reply::drop()));
    whenLogged("Reconnected.", [&] { ASSERT_TRUE(clickRow(f().GridDB[1], "Radiology")); });
    click("cmdDetachAll");
    EXPECT_EQ(sent(1, false), (Batches{detach("Billing"), detach("Payroll"), detach("Radiology")}));
    EXPECT_TRUE(log().contains("Reconnected.")) << log().join('\n').toStdString();
    EXPECT_EQ(mirror->logins().size(), 1u) << "one login: the reconnect";
}
