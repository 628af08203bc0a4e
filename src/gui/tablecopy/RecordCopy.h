#pragma once

// "Copy table by record" (cmdCopyTables) and the record-by-record copy it shares with "Copy to _NEW2":
// rows go one at a time from a source table into a target table, so that a row the server refuses is
// counted and the rest still arrive.
//
// Values travel as typed parameters, never as SQL text: an INSERT naming the target's columns is prepared
// on Main's session for a block of rows (db/RowBlocks: up to 2,099 parameters and 1,000 rows), value i of a
// source row going into target column i, so a block costs one round trip to the server. A block the server
// refuses is inserted again row by row, so that each refused row is counted once and every other row
// arrives, as when each row went on its own. The source is streamed on a reader beside the session (its
// second connection), so memory stays flat whatever the row count, while the inserts, IDENTITY_INSERT and
// every statement run on Main's session itself. STOP is looked at before each block; the progress of the
// rows of a block shows at its end.

#include <QString>
#include <QtGlobal>
#include <functional>

namespace quorix {

struct Form;
struct TableRef;
class ServerSessions;
class LogPanes;

class RecordCopy {
public:
    // Wires cmdCopyTables through the table batch runner.
    RecordCopy(Form &form, ServerSessions &sessions, const LogPanes &log);

    void cmdCopyTables_Click();

    // The selected table into the second database: creates the target from the source's columns (a failure
    // because it exists already is logged and the copy goes on), empties it, copies every row with explicit
    // identity values, logs "copied N" and "errors N".
    void CopyTableByRecord(const TableRef &t);
    // Every row of source into target (both qualified names as the statements write them), which must exist
    // with columns that take the source's values by position; logs each failure, then "copied N" and
    // "errors N". Sends nothing else and leaves lblCnt alone.
    void CopyRecords(const QString &source, const QString &target);
    // At every 100th row (shown when its block is done): flips lblWorking, lets the window paint and take a
    // click on STOP, shows count in lblCnt.
    void ShowCopyProgress(qint64 count);

    struct Counts {
        qint64 copied = 0; // source rows walked, refused ones included
        qint64 errors = 0; // failed steps
    };

private:
    // The row loop of both forms. beforeRows runs once the source and the target are open, just before the
    // first row; logFailures writes each failure's description to the log.
    Counts copyRows(const QString &source, const QString &target, bool logFailures,
                    const std::function<void()> &beforeRows);
    void logCounts(const Counts &counts);

    Form &m_form;
    ServerSessions &m_sessions;
    const LogPanes &m_log;
};

} // namespace quorix
