#pragma once
// The scripted server's tables: named tables with typed columns and rows that tests set up and read
// back, and that the statements of row-level work read and change. Rules come first: a statement no
// rule answers is answered from the model when it has one of the forms below and names a table of it.
//
//     server.tables().set("Billing..patients",
//                         {makeColumn("id", "int", false), makeColumn("name", "nvarchar(50)")},
//                         {{"1", "Ann"}, {"2", std::nullopt}});
//     ... run the code under test ...
//     EXPECT_EQ(server.tables().rows("Billing..patients")[0][1], "Zoe");
//
// A name is "db..t", "db.schema.t", "[db].[dbo].[t]" or "t"; the schema is ignored and case does not
// matter. A table set without a database is found from every database; a statement's name without one
// looks in the connection's current database first. Values are text as everywhere in the server, kept
// as the column's type holds them (a decimal(10,2) keeps "5.00" for "5"; char pads).
//
// Statements answered (one statement per batch or RPC, ';' and blanks around it allowed):
//   SELECT * FROM t, SELECT TOP n * FROM t, SELECT COUNT(*) / COUNT_BIG(*) FROM t
//   INSERT [INTO] t [(a, b, ...)] VALUES (@P1, @P2, ...)   values from the RPC's parameters (prepared
//       statements, sp_executesql); NULL and plain literals also go. Identity columns are numbered
//       unless named (then SET IDENTITY_INSERT t ON is needed); rowversion columns are set; computed
//       and rowversion columns cannot be named; NOT NULL, lengths and types are checked with the
//       server's errors (515, 8152, 245, 544, 271, 273, 207, 213)
//   SET IDENTITY_INSERT t ON|OFF
//   a batch declaring a cursor FOR SELECT * FROM t (any options), with OPEN and
//       SELECT COUNT_BIG(*) FROM t in the same batch answered too; FETCH NEXT FROM c (one row, or none
//       at the end); SELECT @@FETCH_STATUS; UPDATE t SET a = @P1, ... WHERE CURRENT OF c; a batch with
//       DEALLOCATE c
//   SELECT ... FROM [db.]sys.columns ... OBJECT_ID(N'<table>') ...: the columns name, is_identity,
//       is_computed and is_rowversion of the table, in column order
//   sp_prepare of SELECT [TOP n] * FROM t: the table's columns
// Once any table is set, these forms naming a table the model lacks get error 208.
//
// Thread safety: every member may be called from any thread while the server runs.

#include "tds/ScriptedServer.h"

#include <map>
#include <mutex>

namespace quorix::tds {

class TableModel {
public:
    // Creates or replaces the table. Throws std::invalid_argument for a row that does not fit.
    void set(const std::string &name, std::vector<Column> columns, std::vector<Row> rows = {});
    bool has(const std::string &name) const;
    // Throw std::out_of_range for a table the model lacks.
    std::vector<Row> rows(const std::string &name) const;
    std::vector<Column> columns(const std::string &name) const;
    // Cursors declared and not yet deallocated, on every connection.
    int openCursors() const;

    // For the server's connections.
    std::optional<Reply> answer(const std::string &text, const ConnectionState &state);
    std::optional<ResultSet> metadataFor(const std::string &text, const std::string &database) const;
    // The refusal of sp_prepare for SELECT * FROM a table the model lacks (when it has any).
    std::optional<Message> prepareRefusal(const std::string &text, const std::string &database) const;
    void forget(int connection); // its cursors and settings end with it

    struct Table {
        std::string database; // as set; empty: any
        std::string name;
        std::vector<Column> columns;
        std::vector<Row> rows;
        std::uint64_t version = 0; // the last rowversion given out
    };

private:
    struct CursorState {
        std::string table; // key of the table
        std::size_t next = 0;
        bool open = false;
    };
    using Key = std::pair<int, std::string>; // connection, lower-case name

    Table copy(const std::string &name) const; // throws std::out_of_range
    Table *find(const std::string &name, const std::string &database);
    const Table *find(const std::string &name, const std::string &database) const;
    std::optional<Reply> cursorStatement(const std::string &text, const ConnectionState &state);
    std::optional<Reply> tableStatement(const std::string &text, const ConnectionState &state);
    Reply insert(Table &t, const std::string &columnList, const std::string &valueList,
                 const ConnectionState &state);
    Reply positionedUpdate(Table &t, const std::string &assignments, CursorState &cursor,
                           const ConnectionState &state);

    mutable std::mutex m_mutex;
    std::map<std::string, Table> m_tables; // by lower-case "db.table"
    std::map<Key, CursorState> m_cursors;
    std::map<int, int> m_fetchStatus;            // by connection
    std::map<int, std::string> m_identityInsert; // by connection: the table key it is on for
};

} // namespace quorix::tds
