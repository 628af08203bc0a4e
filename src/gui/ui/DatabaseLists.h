#pragma once

// The database lists of both servers and the table browser: "RefreshDB", a click making a database the
// current one (txtDB), a double click listing the current database's tables with their sizes on Main, and
// "Table Sizes" running the size script of txtTableSizes.

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
    void cmdTableSizes_Click(int slot);

private:
    Form &m_form;
    ServerSessions &m_sessions;
    const LogPanes &m_log;
};

} // namespace quorix
