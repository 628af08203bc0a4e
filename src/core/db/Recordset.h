#pragma once

// A result set read front to back: end-of-file test, move to the next row, fields by position or by name,
// field names and types, record count. How the rows arrive is chosen at opening (see Reading).
//
// Failures are thrown as DbError: the batch's (also that of a statement after the one that gave the
// rows), reading a closed result set, reading past the end, an unknown field.

#include "core/db/DbError.h"
#include "core/db/ServerConnection.h"

#include <QStringList>
#include <QVariant>
#include <deque>
#include <memory>
#include <optional>
#include <vector>

namespace quorix {

namespace odbc {
class Cursor;
}

struct FieldInfo {
    QString name;
    int sqlType = 0;  // ODBC SQL type: 4 int, -5 bigint, -9 nvarchar, 12 varchar, 93 datetime, ...
    QString typeName; // the server's name: "int", "nvarchar", "datetime", ...
};

class Recordset {
public:
    static constexpr size_t kBlockRows = 512;

    Recordset() = default;
    ~Recordset() { close(); }
    Recordset(Recordset &&other) noexcept;
    Recordset &operator=(Recordset &&other) noexcept;

    enum class Reading {
        // The whole batch is read before open() returns: every row of its first result with columns, and
        // the statements after it, so that a failure anywhere in the batch fails open() and no row of a
        // failed batch is ever shown. For results that are read to their end at once (a grid, a list).
        WholeBatch,
        // Rows come from the server in blocks as the reader moves on; only the current block is held,
        // except that recordCount() reads the rest into memory to count it. The statements after the
        // result are read with its last row, so their failure is thrown by the moveNext() that passes
        // that row (by open() when the result ended within the first block).
        Streamed,
    };

    // Closes what is open, then opens sql on the connection. A statement that returns no rows with
    // columns (a USE, an UPDATE) leaves the result set closed without a failure. Throws DbError.
    void open(ServerConnection &connection, const QString &sql, Reading reading = Reading::WholeBatch);
    void close() noexcept;
    bool isOpen() const { return m_open; }

    bool eof() const;
    void moveNext();

    int fieldCount() const;
    const FieldInfo &field(int index) const;
    QString fieldName(int index) const { return field(index).name; }
    QStringList fieldNames() const;
    int fieldIndex(const QString &name) const; // case-insensitive; -1 when there is none

    // Values of the current row (see odbc::Row for the types; NULL is an invalid QVariant).
    QVariant value(int index) const;
    QVariant value(const QString &name) const;
    const std::vector<QVariant> &row() const;
    // The value as a grid shows it: NULL as empty text, bit as True/False, dates as yyyy-MM-dd hh:mm:ss.
    // For people only: a value pasted into a statement takes sqlValueText (SqlQuote.h).
    static QString displayText(const QVariant &value);

    // Number of rows of the whole result (rows already passed included).
    qint64 recordCount();
    // Messages the server sent with the result (PRINT, informational records).
    std::vector<DiagRecord> messages() const;

private:
    void fill(); // fetches the next block when the current one is used up
    void requireOpen() const;
    void moveFrom(Recordset &other) noexcept;

    std::shared_ptr<ServerConnection::Slot> m_slot;
    std::shared_ptr<odbc::Cursor> m_cursor;
    std::vector<FieldInfo> m_fields;
    std::deque<std::vector<QVariant>> m_rows; // front is the current row
    bool m_open = false;
    bool m_more = false; // the cursor may still have rows
    qint64 m_passed = 0;
    std::optional<DbError> m_failure; // read with the last block; thrown when the reader passes its end
};

} // namespace quorix
