#pragma once

// A table walked record by record on the session's own connection, so that the session's settings
// (database, IDENTITY_INSERT, ...) apply: read fields by name, assign some, write the record back or
// cancel the change, then move on. The record count is known as soon as the cursor is open.
//
//     UpdatableCursor t(session, "Billing..tbCashPatient");
//     for (; !t.eof(); t.moveNext()) {
//         if (!t.field("LastName").toString().isEmpty())
//             t.setField("LastName", someName);
//         t.update();
//     }
//
// On the server it is a GLOBAL T-SQL cursor of a name of its own over SELECT * FROM the table:
// KEYSET when the table has a unique index, DYNAMIC otherwise (a keyset cursor needs one, or the
// server makes it a read-only static cursor), optimistic either way. A record costs one FETCH NEXT
// and, when it changed, one execution of a prepared "UPDATE ... WHERE CURRENT OF" with the assigned
// columns as typed parameters (one statement per distinct set of assigned columns). Failures are thrown
// as DbError; a failed update keeps the assigned values until cancelUpdate() or moveNext().

#include "core/db/DbError.h"
#include "core/db/PreparedStatement.h"
#include "core/db/ServerConnection.h"

#include <QStringList>
#include <QVariant>
#include <map>
#include <vector>

namespace quorix {

class UpdatableCursor {
public:
    // table is passed to the server as written ("[db].[dbo].[t]", "db..t", "t"). Opens the cursor and
    // reads the first record. Throws DbError, leaving no cursor behind on the server. The session must
    // outlive the cursor.
    UpdatableCursor(ServerConnection &session, const QString &table);
    ~UpdatableCursor() { close(); }
    UpdatableCursor(const UpdatableCursor &) = delete;
    UpdatableCursor &operator=(const UpdatableCursor &) = delete;

    qint64 recordCount() const { return m_count; }
    bool eof() const { return !m_open || m_eof; } // also once closed

    QStringList fieldNames() const { return m_fields; }
    // The current record's value (see odbc::Row for the types), or the value assigned and not yet
    // written. Case-insensitive names; DbError for an unknown one, with no current record or closed.
    QVariant field(const QString &name) const;
    // An assignment to be written by update(). DbError for an unknown column or with no current record.
    void setField(const QString &name, const QVariant &value);
    // Writes the assigned values into the current record; nothing assigned: nothing is sent.
    void update();
    void cancelUpdate() { m_pending.clear(); }
    // The next record; assignments not written are dropped. DbError at the end or when closed.
    void moveNext();
    // Deallocates the server's cursor (also from the destructor); failures are ignored.
    void close() noexcept;

    QString cursorName() const { return m_name; }

private:
    void fetch();
    int indexOf(const QString &name) const; // throws DbError
    void requireRecord() const;
    PreparedStatement &updateFor(const std::vector<int> &columns);

    ServerConnection *m_session;
    QString m_table;
    QString m_name;
    bool m_declared = false; // the server may hold the cursor
    bool m_open = false;
    bool m_eof = true;
    qint64 m_count = 0;
    QStringList m_fields;
    std::vector<QVariant> m_row;
    std::map<int, QVariant> m_pending; // by column index, in column order
    std::vector<ColumnInfo> m_columns; // the parameter types, read with the first update
    std::map<std::vector<int>, PreparedStatement> m_updates; // by the set of assigned columns
};

} // namespace quorix
