// The renaming buttons on the real window: "Rename bak files (remove date)" on Main's share through Samba,
// "Rename files " on the restore folder given as a share, a mapped drive or a local folder.

#include "RestoreWindow.h"

#include <QTemporaryDir>
#include <fstream>

using namespace quorix;
using namespace quorix::testing;

namespace {

class Renames : public RestoreWindow {
protected:
    bool withServer() const override { return false; }
};

const QString kShare = "\\\\127.0.0.2\\backup\\";

} // namespace

TEST_F(Renames, RemoveDateCutsAtTheFirstDateAndASecondRunChangesNothing) {
    for (const char *name : {"Accounting_2012.bak", "Billing_20150312_0100.trn.bak", "Cardio_1989.bak",
                             "Lab_20260101.bak", "Pay_2019_20150312.bak", "Radiology.bak"})
        put(name);
    start();
    click("cmdRename");
    EXPECT_EQ(namesIn(shared()),
              (std::vector<std::string>{"Accounting_2012.bak", "Billing.bak", "Cardio_1989.bak", "Lab.bak",
                                        "MIR", "Pay_2019.bak", "Radiology.bak"}));
    EXPECT_EQ(logged(), (QStringList{kShare + "Billing_20150312_0100.trn.bak", kShare + "Billing.bak",
                                     kShare + "Lab_20260101.bak", kShare + "Lab.bak",
                                     kShare + "Pay_2019_20150312.bak", kShare + "Pay_2019.bak"}));
    EXPECT_EQ(f().File1->entries(), (QStringList{"Accounting_2012.bak", "Billing.bak", "Cardio_1989.bak",
                                                 "Lab.bak", "Pay_2019.bak", "Radiology.bak"}));
    EXPECT_TRUE(Prompt::shown().isEmpty());

    f().txtLog->clear();
    click("cmdRename");
    EXPECT_TRUE(logged().isEmpty());
    EXPECT_EQ(namesIn(shared()).size(), 7u);
}

TEST_F(Renames, TwoFilesShorteningToOneNameEndTheRunWithTheError) {
    for (const char *name : {"Billing_20150101.bak", "Billing_20160101.bak", "Zeta_20150101.bak"})
        put(name);
    start();
    click("cmdRename");
    EXPECT_EQ(namesIn(shared()),
              (std::vector<std::string>{"Billing.bak", "Billing_20160101.bak", "MIR", "Zeta_20150101.bak"}));
    ASSERT_EQ(Prompt::shown().size(), 1);
    EXPECT_TRUE(Prompt::shown()[0].startsWith("Cannot rename " + kShare + "Billing_20160101.bak"))
        << Prompt::shown()[0].toStdString();
    EXPECT_EQ(logged().size(), 4) << "the failed rename is logged before it is tried";
    EXPECT_EQ(f().File1->entries(),
              (QStringList{"Billing.bak", "Billing_20160101.bak", "Zeta_20150101.bak"}));
}

// The same files in each kind of folder: Main's share, the share mapped to X:, a local folder.
TEST_F(Renames, RenameFilesCutsAtTheSeparatorInAnyFolder) {
    start();
    click("cmdNetworkConnect(0)");
    ASSERT_TRUE(Prompt::shown().isEmpty()) << Prompt::shown().join('|').toStdString();
    QTemporaryDir local;
    struct Place {
        QString typed, shown; // the folder box before and after the press
        std::function<void(const char *)> put;
        std::filesystem::path folder;
    };
    const std::vector<Place> places = {
        {"\\\\127.0.0.2\\backup\\MIR", "\\\\127.0.0.2\\backup\\MIR\\",
         [](const char *n) { put(std::string("MIR/") + n); }, shared("MIR")},
        {"x:\\MIR\\", "x:\\MIR\\", [](const char *n) { put(std::string("MIR/") + n); }, shared("MIR")},
        {local.path(), local.path() + "\\",
         [&](const char *n) { std::ofstream(local.path().toStdString() + "/" + n) << "x"; },
         local.path().toStdString()},
    };
    for (const Place &p : places) {
        SCOPED_TRACE(p.typed.toStdString());
        samba().clearShares();
        for (const char *n : {"Billing_2015.03.bak", "Lab.bak", "Pay_roll_2016.bak", "Pay_roll_2016.mdf",
                              "Pay_roll_2016_log.ldf"})
            p.put(n);
        f().txtLog->clear();
        f().txtRestoreDir->setText(p.typed);
        click("cmdRenameDir(0)");
        EXPECT_EQ(f().txtRestoreDir->text(), p.shown);
        EXPECT_EQ(logged(), (QStringList{p.shown + "Billing_2015.03.bak", p.shown + "Billing.03.bak",
                                         p.shown + "Pay_roll_2016.bak", p.shown + "Pay_roll.bak"}));
        EXPECT_EQ(f().File2[0]->entries(), (QStringList{"Billing.03.bak", "Lab.bak", "Pay_roll.bak"}));
        // The attach list's files, cut before their first dot too.
        click("cmdRenameDir(1)");
        EXPECT_EQ(f().File2[1]->entries(), (QStringList{"Pay_roll.ldf", "Pay_roll.mdf"}));
        EXPECT_EQ(namesIn(p.folder), (std::vector<std::string>{"Billing.03.bak", "Lab.bak", "Pay_roll.bak",
                                                               "Pay_roll.ldf", "Pay_roll.mdf"}));
        f().txtLog->clear();
        click("cmdRenameDir(0)");
        EXPECT_TRUE(logged().isEmpty()) << "a second run changes nothing";
        EXPECT_TRUE(Prompt::shown().isEmpty()) << Prompt::shown().join('|').toStdString();
    }
}

TEST_F(Renames, NoSeparatorNoFolderAndASeparatorAfterTheDotAreSaid) {
    for (const char *n : {"A_2015.bak", "B.x_2015.bak", "C_2015.bak"})
        put(std::string("MIR/") + n);
    start();
    f().txtRestoreDir->setText(kShare + "MIR\\");
    f().txtSeparator->clear();
    click("cmdRenameDir(0)");
    f().txtSeparator->setText("_201");
    f().txtRestoreDir->clear();
    click("cmdRenameDir(0)");
    EXPECT_EQ(
        Prompt::shown(),
        (QStringList{"Nothing was renamed: give the text at which the names are cut (for example _2015).",
                     "Nothing was renamed: give the folder of the files first."}));
    EXPECT_TRUE(logged().isEmpty());
    EXPECT_EQ(f().txtRestoreDir->text(), "") << "no backslash for an empty box";

    // The separator only after the first dot of B: A is renamed, then the run ends before C.
    Prompt::clearShown();
    f().txtRestoreDir->setText(kShare + "MIR\\");
    click("cmdRenameDir(0)");
    EXPECT_EQ(
        Prompt::shown(),
        QStringList{"Cannot rename B.x_2015.bak: \"_201\" comes after its first dot, so there is no date "
                    "to cut before it."});
    EXPECT_EQ(namesIn(shared("MIR")), (std::vector<std::string>{"A.bak", "B.x_2015.bak", "C_2015.bak"}));
    EXPECT_EQ(f().File2[0]->entries(), (QStringList{"A.bak", "B.x_2015.bak", "C_2015.bak"}));
}
