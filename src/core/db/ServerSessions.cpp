#include "core/db/ServerSessions.h"

#include "core/db/ConnectionString.h"
#include "core/db/MaskPasswords.h"
#include "core/db/ScriptOnly.h"

#include <algorithm>
#include <stdexcept>

namespace quorix {

namespace {
// The user saw the refused certificate and left it untrusted: the connect failed, and was told already.
struct TrustDeclined {};
} // namespace

ServerSessions::ServerSessions(SessionHost &host, const LogSink &log, QObject *parent)
    : QObject(parent), m_host(host), m_log(log) {}

void ServerSessions::noteFailure(size_t slot, const DbError &e) {
    // Not the whole class 08: the driver reports a USE of a missing database as 08004. And it does not
    // always say so in the failure itself (a connection dropped in the middle of a reply comes as a plain
    // message), so it is asked too.
    const bool lost = std::any_of(e.records().begin(), e.records().end(), [](const DiagRecord &r) {
        return r.state == QLatin1String("08S01") || r.state == QLatin1String("08003") ||
               r.state == QLatin1String("08007");
    });
    m_linkLost[slot] = m_linkLost[slot] || lost || m_conn[slot].linkLost();
}

void ServerSessions::reconnectLostLinks() {
    for (int slot = 0; slot < static_cast<int>(m_conn.size()); ++slot)
        reconnectLostLink(slot);
}

bool ServerSessions::reconnectLostLink(int slot) {
    const auto i = static_cast<size_t>(checked(slot));
    if (!m_linkLost[i] || !m_connected[i])
        return false;
    try {
        const ConnectionTarget same = m_conn[i].target(); // the server it was on, whatever the boxes say
        m_conn[i].close();
        m_conn[i].setCommandTimeout(kOpenTimeout);
        m_conn[i].open(same);
        m_linkLost[i] = false;
        m_log.LogLine(QStringLiteral("Reconnected."));
        return true;
    } catch (const DbError &e) {
        ++m_failures;
        m_log.LogLine(e.description());
        return false;
    }
}

bool ServerSessions::linkLost(int slot) {
    const auto i = static_cast<size_t>(checked(slot));
    if (!m_linkLost[i] && m_connected[i] && m_conn[i].linkLost())
        m_linkLost[i] = true;
    return m_linkLost[i];
}

void ServerSessions::setJournal(StatementJournal *journal) {
    for (ServerConnection &c : m_conn)
        c.setJournal(journal);
}

int ServerSessions::checked(int slot) {
    if (slot < 0 || slot > 1)
        throw std::out_of_range("server slot must be 0 or 1");
    return slot;
}

ServerConnection &ServerSessions::connection(int slot) {
    return m_conn[static_cast<size_t>(checked(slot))];
}

bool ServerSessions::connected(int slot) const {
    return m_connected[static_cast<size_t>(checked(slot))];
}

QString ServerSessions::connectionString(int slot) const {
    const auto i = static_cast<size_t>(checked(slot));
    if (m_connected[i] || m_opening[i])
        return m_conn[i].connectionString();
    return hostConnectionString(i);
}

ConnectionTarget ServerSessions::target(int slot) const {
    const auto i = static_cast<size_t>(checked(slot));
    if (m_connected[i] || m_opening[i])
        return m_conn[i].target();
    return hostTarget(i);
}

QString ServerSessions::hostConnectionString(size_t i) const {
    const int slot = static_cast<int>(i);
    return sessionConnectionString(m_host.serverName(slot), m_host.login(slot), m_host.password(slot));
}

ConnectionTarget ServerSessions::hostTarget(size_t i) const {
    return {hostConnectionString(i), m_host.connectionOptions(static_cast<int>(i))};
}

void ServerSessions::openConnection(size_t i, const ConnectionTarget &target) {
    try {
        m_conn[i].open(target);
    } catch (const DbError &e) {
        const auto refused = m_conn[i].refusedCertificate();
        if (!refused)
            throw;
        const int slot = static_cast<int>(i);
        const QString message =
            e.description() +
            QStringLiteral("\nTo trust this certificate for %1 from now on, press \"Trust this "
                           "certificate\" (headless: --trust-certificate %2=%3).")
                .arg(parseOleDbConnectionString(target.connectionString).server)
                .arg(slot)
                .arg(refused->sha256());
        if (!m_host.offerTrust(slot, message, *refused))
            throw TrustDeclined{};
        m_conn[i].open(hostTarget(i)); // the host now names the trusted certificate
    }
}

void ServerSessions::OpenServerSession(int slot) {
    const auto i = static_cast<size_t>(checked(slot));
    // A handler started while this slot's session is being opened (the window stays live meanwhile) finds
    // it opening: its statements queue behind the opening on the slot's worker and run once it is open.
    if (m_connected[i] || m_opening[i])
        return;
    m_connected[i] = false;
    m_opening[i] = true;
    try {
        m_conn[i].setCommandTimeout(kOpenTimeout);
        openConnection(i, hostTarget(i));
        m_opening[i] = false;
        m_log.LogLine(QStringLiteral("Connected."));
        if (!m_conn[i].notice().isEmpty())
            m_log.LogLine(m_conn[i].notice());
        m_connected[i] = true;
    } catch (const TrustDeclined &) {
        m_opening[i] = false;
        ++m_failures; // the host has shown the message already
    } catch (const DbError &e) {
        m_opening[i] = false;
        ++m_failures;
        m_host.tell(e.description());
    }
}

void ServerSessions::EnsureServerSession(int slot) {
    if (!connected(slot))
        OpenServerSession(slot);
}

void ServerSessions::cmdConnect_Click(int slot) {
    const auto i = static_cast<size_t>(checked(slot));
    m_conn[i].close();
    m_connected[i] = false;
    m_linkLost[i] = false;
    OpenServerSession(slot);
}

Outcome ServerSessions::ExecuteOnServer(int slot, const QString &sql) {
    const auto i = static_cast<size_t>(checked(slot));
    std::unique_ptr<HostScope> busy = m_host.busy();
    try {
        m_log.LogLine(QStringLiteral("Running SQL.."));
        EnsureServerSession(slot);
        // Kept back by Script only, the gate logs it as not sent, and nothing is done.
        const bool keptBack = scriptOnly().collects(sql);
        if (!keptBack)
            m_log.LogLine(maskStatementPasswords(sql));
        m_conn[i].setCommandTimeout(kExecuteTimeout);
        std::unique_ptr<HostScope> progress;
        if (!keptBack)
            progress = m_host.followStatement(m_conn[i].target(), sql);
        m_conn[i].execute(sql);
        if (!keptBack)
            m_log.LogLine(QStringLiteral("Done"));
        return Outcome();
    } catch (const DbError &e) {
        busy.reset();
        ++m_failures;
        noteFailure(i, e);
        m_log.LogLine(e.description());
        return Outcome::failed(e);
    }
}

QString ServerSessions::OpenQuery(int slot, const QString &sql, bool quiet) {
    const auto i = static_cast<size_t>(checked(slot));
    m_rs.close();
    std::unique_ptr<HostScope> busy = m_host.busy();
    try {
        EnsureServerSession(slot);
        m_rs.open(m_conn[i], sql);
        return QString();
    } catch (const DbError &e) {
        busy.reset();
        m_rs.close();
        noteFailure(i, e);
        const QString text = e.description() + QLatin1Char(' ') + maskStatementPasswords(sql);
        if (!quiet) {
            ++m_failures;
            m_log.LogLine(text);
        }
        return text;
    }
}

bool ServerSessions::cancelRunning() {
    bool any = false;
    for (ServerConnection &c : m_conn)
        any = c.cancel() || any;
    return any;
}

} // namespace quorix
