#pragma once

// Rows written in blocks: one statement carries a block of rows ("INSERT INTO t (a, b) VALUES (?, ?), (?,
// ?)"), so that a block costs one round trip to the server where a statement per row costs one per row. Each
// row's values travel as typed parameters declared as for the statement of one row, so a block carries every
// value exactly as that statement would.
//
//     BlockStatement insert(session, [](int n) { return blockInsertStatement("db..t", {"id", "name"}, n); },
//                           {"int", "nvarchar(50)"});
//     for (const PreparedStatement::RowResult &r : insert.execute(rows)) // rows.size() <= insert.maxRows()
//         ...
//
// The statement of a block size is prepared when a block of that size first runs, and kept while blocks of
// that size come (the full size, and the last size that was not full).

#include "core/db/PreparedStatement.h"

#include <QStringList>
#include <QVariant>
#include <functional>
#include <map>
#include <vector>

namespace quorix {

// The server takes at most 2,100 parameters in one call and counts those of the call itself: the driver's
// first execution of a prepared statement (sp_prepexec) spends three on its handle, declarations and text,
// which leaves 2,097 for the values. An INSERT's VALUES list holds at most 1,000 rows.
inline constexpr int kMaxBlockParameters = 2097;
inline constexpr int kMaxBlockRows = 1000;
// A block is closed early when its values pass this many bytes, so that a table of long values does not
// hold a thousand of them in memory at once.
inline constexpr qint64 kMaxBlockBytes = 8 << 20;

// The most rows of parametersPerRow parameters each that one statement may carry; at least 1.
int rowsPerBlock(int parametersPerRow);
// The memory a value takes in a block, roughly: its text or bytes, or a fixed amount for the rest.
qint64 valueBytes(const QVariant &value);

// True after a failure that leaves nothing to try again now: a cancel, a timeout, a lost connection.
bool endsTheRows(const DbError &e, ServerConnection &connection);

// "(?, ?), (?, ?)": rows lists of width markers, for a VALUES list.
QString valuesMarkers(int rows, int width);
// "INSERT INTO <table> (a, b) VALUES (?, ?), (?, ?)": the names by the quoting rule, rows lists of markers.
// For one row it is insertStatement's text.
QString blockInsertStatement(const QString &qualifiedTable, const QStringList &columns, int rows);

class BlockStatement {
public:
    using Text = std::function<QString(int rows)>;

    BlockStatement() = default; // closed
    // text(n) is the statement for n rows, their markers row after row; rowTypes declares one row's
    // markers (PreparedStatement's declarations). The statement of one row is prepared at once, which sends
    // nothing yet. Throws DbError.
    BlockStatement(ServerConnection &connection, Text text, QStringList rowTypes);

    bool isOpen() const { return m_single.isOpen(); }
    // "Script only" keeps the statement back: nothing is sent.
    bool collected() const { return m_single.collected(); }
    int maxRows() const { return m_maxRows; }

    // A row that changes nothing (a key of NULLs, which joins no record), with which executeBlock fills a
    // short block up to maxRows(): one prepared statement then serves every block.
    void setFiller(std::vector<QVariant> filler) { m_filler = std::move(filler); }

    // The rows (at most maxRows()) as one statement; when the server or the driver refuses it, each row on
    // its own by the statement of one row, so that only the rows refused fail. One outcome per row, as
    // PreparedStatement::executeEach gives them (a row of a block that went whole has the count -1). A
    // cancel, a timeout or a lost connection is not tried again: every row of the block shares it.
    std::vector<PreparedStatement::RowResult> execute(const std::vector<std::vector<QVariant>> &rows);

    // Any number of rows, as execute() takes them maxRows() at a time; one outcome per row.
    std::vector<PreparedStatement::RowResult> executeAll(const std::vector<std::vector<QVariant>> &rows);

    // The rows as one statement. Throws DbError. Under "Script only" the statement of one row is collected
    // and counted once per row, so the script reads as it would without blocks.
    qint64 executeBlock(const std::vector<std::vector<QVariant>> &rows);
    // One row by the statement of one row. Throws DbError.
    qint64 executeRow(const std::vector<QVariant> &row) { return m_single.execute(row); }

private:
    PreparedStatement &statementFor(int rows);

    ServerConnection *m_connection = nullptr;
    Text m_text;
    QStringList m_rowTypes;
    int m_maxRows = 1;
    std::vector<QVariant> m_filler;
    PreparedStatement m_single;
    std::map<int, PreparedStatement> m_blocks; // by rows
};

} // namespace quorix
