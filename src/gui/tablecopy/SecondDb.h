#pragma once

// The tools between the current database and its second database on Main (the database's name followed by
// "2"), each run through the table batch runner for the selected table or every table of the browser:
//   "Copy Into" (cmdCopyInto)                         refills the second database's table with one
//                                                     INSERT ... SELECT naming every column in brackets;
//   "Clone Table Records" (cmdCloneTable)             the same with the columns named bare;
//   "Copy Structure to DBname_2" (cmdCopyTablesDB2)   creates the table there with its rows (SELECT INTO);
//   "Drop table DBname_2" (cmdDropTableDB2)           drops it there.
// Identity values are carried over under IDENTITY_INSERT. A failed INSERT or SELECT INTO of "Copy Into" and
// "Copy Structure" also goes to the error pane, named by its source table.

namespace quorix {

struct Form;
struct TableRef;
class ServerSessions;
class LogPanes;

class SecondDb {
public:
    // Wires the four buttons.
    SecondDb(Form &form, ServerSessions &sessions, const LogPanes &log);

    void cmdCopyInto_Click();
    void cmdCloneTable_Click();
    void cmdCopyTablesDB2_Click();
    void cmdDropTableDB2_Click();

    // The per-table operations, on the selected table. When the source's columns cannot be read, one line
    // says so and no INSERT is sent. When "use" or the existence check fails on Main's session, the failure
    // is logged and the table is skipped (IDENTITY_INSERT, once on, is still switched off).
    void CopyIntoSecondDatabase(const TableRef &t);
    void CloneTableRecords(const TableRef &t);
    void CopyStructureToSecondDatabase(const TableRef &t);
    void DropSecondDatabaseTable(const TableRef &t);

private:
    Form &m_form;
    ServerSessions &m_sessions;
    const LogPanes &m_log;
};

} // namespace quorix
