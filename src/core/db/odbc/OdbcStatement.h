#pragma once

// A statement prepared once on a Connection and executed many times with typed parameter values. The
// driver sends nothing when preparing: the first execution prepares and runs at once, later ones run by
// the server's handle, and freeing the statement releases that handle.
//
// Like Connection, synchronous and used by one thread at a time; Connection::cancel() reaches a running
// execution.

#include "core/db/ParamType.h"
#include "core/db/odbc/OdbcConnection.h"

#include <QVariant>
#include <cstdint>
#include <vector>

namespace quorix::odbc {

class Statement {
public:
    // sql holds one '?' marker per entry of types. Throws DbError.
    Statement(Connection &conn, const QString &sql, std::vector<ParamType> types, int queryTimeoutSeconds);
    ~Statement() { close(); }
    Statement(const Statement &) = delete;
    Statement &operator=(const Statement &) = delete;

    // Binds values (by marker; an invalid QVariant is NULL) and runs the statement with every result to
    // its end. Returns the row count of its first result (-1 when it reported none). Throws DbError with
    // every record; the statement stays prepared for the next execution either way.
    qint64 execute(const std::vector<QVariant> &values);
    // The same for a statement that returns rows: every row of its first result (the rest of the batch is
    // read to its end). Throws DbError as execute() does.
    std::vector<Row> query(const std::vector<QVariant> &values);
    // Frees the statement, which releases the server's handle. Failures are ignored.
    void close() noexcept;
    bool isOpen() const { return static_cast<bool>(m_stmt); }
    const std::vector<ParamType> &types() const { return m_types; }
    // The driver found the connection cut off (or it was closed): nothing more can run on it.
    bool connectionLost() const;

    struct Described {
        Column column;
        SQLLEN precision = 0; // digits of numeric types, characters of text types
        bool identity = false;
    };
    // The columns of the statement's result, before it runs (the driver has the server prepare it).
    // Throws DbError.
    std::vector<Described> describe();

    // A bound value: the driver reads it during SQLExecute.
    struct Bound {
        SQLSMALLINT cType = SQL_C_CHAR;
        SQLSMALLINT sqlType = SQL_VARCHAR;
        SQLULEN size = 0;
        SQLSMALLINT digits = 0;
        std::vector<char> data;
        SQLLEN indicator = 0;
        bool bound = false;
    };

private:
    bool connectionAlive() const; // the connection that prepared the statement is still open
    void place(size_t index);     // moves m_scratch into the buffer bound for the parameter
    void bindAll(const std::vector<QVariant> &values); // checks the statement and fills every parameter

    Connection *m_conn = nullptr;
    std::uint64_t m_session = 0;
    Handle m_stmt; // released, not freed, once the connection closed: closing freed it already
    std::vector<ParamType> m_types;
    std::vector<Bound> m_bound;
    Bound m_scratch;            // the value being converted
    std::vector<char> m_buffer; // scratch space for reading values
};

} // namespace quorix::odbc
