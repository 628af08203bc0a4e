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
//   INSERT [INTO] t [(a, b, ...)] VALUES (@P1, @P2, ...)[, (@P3, @P4, ...) ...]   values from the RPC's
//       parameters (prepared statements, sp_executesql); NULL and plain literals also go; up to 1,000
//       rows (10738 beyond). Identity columns are numbered unless named (then SET IDENTITY_INSERT t ON is
//       needed); rowversion columns are set; computed and rowversion columns cannot be named; NOT NULL,
//       lengths and types are checked with the server's errors (515, 8152, 245, 544, 271, 273, 207, 213).
//       A statement of many rows goes in whole or not at all.
//       A text parameter goes into a datetimeoffset column only as CAST(@Pn AS datetimeoffset(n)) (257
//       without), as a T-SQL engine that converts no text implicitly has it.
//   TRUNCATE TABLE t (every row goes; the identity numbering starts again)
//   SET IDENTITY_INSERT t ON|OFF (db.dbo.t or dbo.t; db..t is refused with 102, as the documented syntax
//       [[database.]schema.]table has no empty schema and the T-SQL engine refuses it, though older SQL
//       Servers take it)
//   a batch declaring a cursor FOR SELECT * FROM t (any options), with OPEN and
//       SELECT COUNT_BIG(*) FROM t in the same batch answered too; FETCH NEXT FROM c (one row, or none
//       at the end); SELECT @@FETCH_STATUS; UPDATE t SET a = @P1, ... WHERE CURRENT OF c; a batch with
//       DEALLOCATE c
//   SELECT ... FROM [db.]sys.columns ... OBJECT_ID(N'<table>') ...: the columns name, is_identity,
//       is_computed and is_rowversion of the table, in column order
//   SELECT ... FROM [db.]sys.indexes ... OBJECT_ID(N'<table>') ...: the table's primary key (its columns
//       marked `key`) as the rows index_id (1), name, in column order; none without one
//   SELECT TOP (n | @P1) a, b, ... FROM t [WHERE <condition>] ORDER BY k1, k2, ...   the rows in the order
//       of the ORDER BY columns (ascending; NULL first; numbers by value, text ignoring case), those from
//       the first row on which the condition holds: comparisons (=, <>, <, >, <=, >=) of columns with
//       values joined by AND, OR and parentheses, as a read that goes on after a key writes it
//   UPDATE t SET a = v.a | a = COALESCE(v.a, t.a), ... FROM tab [AS] t [INNER] JOIN (VALUES (@P1, ...),
//       ...) [AS] v (k, a, ...) ON t.k = v.k [AND ...]   each row of v updates the records whose columns
//       equal its values (a NULL joins none); checked as INSERT checks; in whole or not at all
//   sp_prepare of SELECT [TOP n] * FROM t: the table's columns
//   SET FMTONLY ON SELECT * FROM t SET FMTONLY OFF: the table's columns, no rows (how a bulk-copy client
//       learns the columns it is to send)
//   INSERT BULK t (a type, b type, ...) [WITH (option, ...)], then the bulk-load message (TableBulk.cpp):
//       its rows stored as INSERT stores them, the whole message or nothing. An identity column listed keeps
//       the values sent with the option KEEP_IDENTITY or with SET IDENTITY_INSERT t ON on the connection;
//       otherwise the table numbers the rows and the values sent are ignored, as the server documents it
// Once any table is set, these forms naming a table the model lacks get error 208.
//
// Thread safety: every member may be called from any thread while the server runs.

#include "tds/ScriptedServer.h"

#include <map>
#include <mutex>

namespace quorix::tds {

namespace modeltext {
struct Literal;
}

// Where the rows of a bulk load go: named by INSERT BULK, kept by the connection until its bulk-load
// message comes.
struct BulkTarget {
    std::string table;                // as the statement names it
    std::vector<std::string> columns; // as listed, in the order of the stream's columns
    bool keepIdentity = false;        // WITH (KEEP_IDENTITY)
};

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
    // INSERT BULK: nullopt for another statement; else the reply, with target set when it was accepted.
    std::optional<Reply> bulkStatement(const std::string &text, const ConnectionState &state,
                                       std::optional<BulkTarget> &target);
    // The rows of a bulk-load message, one value per column of the stream, stored in target's table.
    Reply bulkLoad(const BulkTarget &target, std::size_t streamColumns, const std::vector<Row> &rows,
                   const ConnectionState &state);

    struct Table {
        std::string database; // as set; empty: any
        std::string name;
        std::vector<Column> columns;
        std::vector<Row> rows;
        std::uint64_t version = 0; // the last rowversion given out
        // The row indexes in the order of the columns orderedBy, kept for keyed reads and joins; emptied
        // by every change that may move a row in that order.
        std::vector<int> orderedBy;
        std::vector<std::size_t> order;
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
    // TableBlocks.cpp: the forms of many rows.
    std::optional<Reply> blockStatement(const std::string &text, const ConnectionState &state);
    Reply insert(Table &t, const std::string &columnList, const std::vector<std::string> &rowLists,
                 const ConnectionState &state);
    // How an identity column named among the targets takes its value.
    enum class Identity {
        Refused,  // 544: IDENTITY_INSERT is off
        Kept,     // the value given
        Assigned, // the table numbers the row; the value given is ignored (a bulk load without KEEP_IDENTITY)
    };
    // Rows of values for the target columns, stored whole or not at all.
    Reply insertValues(Table &t, const std::vector<int> &targets,
                       const std::vector<std::vector<modeltext::Literal>> &rows, Identity identity);
    bool identityInsertOn(const Table &t, const ConnectionState &state) const;
    std::optional<Reply> keyedRead(const std::string &text, const ConnectionState &state);
    std::optional<Reply> joinedUpdate(const std::string &text, const ConnectionState &state);
    Reply positionedUpdate(Table &t, const std::string &assignments, CursorState &cursor,
                           const ConnectionState &state);

    mutable std::mutex m_mutex;
    std::map<std::string, Table> m_tables; // by lower-case "db.table"
    std::map<Key, CursorState> m_cursors;
    std::map<int, int> m_fetchStatus;            // by connection
    std::map<int, std::string> m_identityInsert; // by connection: the table key it is on for
};

} // namespace quorix::tds
