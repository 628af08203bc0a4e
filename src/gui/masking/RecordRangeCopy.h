#pragma once

// "Copy records to database 1" (cmdCopybyRecID): fills gaps in the selected database on Main (database 1)
// with the records of one idnum range (txtStartIDNum to txtENDIDNum, inclusive) of the database of the same
// name on the Mirror (database 2). For every table of the table browser that has an idnum column in
// database 1 and exists in database 2, each record of the range that database 1 lacks is added to it,
// field by field under the same names; records database 1 has are counted and left alone. With ALL DBS
// the same is done for every database of Main's list. STOP ends the table loop of the database in hand.
//
// Both servers' sa login gets the database as its default database (an outlasting change the tool's
// users rely on). A failure of a statement is logged and the copy goes on with the next table; a field
// that cannot be copied into an added record is reported on the error pane and the record is added
// without it.

#include <QString>

namespace quorix {

struct Form;
class ServerSessions;
class LogPanes;
class DatabaseLists;
class Recordset;

class RecordRangeCopy {
public:
    RecordRangeCopy(Form &form, ServerSessions &sessions, const LogPanes &log, DatabaseLists &lists);
    ~RecordRangeCopy();

    void cmdCopybyRecID_Click();

private:
    // One step of the walk: its database, taken at the step's start, to its last table.
    void copyDatabase(const QString &db);
    void copyTable(const QString &db, const QString &table);
    // The range of database 2 against database 1: false when a statement failed (logged). Throws DbError
    // when a record cannot be read.
    bool copyRange(const QString &db, const QString &table, Recordset &range, qint64 &added,
                   qint64 &existing);
    // Sends sql through the session's recordset; false when it failed (then logged).
    bool query(int slot, const QString &sql);
    // Q1: the session's login defaults to db (a Windows login is left as the server maps it).
    bool setDefaultDatabase(int slot, const QString &db);

    Form &m_form;
    ServerSessions &m_sessions;
    const LogPanes &m_log;
    DatabaseLists &m_lists;
};

} // namespace quorix
