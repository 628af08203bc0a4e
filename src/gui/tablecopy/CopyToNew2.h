#pragma once

// "Copy to _NEW2" (cmdCopytoNEW): a fresh copy of the selected table inside the current database, named
// after it with "_NEW2". An older copy of that name is dropped, the new one takes the source's columns from
// a SELECT ... INTO, is emptied and is filled row by row, so that rows the server refuses are counted and
// skipped. The selected table only; STOP is read by the row loop alone.

namespace quorix {

struct Form;
struct TableRef;
class ServerSessions;
class LogPanes;
class RecordCopy;

class CopyToNew2 {
public:
    // Wires cmdCopytoNEW; rows are copied by copy's CopyRecords.
    CopyToNew2(Form &form, ServerSessions &sessions, const LogPanes &log, RecordCopy &copy);

    // Without a selected table, or when the current database cannot be used or the old copy looked up on
    // Main's session, one line says so and the rest is not sent.
    void cmdCopytoNEW_Click();

private:
    void copySelected(const TableRef &t);

    Form &m_form;
    ServerSessions &m_sessions;
    const LogPanes &m_log;
    RecordCopy &m_copy;
};

} // namespace quorix
