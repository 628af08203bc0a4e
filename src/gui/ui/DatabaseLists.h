#pragma once

// The database lists of both servers and the table browser: "RefreshDB", a click making a database the
// current one (txtDB; live during a run, it names the database of the next step or press), a double click
// listing the current database's tables with their sizes on Main, and "Table Sizes" running the size script
// of txtTableSizes.

#include <QString>

namespace quorix {

struct Form;
class ServerSessions;
class LogPanes;

class DatabaseLists {
public:
    static const QString kListStatement;
    static const QString kTableSizeStatement;

    DatabaseLists(Form &form, ServerSessions &sessions, const LogPanes &log);

    void cmdRefreshDB_Click(int slot);
    void GridDB_Click(int slot);
    void GridDB_DblClick(int slot);
    // The double click's work on a database given: "use" it on Main and list its tables with their sizes
    // in Grid2 (a walk hands in its step's database).
    void listTables(const QString &db);
    static QString tablesUseStatement(const QString &db); // the "use" listTables sends
    void cmdTableSizes_Click(int slot);

private:
    Form &m_form;
    ServerSessions &m_sessions;
    const LogPanes &m_log;
};

} // namespace quorix
