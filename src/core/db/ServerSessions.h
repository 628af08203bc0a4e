#pragma once

// The two server sessions (slot 0 = Main, slot 1 = Mirror), the shared recordset and SQL execution: the
// procedures every feature calls to reach a server. Their steps and failures go to a log sink, and what
// they need of the user (server names and passwords, a message, the hourglass) comes from their host
// (SessionHost.h): the window in the program, a plain recorder in a test that has no window.
//
//   ExecuteOnServer(slot, sql)     runs a command; logs "Running SQL..", the text, then "Done" or the failure
//                                  (held back by Script only: "Not sent (Script only): " + text, no "Done");
//                                  returns the Outcome, which most callers leave: the log has said it
//   OpenQuery(slot, sql, quiet)    opens the shared recordset; "" on success, else description + " " + sql
//   rs()                           the shared recordset, read after a successful OpenQuery:
//                                    while (!rs().eof()) { rs().value(0); rs().moveNext(); }
//                                  or shown in a grid: bindGrid(*form.GridDB[0], rs()) (GridBinding.h)
//   connection(slot)               the slot's connection, for statements and result sets of one's own
//
// No procedure throws on a server failure; each reports it as described at its declaration. Statements
// run on the connection's worker thread while the window keeps processing events, so STOP and the other
// controls stay live; cancelRunning() (the window's cmdCancel) cancels the statement that is running.

#include "core/db/Outcome.h"
#include "core/db/Recordset.h"
#include "core/db/ServerConnection.h"
#include "core/db/SessionHost.h"

#include <QObject>
#include <array>

namespace quorix {

class ServerSessions : public QObject {
    Q_OBJECT
public:
    static constexpr int kOpenTimeout = 3600;     // command timeout after connecting
    static constexpr int kExecuteTimeout = 10000; // from the first ExecuteOnServer on

    // Steps and failures go to log; server names, passwords and messages to the user through host. Both
    // must outlive the sessions.
    ServerSessions(SessionHost &host, const LogSink &log, QObject *parent = nullptr);

    // What the two sessions send, and what "Script only" holds back, goes to journal (reads excepted);
    // nullptr stops it. The journal must outlive the sessions.
    void setJournal(StatementJournal *journal);

    // Opens the slot's session unless it is flagged connected; logs "Connected.". A failure is told to the
    // user (host's tell) with the driver's description and leaves the slot unconnected.
    void OpenServerSession(int slot);
    void EnsureServerSession(int slot);
    // Closes the slot's session (ignoring failures) and opens it again (the window's cmdConnect).
    void cmdConnect_Click(int slot);
    // Failures are logged (the driver's description) and counted; the outcome carries the server's records.
    Outcome ExecuteOnServer(int slot, const QString &sql);
    // Empty on success; otherwise description + " " + sql, also logged unless quiet. The shared recordset
    // is then closed.
    QString OpenQuery(int slot, const QString &sql, bool quiet);

    Recordset &rs() { return m_rs; }
    // For statements (execute) and result sets (openRecordset) of a feature's own. Throws DbError on
    // failure; a closed connection fails with "Operation is not allowed when the object is closed.".
    ServerConnection &connection(int slot);
    bool connected(int slot) const;
    // The session's own connection string: once the slot's session is open (or opening), the string it was
    // opened with; before that, the host's server name and password as they stand. Every connection
    // opened beside a session (a reader, a monitor) takes it, so it reaches the server the session is on
    // even after the window's boxes were edited: the boxes count at Connect.
    QString connectionString(int slot) const;
    // The same, with how the connection is protected: what every connection beside the session opens with.
    ConnectionTarget target(int slot) const;

    // Failures reported so far (failed connects, failed commands, failed queries that were not quiet), so a
    // scheduled run can tell that something went wrong.
    int failures() const { return m_failures; }

    // Cancels the statement running on either slot (cmdCancel); it then fails like any other statement.
    bool cancelRunning();

    // A session whose link failed (communication link failure, connection not open, or the driver finds it
    // dead) is opened again on the same server (its own connection string), once per call, with the line
    // "Reconnected.". Walks call this between databases only: a statement that relied on the old
    // connection's state (a USE, IDENTITY_INSERT) is never replayed on the new one. A failed attempt is
    // logged and counted, and the next call tries again.
    void reconnectLostLinks();
    // The same for one slot; true when it reconnected, so a walk over the tables of one database knows the
    // session is back in its login's database and sends its USE again before the next table.
    bool reconnectLostLink(int slot);
    // Whether the slot's session lost its link: as a failure of its statements said, or as the driver finds
    // it (a failure of a statement of a feature's own on connection(slot)); a lost link stays noted until
    // the session reconnects.
    bool linkLost(int slot);
    // A failure a feature reported itself (a table whose work the lost link cut short), counted with the
    // others.
    void countFailure() { ++m_failures; }

private:
    static int checked(int slot);
    QString hostConnectionString(size_t slot) const;
    ConnectionTarget hostTarget(size_t slot) const;
    // Opens the slot's connection; a refused certificate is offered to the user once, and the connection
    // tried again when trusted. Throws DbError.
    void openConnection(size_t slot, const ConnectionTarget &target);

    SessionHost &m_host;
    const LogSink &m_log;
    std::array<ServerConnection, 2> m_conn;
    std::array<bool, 2> m_connected{};
    int m_failures = 0;
    std::array<bool, 2> m_opening{};
    std::array<bool, 2> m_linkLost{};
    void noteFailure(size_t slot, const DbError &e);
    Recordset m_rs; // after m_conn: released first
};

} // namespace quorix
