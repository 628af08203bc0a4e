// "Copy to _NEW2" on the real window: the first and the second use for a table, refused rows reported line
// by line, STOP, and the current database that cannot be used.

#include "TableCopyWindow.h"

using namespace quorix;
using namespace quorix::testing;

namespace {

const std::vector<tds::Row> kOrders{{"10", "bandage"}, {"11", "saline"}, {"12", "gauze"}};

class ToNew2 : public TableCopyWindow {
protected:
    void SetUp() override {
        TableCopyWindow::SetUp();
        f().Grid2->setRow(1); // Orders
        table("QRIX..Orders", {identityColumn("id"), makeColumn("item", "nvarchar(40)")}, kOrders);
        table("QRIX..Orders_NEW2", {identityColumn("id"), makeColumn("item", "nvarchar(40)", false)});
    }
};

const std::string kCheck =
    "SELECT * FROM sys.objects WHERE object_id = OBJECT_ID(N'Orders_NEW2') AND type in (N'U')";

} // namespace

TEST_F(ToNew2, FirstAndSecondUse) {
    userTables = {"Orders"};
    click("cmdCopytoNEW");
    const std::vector<std::string> firstUse{"Use QRIX",
                                            "use QRIX",
                                            kCheck,
                                            "select top 1 * from  QRIX..Orders",
                                            "select top  1 * into QRIX..Orders_NEW2  from QRIX..Orders",
                                            "SET IDENTITY_INSERT dbo.Orders_NEW2 ON",
                                            "truncate table QRIX..Orders_NEW2  ",
                                            "SELECT * FROM QRIX..Orders",
                                            "SET IDENTITY_INSERT dbo.Orders_NEW2 OFF"};
    EXPECT_EQ(statements(), firstUse);
    EXPECT_EQ(rowsOf("QRIX..Orders_NEW2"), kOrders); // with the source's identity values
    EXPECT_EQ(logged(), (QStringList{"Orders", "copied 3", "errors 0"}));

    // The second time the earlier copy is dropped first.
    reset();
    userTables = {"Orders", "Orders_NEW2"};
    click("cmdCopytoNEW");
    std::vector<std::string> secondUse = firstUse;
    secondUse.insert(secondUse.begin() + 3, "drop table QRIX..Orders_NEW2 ");
    EXPECT_EQ(statements(), secondUse);
    EXPECT_EQ(logged(), (QStringList{"Orders", "copied 3", "errors 0"}));
}

TEST_F(ToNew2, RefusedRowsAreLoggedOneByOneAndStopLeavesTheCopyEmpty) {
    table("QRIX..Orders", {identityColumn("id"), makeColumn("item", "nvarchar(40)")},
          {{"10", "bandage"}, {"11", std::nullopt}, {"12", "gauze"}});
    click("cmdCopytoNEW");
    EXPECT_EQ(rowsOf("QRIX..Orders_NEW2"), (std::vector<tds::Row>{{"10", "bandage"}, {"12", "gauze"}}));
    EXPECT_EQ(logged(), (QStringList{"Orders",
                                     serverError("Cannot insert the value NULL into column 'item', table "
                                                 "'Orders_NEW2'; column does not allow nulls. INSERT fails."),
                                     "copied 3", "errors 1"}));

    // STOP ticked: the new table is made and left empty. All Tables is not consulted.
    reset();
    f().chkStop->setChecked(true);
    f().chkAllTables->setChecked(true);
    click("cmdCopytoNEW");
    EXPECT_TRUE(rowsOf("QRIX..Orders_NEW2").empty()); // emptied by its truncate, and no row copied
    EXPECT_EQ(statements().front(), "Use QRIX");
    EXPECT_EQ(statements().back(), "SET IDENTITY_INSERT dbo.Orders_NEW2 OFF");
    EXPECT_EQ(logged(), (QStringList{"Orders", "copied 0", "errors 0"}));
}

TEST_F(ToNew2, ADatabaseThatCannotBeUsedEndsTheClickAfterItsLine) {
    main->setDatabases({"master", "Billing"});
    click("cmdCopytoNEW");
    EXPECT_EQ(sent(), (std::vector<std::string>{"Use QRIX", "use QRIX"}));
    const QStringList lines = logged();
    ASSERT_EQ(lines.size(), 3);
    EXPECT_EQ(lines[0], "Orders");
    EXPECT_TRUE(lines[1].endsWith(" Use QRIX")) << lines[1].toStdString();
    EXPECT_TRUE(lines[2].startsWith(serverError("Database 'QRIX' does not exist.")));
    EXPECT_TRUE(lines[2].endsWith(" use QRIX")) << lines[2].toStdString();

    // Without a selected table nothing is sent.
    reset();
    f().Grid2->setRow(-1);
    click("cmdCopytoNEW");
    EXPECT_TRUE(sent().empty());
    EXPECT_EQ(logged(), QStringList{"No table selected"});
}
