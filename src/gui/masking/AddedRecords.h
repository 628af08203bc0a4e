#pragma once

// Records added to one table of database 1 (on Main), each from the current record of a result of
// database 2, field by field under the same names, as typed values. A field that cannot be copied (the
// table lacks it, the server makes its values, or its type cannot take the value) is reported on the
// error pane and left out, and the record is still added with the other fields:
//   "field" + name + " may not exists on left database" + the description,
// and, when the value did not fit the field's type (SQLSTATE class 22 or 07006), a second line with the two
// fields' ODBC SQL type codes, database 1's first. A failure of the write itself is reported the same way
// under the name of the last field copied.

#include "core/db/PreparedStatement.h"

#include <QString>
#include <map>
#include <optional>
#include <vector>

namespace quorix {

class LogPanes;
class Recordset;
class ServerConnection;

class AddedRecords {
public:
    AddedRecords(ServerConnection &main, QString db, QString table, const LogPanes &log);

    // Adds the current record of source. Throws DbError only when the table's columns cannot be read;
    // everything after that is reported on the error pane.
    void add(const Recordset &source);

private:
    struct Copied {
        int field = 0; // position in the source
        const ColumnInfo *column = nullptr;
        QVariant value;
    };
    struct Report {
        int field = 0;
        QStringList lines;
    };

    const std::vector<ColumnInfo> &columns();
    const ColumnInfo *column(const QString &name);
    PreparedStatement &insertFor(const std::vector<Copied> &copied);
    Report report(const Recordset &source, int field, const ColumnInfo *column, const DbError &error) const;

    ServerConnection &m_main;
    QString m_db;
    QString m_table;
    const LogPanes &m_log;
    std::optional<std::vector<ColumnInfo>> m_columns;
    std::map<QStringList, PreparedStatement> m_inserts; // by the columns they name
};

} // namespace quorix
