#pragma once

// The small table and database commands of the Copy tab and the table browser, each one statement to Main:
//   "Truncate" (cmdTruncate) and "Check" (cmdCheckTables), through the table batch runner;
//   "single user" (Command1) and "multi user" (Command2) for the current database;
//   a click on a row of the table browser (Grid2), which logs the table's row count as "ROWS: N".
// No confirmation is asked; a refusal is the OpenQuery failure line.

namespace quorix {

struct Form;
struct TableRef;
class ServerSessions;
class LogPanes;

class TableMaintenance {
public:
    // Wires the four buttons and the click on Grid2.
    TableMaintenance(Form &form, ServerSessions &sessions, const LogPanes &log);

    void cmdTruncate_Click();
    void cmdCheckTables_Click();
    void Command1_Click();
    void Command2_Click();
    void Grid2_Click();

    void TruncateSelectedTable(const TableRef &t);
    void CheckSelectedTable(const TableRef &t);

private:
    Form &m_form;
    ServerSessions &m_sessions;
    const LogPanes &m_log;
};

} // namespace quorix
