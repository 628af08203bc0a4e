#include "gui/ui/ServerSessions.h"

#include "core/db/ConnectionString.h"
#include "core/db/ScriptOnly.h"
#include "gui/ui/Form.h"
#include "gui/ui/Hourglass.h"
#include "gui/ui/LogPanes.h"
#include "gui/ui/Operations.h"
#include "gui/ui/Prompt.h"
#include "gui/ui/StatementProgress.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <algorithm>
#include <optional>
#include <stdexcept>

namespace quorix {

ServerSessions::ServerSessions(Form &form, const LogPanes &log, QObject *parent)
    : QObject(parent), m_form(form), m_log(log) {
    for (int slot = 0; slot < 2; ++slot)
        if (QPushButton *b = m_form.cmdConnect[static_cast<size_t>(slot)])
            Operations::onClick(b, [this, slot] { cmdConnect_Click(slot); });
    if (m_form.cmdCancel)
        connect(m_form.cmdCancel, &QPushButton::clicked, this, [this] { cancelRunning(); });
}

ServerSessions::~ServerSessions() {}

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
    for (size_t i = 0; i < m_conn.size(); ++i) {
        if (!m_linkLost[i] || !m_connected[i])
            continue;
        try {
            const QString same = m_conn[i].connectionString(); // the server it was on, whatever the boxes say
            m_conn[i].close();
            m_conn[i].setCommandTimeout(kOpenTimeout);
            m_conn[i].open(same);
            m_linkLost[i] = false;
            m_log.LogLine(QStringLiteral("Reconnected."));
        } catch (const DbError &e) {
            ++m_failures;
            m_log.LogLine(e.description());
        }
    }
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
    return boxesConnectionString(i);
}

QString ServerSessions::boxesConnectionString(size_t i) const {
    const QString server = m_form.txtServer[i] ? m_form.txtServer[i]->text() : QString();
    const QString password = m_form.txtPW[i] ? m_form.txtPW[i]->text() : QString();
    return sessionConnectionString(server, password);
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
        const QString cs = boxesConnectionString(i);
        m_conn[i].setCommandTimeout(kOpenTimeout);
        m_conn[i].open(cs);
        m_opening[i] = false;
        m_log.LogLine(QStringLiteral("Connected."));
        m_connected[i] = true;
    } catch (const DbError &e) {
        m_opening[i] = false;
        ++m_failures;
        Prompt::msgBox(e.description());
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

void ServerSessions::ExecuteOnServer(int slot, const QString &sql) {
    const auto i = static_cast<size_t>(checked(slot));
    Hourglass hourglass;
    try {
        m_log.LogLine(QStringLiteral("Running SQL.."));
        EnsureServerSession(slot);
        // Kept back by Script only, the gate logs it as not sent, and nothing is done.
        const bool keptBack = scriptOnly().collects(sql);
        if (!keptBack)
            m_log.LogLine(sql);
        m_conn[i].setCommandTimeout(kExecuteTimeout);
        std::optional<StatementProgress> progress;
        if (isLongStatement(sql) && !keptBack)
            progress.emplace(m_form, m_conn[i].connectionString(), sql);
        m_conn[i].execute(sql);
        if (!keptBack)
            m_log.LogLine(QStringLiteral("Done"));
    } catch (const DbError &e) {
        hourglass.restore();
        ++m_failures;
        noteFailure(i, e);
        m_log.LogLine(e.description());
    }
}

QString ServerSessions::OpenQuery(int slot, const QString &sql, bool quiet) {
    const auto i = static_cast<size_t>(checked(slot));
    m_rs.close();
    Hourglass hourglass;
    try {
        EnsureServerSession(slot);
        m_rs.open(m_conn[i], sql);
        return QString();
    } catch (const DbError &e) {
        hourglass.restore();
        m_rs.close();
        noteFailure(i, e);
        const QString text = e.description() + QLatin1Char(' ') + sql;
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
