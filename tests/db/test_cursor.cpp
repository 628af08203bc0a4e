// The updatable cursor through the real FreeTDS driver into the scripted server's table model: a walk
// that reads fields by name, writes some records back and cancels one, ends with exactly those rows in
// the table and no cursor left on the server; a connection dropped during an execution fails with a
// DbError instead of hanging.

#include "DbTestSupport.h"
#include "core/db/PreparedStatement.h"
#include "core/db/ServerConnection.h"
#include "core/db/UpdatableCursor.h"
#include "tds/TableModel.h"

#include <algorithm>
#include <functional>
#include <gtest/gtest.h>

using namespace quorix;
using namespace quorix::testing;
using tds::makeColumn;
using tds::Reply;
using tds::Row;
using tds::Rule;

namespace {

class CursorTest : public ::testing::Test {
protected:
    void SetUp() override {
        server = startServer("127.0.0.2", "pw");
        auto id = makeColumn("id", "int", false);
        id.identity = true;
        server->tables().set("Billing..people",
                             {id, makeColumn("LastName", "nvarchar(20)"),
                              makeColumn("FirstName", "varchar(10)"),
                              makeColumn("MiddleName", "nvarchar(20)")},
                             {{"1", "Drake", "Noah", "A"},
                              {"2", "Dean", std::nullopt, "B"},
                              {"3", "", "Liam", "C"},
                              {"4", "Galvan", "Mason", std::nullopt},
                              {"5", "Sullivan", "Jacob", "E"}});
        session.open(clearTarget(*server, "pw"));
    }

    // The statements recorded, the cursor's name written as <c>.
    std::vector<std::string> statements(const QString &cursor) const {
        std::vector<std::string> out;
        for (std::string s : server->statements()) {
            for (auto p = s.find(cursor.toStdString()); p != std::string::npos;
                 p = s.find(cursor.toStdString()))
                s.replace(p, static_cast<size_t>(cursor.size()), "<c>");
            out.push_back(s);
        }
        return out;
    }

    std::unique_ptr<tds::ScriptedServer> server;
    ServerConnection session;
};

} // namespace

TEST_F(CursorTest, AWalkWritesTheAssignedFieldsOfEveryRecordButTheCancelledOne) {
    struct Step {
        QVariant lastName, firstName; // invalid: not assigned
        bool cancel;
        QVariant readFirstName; // what the record holds before the assignment
    };
    // Longer names than the old ones; record 2 has a NULL first name; record 4 is cancelled.
    const Step steps[] = {
        {"Martinez-Ortega", "Christophe", false, "Noah"},
        {"Oyelaran", QVariant(), false, QVariant()},
        {QVariant(), "Annabelle", false, "Liam"},
        {"Unwritten", "Nobody", true, "Mason"},
        {QString::fromUtf8("\xC3\x98stergaard"), "Wilhelmina", false, "Jacob"},
    };
    QString name;
    {
        UpdatableCursor t(session, QStringLiteral("Billing..people"));
        name = t.cursorName();
        EXPECT_EQ(t.recordCount(), 5);
        EXPECT_EQ(t.fieldNames(), (QStringList{"id", "LastName", "FirstName", "MiddleName"}));
        int n = 0;
        for (; !t.eof(); t.moveNext(), ++n) {
            const Step &s = steps[n];
            ASSERT_EQ(t.field(QStringLiteral("ID")).toInt(), n + 1);
            EXPECT_EQ(t.field(QStringLiteral("firstname")), s.readFirstName) << n;
            if (s.lastName.isValid())
                t.setField(QStringLiteral("LastName"), s.lastName);
            if (s.firstName.isValid())
                t.setField(QStringLiteral("FirstName"), s.firstName);
            if (s.firstName.isValid())
                EXPECT_EQ(t.field(QStringLiteral("FirstName")), s.firstName); // pending, as assigned
            if (s.cancel) {
                t.cancelUpdate();
                EXPECT_EQ(t.field(QStringLiteral("FirstName")), s.readFirstName);
            }
            t.update(); // after a cancel: nothing pending, nothing sent
        }
        EXPECT_EQ(n, 5);
        EXPECT_THROW(t.moveNext(), DbError);
        EXPECT_THROW(t.field(QStringLiteral("id")), DbError);
    }
    EXPECT_EQ(server->tables().rows("Billing..people"),
              (std::vector<Row>{{"1", "Martinez-Ortega", "Christophe", "A"},
                                {"2", "Oyelaran", std::nullopt, "B"},
                                {"3", "", "Annabelle", "C"},
                                {"4", "Galvan", "Mason", std::nullopt},
                                {"5", "\xC3\x98stergaard", "Wilhelmina", "E"}}));
    EXPECT_EQ(server->tables().openCursors(), 0);

    const std::vector<std::string> sent = statements(name);
    ASSERT_FALSE(sent.empty());
    EXPECT_EQ(sent.front(), "IF EXISTS (SELECT * FROM Billing.sys.indexes WHERE object_id = "
                            "OBJECT_ID(N'Billing..people') AND is_unique = 1 AND has_filter = 0 AND "
                            "is_disabled = 0 AND is_hypothetical = 0)\n"
                            "DECLARE <c> CURSOR GLOBAL KEYSET OPTIMISTIC FOR SELECT * FROM Billing..people\n"
                            "ELSE\n"
                            "DECLARE <c> CURSOR GLOBAL DYNAMIC OPTIMISTIC FOR SELECT * FROM Billing..people\n"
                            "OPEN <c>\n"
                            "SELECT COUNT_BIG(*) FROM Billing..people");
    EXPECT_EQ(sent.back(), "IF CURSOR_STATUS('global', N'<c>') >= -1 DEALLOCATE <c>");
    EXPECT_EQ(std::count(sent.begin(), sent.end(), "FETCH NEXT FROM <c>"), 6); // five records and the end
    EXPECT_EQ(std::count(sent.begin(), sent.end(), "SELECT @@FETCH_STATUS"), 1);

    // One prepared statement per set of assigned columns, values as typed parameters.
    struct Update {
        const char *procedure, *text, *declarations;
        std::vector<tds::Value> values;
    };
    const Update expected[] = {
        {"sp_prepexec",
         "UPDATE Billing..people SET LastName = @P1, FirstName = @P2 WHERE CURRENT OF <c>",
         "@P1 NVARCHAR(20),@P2 VARCHAR(10)",
         {"Martinez-Ortega", "Christophe"}},
        {"sp_prepexec",
         "UPDATE Billing..people SET LastName = @P1 WHERE CURRENT OF <c>",
         "@P1 NVARCHAR(20)",
         {"Oyelaran"}},
        {"sp_prepexec",
         "UPDATE Billing..people SET FirstName = @P1 WHERE CURRENT OF <c>",
         "@P1 VARCHAR(10)",
         {"Annabelle"}},
        {"sp_execute",
         "UPDATE Billing..people SET LastName = @P1, FirstName = @P2 WHERE CURRENT OF <c>",
         "@P1 NVARCHAR(20),@P2 VARCHAR(10)",
         {"\xC3\x98stergaard", "Wilhelmina"}},
    };
    std::vector<tds::Event> updates;
    for (const tds::Event &e : server->rpcs())
        if (e.text.rfind("UPDATE", 0) == 0 && e.procedure != "sp_unprepare")
            updates.push_back(e);
    ASSERT_EQ(updates.size(), std::size(expected));
    for (size_t i = 0; i < updates.size(); ++i) {
        SCOPED_TRACE(i);
        std::string text = updates[i].text;
        text.replace(text.find(name.toStdString()), static_cast<size_t>(name.size()), "<c>");
        EXPECT_EQ(updates[i].procedure, expected[i].procedure);
        EXPECT_EQ(text, expected[i].text);
        EXPECT_EQ(updates[i].declarations, expected[i].declarations);
        std::vector<tds::Value> values;
        for (const tds::Param &p : updates[i].params)
            values.push_back(p.value);
        EXPECT_EQ(values, expected[i].values);
    }
}

TEST_F(CursorTest, UnknownNamesEmptyAndMissingTablesAndRefusedWrites) {
    UpdatableCursor t(session, QStringLiteral("[Billing].[dbo].[people]"));
    EXPECT_THROW(t.field(QStringLiteral("Surname")), DbError);
    EXPECT_THROW(t.setField(QStringLiteral("Surname"), "x"), DbError);
    // Longer than the column: the write is refused (not cut short); the record stays as it was and the
    // walk goes on once the assignment is dropped.
    t.setField(QStringLiteral("FirstName"), QStringLiteral("Bartholomew"));
    EXPECT_THROW(t.update(), DbError);
    EXPECT_EQ(t.field(QStringLiteral("FirstName")), QStringLiteral("Bartholomew")); // kept until cancelled
    t.cancelUpdate();
    t.moveNext();
    EXPECT_EQ(t.field(QStringLiteral("id")).toInt(), 2);
    t.close();
    EXPECT_TRUE(t.eof());
    EXPECT_THROW(t.field(QStringLiteral("id")), DbError);
    EXPECT_EQ(server->tables().rows("Billing..people")[0][2], "Noah");

    server->tables().set("Billing..empty", {makeColumn("a", "int")});
    UpdatableCursor empty(session, QStringLiteral("Billing..empty"));
    EXPECT_EQ(empty.recordCount(), 0);
    EXPECT_TRUE(empty.eof());
    EXPECT_EQ(empty.fieldNames(), QStringList{"a"});
    EXPECT_THROW(empty.moveNext(), DbError);

    try {
        UpdatableCursor missing(session, QStringLiteral("Billing..nowhere"));
        FAIL() << "opened a table that does not exist";
    } catch (const DbError &e) {
        EXPECT_EQ(e.records().at(0).native, 208);
    }
    empty.close();
    EXPECT_EQ(server->tables().openCursors(), 0);
}

TEST_F(CursorTest, ADroppedConnectionFailsTheExecutionWithoutHanging) {
    // The third request of the kind is answered by closing the socket.
    const auto dropThird = [](const char *pattern) {
        auto calls = std::make_shared<int>(0);
        return Rule::callback(
            [calls](const std::string &, const tds::ConnectionState &) -> std::optional<Reply> {
                if (++*calls == 3)
                    return Reply::drop();
                return std::nullopt; // the table model answers
            },
            pattern);
    };
    struct Case {
        const char *name;
        const char *pattern;
        std::function<void(ServerConnection &)> run;
    };
    const Case cases[] = {
        {"prepared execute", "INSERT INTO Billing..people .*",
         [](ServerConnection &s) {
             PreparedStatement insert(s, "INSERT INTO Billing..people (LastName, FirstName) VALUES (?, ?)",
                                      {"nvarchar(20)", "varchar(10)"});
             for (int i = 0; i < 5; ++i)
                 insert.execute({QStringLiteral("Last%1").arg(i), QStringLiteral("First")});
         }},
        {"cursor fetch", "FETCH NEXT FROM .*",
         [](ServerConnection &s) {
             UpdatableCursor t(s, QStringLiteral("Billing..people"));
             for (; !t.eof(); t.moveNext())
                 t.update();
         }},
        {"cursor update", "UPDATE Billing..people SET .*",
         [](ServerConnection &s) {
             UpdatableCursor t(s, QStringLiteral("Billing..people"));
             for (; !t.eof(); t.moveNext()) {
                 t.setField(QStringLiteral("MiddleName"), QStringLiteral("X"));
                 t.update();
             }
         }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        server->clearRules();
        server->addRule(dropThird(c.pattern));
        session.close();
        session.open(clearTarget(*server, "pw"));
        try {
            c.run(session);
            ADD_FAILURE() << "the dropped connection went unnoticed";
        } catch (const DbError &e) {
            EXPECT_EQ(e.description(), "[FreeTDS][SQL Server]Unexpected EOF from the server");
        }
        EXPECT_THROW(session.execute(QStringLiteral("SELECT 1")), DbError); // the session is gone
    }
    EXPECT_EQ(server->tables().rows("Billing..people").size(), 7u); // two rows before the drop
}
