#pragma once

// One ODBC connection and the statements run on it. Synchronous: every call blocks its thread until the
// driver answers; the one exception is cancel(), which another thread may call while a statement runs.
//
// Statements are sent verbatim (escape scanning off), and every result and message of a batch is read
// to its end before the batch counts as done. A query's result is streamed: rows are fetched as they are
// asked for, and the rest of the batch is read once its last row has been; a failure found there is kept
// by the cursor (failure()), since the rows before it are sound. The driver has one active result per
// connection, so when anything else is run on the connection while a cursor still has unread rows, that
// cursor first reads its remaining rows into memory.

#include "core/db/odbc/OdbcHandle.h"

#include <QVariant>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>

namespace quorix::odbc {

struct Column {
    QString name;
    SQLSMALLINT sqlType = 0; // SQL_INTEGER, SQL_WVARCHAR, SQL_TYPE_TIMESTAMP, ...
    QString typeName;        // the server's name of the type: int, nvarchar, datetime, ...
    SQLULEN size = 0;
    SQLSMALLINT scale = 0;
    bool nullable = true;
};

// Values of one row, by column position. NULL is an invalid QVariant. Integers come as int (qlonglong for
// bigint), floating types as double, bit as bool, date as QDate, datetime with at most millisecond digits
// as QDateTime, binary types as QByteArray; everything else (text, decimal, money, guid, time, datetime2
// with finer digits) as QString in the server's own notation, so no digit is lost on a round trip.
using Row = std::vector<QVariant>;

class Connection;

// True when a driver would take part of sql as ODBC syntax rather than pass it on: a parameter marker '?'
// or an escape sequence '{' outside quotes ('...', "...", [...]) and comments (-- and /* */). FreeTDS
// rewrites such text even with escape scanning switched off, so execute() and openCursor() send it as
// the statement of sp_executesql instead: the server then receives exactly the text, run as a batch of
// its own (a USE or SET inside it does not outlast it).
bool driverWouldRewrite(const QString &sql);

class Cursor {
public:
    ~Cursor() { close(); }
    Cursor(const Cursor &) = delete;
    Cursor &operator=(const Cursor &) = delete;

    const std::vector<Column> &columns() const { return m_columns; }
    // Up to maxRows further rows; fewer only when the result ends. Throws DbError.
    std::vector<Row> fetch(size_t maxRows);
    bool atEnd() const { return m_end && m_spilled.empty(); }
    // Reads every remaining row into memory and releases the statement, so the connection is free again.
    void spill();
    size_t buffered() const { return m_spilled.size(); }
    // Frees the statement; fetching afterwards fails as on a closed object.
    void close() noexcept;
    bool closed() const { return m_closed; }
    // Messages that arrived while the result was read (after the first result, also those of later ones).
    const std::vector<DiagRecord> &messages() const { return m_messages; }
    // Once the result has been read to its end (atEnd): the failure of a later statement of the batch,
    // with every record of messages().
    std::optional<DbError> failure() const;

private:
    friend class Connection;
    Cursor() = default;
    bool live() const { return static_cast<bool>(m_stmt); }
    std::optional<Row> next(); // the next row from the driver, none at the end
    Row readRow();
    void finish() noexcept; // the last row was read: drain later results, free the statement

    Connection *m_conn = nullptr;
    Handle m_stmt;
    std::vector<Column> m_columns;
    std::deque<Row> m_spilled;
    std::vector<DiagRecord> m_messages;
    std::vector<char> m_buffer;
    bool m_end = false;
    bool m_failed = false;
    bool m_closed = false;
};

class Connection {
public:
    Connection() = default;
    ~Connection() { close(); }
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;

    // odbcConnectionString is passed to the driver manager as it is. Throws DbError.
    void open(const QString &odbcConnectionString, int loginTimeoutSeconds);
    // Whether later open() calls ask for a connection fit for the driver's bulk-copy functions (set
    // before connecting, as the drivers want it).
    void setBulkCopy(bool on) { m_bulkCopy = on; }
    // Closes the connection and any cursor still reading from it; failures are ignored.
    void close() noexcept;
    bool isOpen() const { return m_open; }

    // Runs a batch and reads every result and message to the end. Returns all message records (PRINT,
    // progress); throws DbError with every record when the batch or any of its results failed.
    std::vector<DiagRecord> execute(const QString &sql, int queryTimeoutSeconds);
    // Runs a query and keeps its first result that has columns open for fetching; a batch that returns no
    // such result gives a cursor without columns, at its end. Throws DbError.
    std::shared_ptr<Cursor> openCursor(const QString &sql, int queryTimeoutSeconds);

    // From any thread: cancels the statement now running on this connection. False when none runs.
    bool cancel() noexcept;
    // Whether the driver found the link to the server broken (the server dropped it, or went away).
    bool dead() const noexcept;
    // The rows the last execute() affected, summed over its results; -1 when the driver reported none.
    qint64 lastRowCount() const noexcept { return m_rowCount; }
    // The database in use, as the driver tracks it; empty when it cannot say.
    QString currentCatalog() const noexcept;

    SQLHDBC handle() const { return m_dbc.get(); }

private:
    friend class Cursor;
    friend class Statement;
    void requireOpen() const;
    void makeIdle(); // spills the cursor that still holds the connection's result
    Handle newStatement(int queryTimeoutSeconds) const;
    // Runs call with stmt registered as the running statement, so that cancel() reaches it.
    template <class F> SQLRETURN running(SQLHSTMT stmt, F &&call) {
        {
            std::lock_guard lock(m_runMutex);
            m_running = stmt;
        }
        const SQLRETURN rc = call();
        std::lock_guard lock(m_runMutex);
        m_running = SQL_NULL_HSTMT;
        return rc;
    }
    SQLRETURN execDirect(const Handle &stmt, const QString &sql); // sends sql unaltered
    // Reads the remaining results of stmt; appends their records; sets failed on an error.
    // With rows given, the rows each result affected are added to it.
    void drain(const Handle &stmt, std::vector<DiagRecord> &records, bool &failed, qint64 *rows = nullptr);

    Handle m_dbc;
    Handle m_exec; // reused by execute()
    int m_execTimeout = -1;
    bool m_open = false;
    bool m_bulkCopy = false;
    std::weak_ptr<Cursor> m_pending;
    std::mutex m_runMutex;
    SQLHSTMT m_running = SQL_NULL_HSTMT;
    std::uint64_t m_session = 0; // counts close(): statements prepared before it are gone
    qint64 m_rowCount = -1;
};

} // namespace quorix::odbc
