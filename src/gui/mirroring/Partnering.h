#pragma once

// The partnering buttons of the "Main Tools" tab: pairing a restored database with its copy on the other
// server, bringing a database back online, full recovery on Main, clearing a database's connections and
// dropping databases on the Mirror. Every statement goes through ExecuteOnServer, which logs it and its
// outcome; a failure never stops the statements after it. Each step takes its database (and Set Partner
// the other server's box) once, at its start.

#include <QString>

namespace quorix {

struct Form;
class ServerSessions;
class DatabaseLists;
class LogPanes;

class Partnering {
public:
    // Wires the six buttons of each column.
    Partnering(Form &form, ServerSessions &sessions, const LogPanes &log, DatabaseLists &lists);

    // SET PARTNER naming the other server's mirroring endpoint, then SET PARTNER SAFETY OFF; with ALL DBS for
    // every database of the slot's list (STOP ends the walk and stays ticked).
    void cmdSetPartner_Click(int slot);
    // Partner off, recovery, full recovery model: all three always sent; ALL DBS as Set Partner.
    void cmdMakeOnline_Click(int slot);
    // Kills every connection to txtDB (no ALL mode).
    void cmdClearConnections_Click(int slot);
    // On the Mirror: DROP DATABASE, then the top row of its list becomes txtDB and the list is reloaded.
    // On Main nothing happens: databases are never dropped there.
    void cmdDrop_Click(int slot);
    // As many passes as the list has rows at the start, each on the top row, which Clear Connections, Make
    // Online and DropDB are handed as the pass's database (a click on a list meanwhile changes none of them).
    void cmdDropAll_Click(int slot);
    // "Full Recovery Mode" (Main only): SET RECOVERY FULL; ALL DBS as Set Partner.
    void cmdFullRecovery_Click(int slot);

    // The address a server's mirroring endpoint is reached at: the host of its server box, without the
    // SQL Server port or instance name, which the endpoint does not share.
    static QString partnerAddress(const QString &serverBox);

private:
    // The steps of the buttons on a database given: Drop ALL hands them its pass's database. makeOnline
    // returns the database its walk ended on (current without ALL DBS).
    QString makeOnline(int slot, const QString &current);
    void clearConnections(int slot, const QString &db);
    void drop(int slot, const QString &db);

    Form &m_form;
    ServerSessions &m_sessions;
    const LogPanes &m_log;
    DatabaseLists &m_lists;
};

} // namespace quorix
