#pragma once

// Rows loaded into a table through the ODBC driver's bulk-copy functions (BcpDriver): each batch of rows
// goes to the server as one stream (INSERT BULK and the bulk-load message), with no statement for the
// server to parse and compile per block. The load runs on a connection of its own beside the session, as
// ServerReader reads beside it, opened with the session's login.
//
//     BulkCopy bulk(sessions.connection(0));
//     if (bulk.start("QRIX2.dbo.T", *columns, true) == BulkCopy::Started::Yes)
//         for (...) {
//             const BulkCopy::Sent sent = bulk.send(rows); // the leading rows it took, and how they fared
//             ... rows it did not take, or that the server refused, go another way ...
//         }
//
// Every call runs on the connection's worker thread. Failures of the server and of the driver are
// reported in what the calls return, never thrown. Each batch is journaled as the session's statements
// are ("INSERT BULK QRIX2.dbo.T (a, b)", with its rows), on the session's journal.

#include "core/db/BcpRow.h"
#include "core/db/PreparedStatement.h"
#include "core/db/ServerConnection.h"

#include <QStringList>
#include <memory>
#include <optional>

namespace quorix {

class BulkCopy {
public:
    // The columns of a load of rows whose values fill the target columns named (in order, typed as the
    // block path declares them) into a table of targetColumns, in its order; nullopt when the bulk path
    // cannot carry it: a column of a type it does not carry, or a column of the table, other than computed
    // and rowversion ones, that the rows leave out.
    static std::optional<std::vector<BcpRow::Column>> columnsFor(const std::vector<ColumnInfo> &targetColumns,
                                                                 const QStringList &names,
                                                                 const QStringList &types);
    // The table as the bulk-copy functions and SET IDENTITY_INSERT take it: "QRIX2..T" is "QRIX2.dbo.T".
    static QString tableName(const QString &qualifiedTable);

    // Beside session: its login, command timeout and journal. The session must outlive the load.
    explicit BulkCopy(const ServerConnection &session);
    ~BulkCopy();
    BulkCopy(const BulkCopy &) = delete;
    BulkCopy &operator=(const BulkCopy &) = delete;

    enum class Started {
        Yes,
        NoFunctions, // the driver offers no bulk-copy functions
        Failed,      // the connection or the start of the load failed (failure())
    };
    // Connects and starts loading table (tableName's form). keepIdentity: the rows carry the values of
    // the table's identity column, which it keeps.
    // names: the columns' names, for the journal.
    Started start(const QString &table, std::vector<BcpRow::Column> columns, const QStringList &names,
                  bool keepIdentity);
    const std::optional<DbError> &failure() const { return m_failure; }

    struct Sent {
        size_t taken = 0; // the leading rows that went in the batch; the rest hold a value it cannot carry
        std::optional<DbError> refused; // the server refused the batch: none of the taken rows is stored
        bool ended = false; // the load cannot go on: the taken rows were not stored, and no later ones go
    };
    // The rows (values as the columns of start() take them) as one batch, committed when it ends.
    Sent send(const std::vector<std::vector<QVariant>> &rows);

    // Ends the load and closes the connection.
    void close() noexcept;

private:
    bool begin(); // on the worker: bcp_init, the option, the binding; false with m_failure set
    DbError driverError(const QString &what) const;
    // On the worker: the journal's line for a batch of rows that the server stored or refused.
    void journal(qint64 rows, const std::optional<DbError> &refused, qint64 milliseconds);

    const ServerConnection &m_session;
    ServerConnection m_connection;
    ConnectionTarget m_target;
    QString m_journalText;               // "INSERT BULK QRIX2.dbo.T (a, b)"
    std::unique_ptr<BcpDriver> m_driver; // used on the worker only
    std::unique_ptr<BcpRow> m_row;
    QString m_table;
    bool m_keepIdentity = false;
    bool m_begun = false; // bcp_init has run since the last refusal
    bool m_ended = false;
    std::optional<DbError> m_failure;
};

} // namespace quorix
