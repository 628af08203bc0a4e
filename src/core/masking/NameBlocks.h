#pragma once

// The anonymizer's walk over a table in blocks of records, for a table with a unique key: the key and the
// name fields of a block are read in one statement, in key order, going on after the last key read, and the
// names drawn for them are written back in one statement that joins the table with a VALUES list by that key:
//
//     SELECT TOP (?) id, LastName, FirstName FROM db..t WHERE id > ? ORDER BY id
//     UPDATE t SET LastName = COALESCE(v.LastName, t.LastName), FirstName = COALESCE(v.FirstName,
//         t.FirstName) FROM db..t AS t JOIN (VALUES (?, ?, ?), (?, ?, ?)) AS v (id, LastName, FirstName)
//         ON t.id = v.id
//
// so a block costs two round trips where a cursor costs two per record. A field written as NULL keeps its
// value: a record's fields that were not assigned are left as they are. Everything runs on the Mirror
// session's own connection, and each read is complete before anything is written, so no read of the table
// is open (and holding locks) while the table is written. Values travel as typed parameters.

#include "core/db/RowBlocks.h"

#include <QStringList>
#include <QVariant>
#include <optional>
#include <vector>

namespace quorix {

// "SELECT TOP (?) k, a, b FROM t [WHERE k > ?] ORDER BY k": the first block, or (after) the next after a
// key; a key of several columns goes on after the last read by "k1 > ? OR (k1 = ? AND k2 > ?)".
QString keyedReadStatement(const QString &table, const QStringList &keys, const QStringList &fields,
                           bool after);
// The UPDATE of rows records by key as above: the VALUES list holds the key, then the fields, per record.
QString keyedUpdateStatement(const QString &table, const QStringList &keys, const QStringList &fields,
                             int rows);

// A record of a block: its key and its name fields as read, and the names assigned to it.
struct NameRecord {
    std::vector<QVariant> key;
    std::vector<QVariant> fields;                 // by the plan's fields
    std::vector<std::optional<QString>> assigned; // by the plan's fields; none: left as it is

    // The field as the record now holds it: the name assigned, else the value read.
    QVariant current(int field) const;
    bool changed() const;
};

class NameBlocks {
public:
    // The plan for table and the name columns of a work line (names: its columns 1 to 4, empty ones
    // skipped), or none when the table keeps the cursor: it has no unique key whose columns are all NOT
    // NULL, of a type compared exactly (numbers, text, uniqueidentifier, date, binary) and named by no
    // column of the line; or a named column is missing, not text, or not written (computed, identity). A
    // failure to read the table's columns or keys also keeps the cursor, which then reports it. Throws
    // nothing.
    static std::optional<NameBlocks> plan(ServerConnection &session, const QString &table,
                                          const QStringList &names);

    // The records a block holds: as many as one UPDATE may carry.
    int blockRows() const { return rowsPerBlock(static_cast<int>(m_updateTypes.size())); }
    // The plan's field of the line's name column (0 to 3); -1 for an empty one.
    int fieldOf(int nameColumn) const;

    qint64 count(); // SELECT COUNT_BIG(*): the records of the table
    // The next records in key order, at most n: fewer only at the end, none past it. Throws DbError.
    std::vector<NameRecord> read(int n);
    // The changed records of a block as one UPDATE. Throws DbError.
    void write(const std::vector<NameRecord> &records);
    // One record on its own, after the server refused its block. Throws DbError.
    void writeOne(const NameRecord &record);
    // After a failure: nothing more can run now (cancel, timeout, lost connection).
    bool endsTheRecords(const DbError &e) const { return endsTheRows(e, *m_session); }

private:
    NameBlocks() = default;
    std::vector<QVariant> valuesOf(const NameRecord &record) const;
    BlockStatement &update(); // prepared when first written: a test run writes nothing

    ServerConnection *m_session = nullptr;
    QString m_table;
    QStringList m_keys;
    QStringList m_fields;
    std::vector<int> m_fieldOf; // by the line's name column
    PreparedStatement m_first;
    PreparedStatement m_next;
    QStringList m_updateTypes; // of one record: the key's, then the fields'
    std::optional<BlockStatement> m_update;
    std::vector<QVariant> m_lastKey; // empty before the first read
    bool m_end = false;
};

} // namespace quorix
