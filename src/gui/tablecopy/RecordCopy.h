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
//
// Where the ODBC driver offers bulk-copy functions (db/BulkCopy), the rows go through them instead, in
// batches of up to 1,000 rows, each a stream the server stores with no statement to parse: on a
// connection of its own beside the session, identity values kept. A batch the server refuses is copied
// again through the blocks, so each refused row is counted once and every other row arrives; a table or a
// type the bulk path cannot carry goes through the blocks, and so does everything under "Script only".
// When the driver has no such functions the log says so once.

#include <QString>
#include <QtGlobal>
#include <algorithm>
#include <functional>
#include <memory>
#include <vector>

namespace quorix {

struct ColumnInfo;
struct Form;
struct InsertPlan;
struct TableRef;
class BlockStatement;
class BulkCopy;
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

    // Whether a copy may take the bulk path (default yes, in batches of kBulkBatchRows rows); without it
    // every copy goes through the blocks.
    // The rows of one batch: enough that the two round trips a batch costs (its end, and the start of the
    // next) matter little, and no more than a server may have stored of a batch it then refuses (a T-SQL
    // engine that commits 1,000-row parts of a load it fails), so that copying a refused batch again
    // through the blocks never copies a row twice.
    static constexpr int kBulkBatchRows = 1000;
    void setBulkCopy(bool allowed, int batchRows = kBulkBatchRows) {
        m_bulkAllowed = allowed;
        m_bulkBatchRows = std::max(1, batchRows);
    }

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
    // The bulk load of the plan's rows into target, when it can take them; nullptr otherwise.
    std::unique_ptr<BulkCopy> startBulk(const QString &target, const std::vector<ColumnInfo> &columns,
                                        const InsertPlan &plan, const BlockStatement &insert);

    Form &m_form;
    ServerSessions &m_sessions;
    const LogPanes &m_log;
    bool m_bulkAllowed = true;
    int m_bulkBatchRows = kBulkBatchRows;
    bool m_toldNoBulk = false; // the log has said that the driver offers no bulk copy
};

} // namespace quorix
