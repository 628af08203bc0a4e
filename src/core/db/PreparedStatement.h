#pragma once

// A statement with '?' markers prepared once on a ServerConnection and executed many times with typed
// values, for moving data row by row without building SQL text:
//
//     PreparedStatement insert(conn, "INSERT INTO t (id, name, price) VALUES (?, ?, ?)",
//                              {"int", "nvarchar(50)", "decimal(10,2)"});
//     for (const Item &i : items)
//         insert.execute({i.id, i.name, i.price}); // price as text ("12.34") keeps every digit
//
// Every call runs on the connection's worker thread, like the connection's own calls. Move-only; the
// server's handle is released when the object closes or goes.

#include "core/db/Outcome.h"
#include "core/db/ParamType.h"
#include "core/db/ServerConnection.h"

#include <QStringList>
#include <QVariant>
#include <memory>
#include <optional>
#include <vector>

namespace quorix {

namespace odbc {
class Statement;
}
class CollectedStatement;
class StatementJournal;
struct SentStatement;

// A column of a statement's result as the server describes it.
struct ColumnInfo {
    QString name;
    QString typeName;  // the server's name: int, nvarchar, decimal, ...
    int sqlType = 0;   // SQL_INTEGER, SQL_WVARCHAR, ...
    qint64 size = 0;   // characters of text, bytes of binary, digits of numbers; 0 for the (max) types
    int precision = 0; // digits of numbers, fraction digits of date and time types
    int scale = 0;
    bool nullable = true;
    bool identity = false;
    bool computed = false;   // known from the catalog only (tableColumns)
    bool rowversion = false; // rowversion/timestamp: the server fills it, nobody writes it
};

class PreparedStatement {
public:
    PreparedStatement() = default; // closed
    // types declares one parameter per marker, in T-SQL ("int", "varchar(max)", ...). The query timeout
    // is the connection's command timeout at this point. Throws DbError (also for an unknown type).
    PreparedStatement(ServerConnection &connection, const QString &sql, const QStringList &types);
    ~PreparedStatement() { close(); }
    PreparedStatement(PreparedStatement &&other) noexcept;
    PreparedStatement &operator=(PreparedStatement &&other) noexcept;
    PreparedStatement(const PreparedStatement &) = delete;
    PreparedStatement &operator=(const PreparedStatement &) = delete;

    // One value per marker; an invalid (null) QVariant is NULL. Integers, floats and bit take numbers;
    // decimal/numeric take text or numbers (text is passed on digit for digit); date, datetime2 and
    // datetimeoffset take QDate/QDateTime or text "yyyy-MM-dd HH:mm:ss.fffffff" (a 'T' may stand for the
    // blank), datetimeoffset's followed by its offset "+05:45" or "Z"; char types take text; binary types
    // take QByteArray; uniqueidentifier takes QUuid or its text. Returns the row count the statement reported
    // (-1 for none). Throws DbError with every record; a failed execution leaves the statement ready.
    qint64 execute(const std::vector<QVariant> &values);

    // Executes the statement once per row of values, in one trip to the connection's worker: the hand-over
    // between threads that execute() pays per row is paid once per call, which matters when rows are
    // small and many. A row that fails does not stop the others, each gets its own outcome; a cancel, a
    // timeout or a lost connection ends the call, and the rows after it share that failure.
    struct RowResult {
        qint64 count = -1; // as execute() returns it
        Outcome outcome;   // a failed row's server records in outcome.serverError()
    };
    std::vector<RowResult> executeEach(const std::vector<std::vector<QVariant>> &rows);

    // For a statement that returns rows ("SELECT TOP (?) id, name FROM t WHERE id > ? ORDER BY id"): every
    // row of its first result, values as a Recordset gives them. For results of a bounded size: the rows are
    // held in memory. Throws DbError.
    std::vector<std::vector<QVariant>> query(const std::vector<QVariant> &values);

    // The columns the statement returns, before it runs: a table's columns come from "SELECT * FROM t"
    // prepared with no parameters. Throws DbError.
    std::vector<ColumnInfo> columns();

    // The text the journal shows for this statement instead of its own (a block's: the statement of one row,
    // its lines giving the rows). No effect on a statement that is not journaled.
    void setJournalText(const QString &text);

    void close() noexcept;
    bool isOpen() const { return m_stmt || m_collected; }
    // A change "Script only" keeps back: executions are counted, nothing is sent.
    bool collected() const { return static_cast<bool>(m_collected); }

private:
    // Where the executions of a statement that is not a read are journaled: one line per call of execute()
    // or executeEach(), so a block of rows is one line with its row count.
    struct JournalTap;
    void journal(qint64 rows, const Outcome &outcome, qint64 milliseconds, const QString &database) const;
    // Each row on its own, on the worker; a cancel, a timeout or a lost connection ends the rows.
    static std::vector<RowResult> eachOn(odbc::Statement *stmt,
                                         const std::vector<std::vector<QVariant>> &rows);

    std::shared_ptr<JournalTap> m_tap;
    std::shared_ptr<ServerConnection::Slot> m_slot;
    std::shared_ptr<odbc::Statement> m_stmt;         // used on the slot's worker only
    std::shared_ptr<CollectedStatement> m_collected; // a change "Script only" kept back, instead of m_stmt
};

} // namespace quorix
