#include "gui/mirroring/Partnering.h"

#include "core/db/ConnectionString.h"
#include "core/db/ScriptOnly.h"
#include "core/db/ServerSessions.h"
#include "core/mirroring/PartnerSql.h"
#include "gui/ui/DatabaseLists.h"
#include "gui/ui/DatabaseWalk.h"
#include "gui/ui/Form.h"
#include "gui/ui/Hourglass.h"
#include "gui/ui/LogPanes.h"
#include "gui/ui/Operations.h"
#include "gui/ui/widgets/Grid.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QLineEdit>
#include <QPushButton>

namespace quorix {

namespace {

// Set Partner, Make Online and Full Recovery Mode: STOP ends the walk after a database and stays ticked.
constexpr WalkRules kWalk{.stopOnStop = true, .untickStop = false, .followAll = true};

} // namespace

Partnering::Partnering(Form &form, ServerSessions &sessions, const LogPanes &log, DatabaseLists &lists)
    : m_form(form), m_sessions(sessions), m_log(log), m_lists(lists) {
    for (int slot = 0; slot < 2; ++slot) {
        const auto i = static_cast<size_t>(slot);
        Operations::onClick(m_form.cmdSetPartner[i], [this, slot] { cmdSetPartner_Click(slot); });
        Operations::onClick(m_form.cmdMakeOnline[i], [this, slot] { cmdMakeOnline_Click(slot); });
        Operations::onClick(m_form.cmdClearConnections[i], [this, slot] { cmdClearConnections_Click(slot); });
        Operations::onClick(m_form.cmdDrop[i], [this, slot] { cmdDrop_Click(slot); });
        Operations::onClick(m_form.cmdDropAll[i], [this, slot] { cmdDropAll_Click(slot); });
    }
    Operations::onClick(m_form.cmdFullRecovery[0], [this] { cmdFullRecovery_Click(0); });
}

QString Partnering::partnerAddress(const QString &serverBox) {
    return parseServerAddress(serverBox).host;
}

void Partnering::cmdSetPartner_Click(int slot) {
    forCurrentOrAllDatabases(
        m_form, m_sessions, slot,
        [this, slot](const QString &db) {
            if (!databaseNamed(db, m_log))
                return WalkOn::Next;
            // The Mirror is told Main's address, Main the Mirror's: the box as the step starts.
            const QString other = m_form.txtServer[static_cast<size_t>(1 - slot)]->text();
            Hourglass hourglass;
            QCoreApplication::processEvents();
            m_sessions.ExecuteOnServer(slot, setPartnerStatement(db, partnerAddress(other)));
            m_sessions.ExecuteOnServer(slot, setSafetyOffStatement(db));
            return WalkOn::Next;
        },
        kWalk);
}

void Partnering::cmdMakeOnline_Click(int slot) {
    makeOnline(slot, m_form.txtDB->text());
}

QString Partnering::makeOnline(int slot, const QString &current) {
    return forCurrentOrAllDatabases(
        m_form, m_sessions, slot,
        [this, slot](const QString &db) {
            if (!databaseNamed(db, m_log))
                return WalkOn::Next;
            Hourglass hourglass;
            QCoreApplication::processEvents();
            // On a database that is not mirrored or already online the first two fail; the third still runs.
            m_sessions.ExecuteOnServer(slot, partnerOffStatement(db));
            m_sessions.ExecuteOnServer(slot, recoverDatabaseStatement(db));
            m_sessions.ExecuteOnServer(slot, fullRecoveryStatement(db));
            return WalkOn::Next;
        },
        kWalk, current);
}

void Partnering::cmdFullRecovery_Click(int slot) {
    forCurrentOrAllDatabases(
        m_form, m_sessions, slot,
        [this, slot](const QString &db) {
            if (!databaseNamed(db, m_log))
                return WalkOn::Next;
            Hourglass hourglass;
            m_sessions.ExecuteOnServer(slot, fullRecoveryStatement(db));
            return WalkOn::Next;
        },
        kWalk);
}

void Partnering::cmdClearConnections_Click(int slot) {
    clearConnections(slot, m_form.txtDB->text());
}

void Partnering::clearConnections(int slot, const QString &db) {
    if (!databaseNamed(db, m_log))
        return;
    m_sessions.ExecuteOnServer(slot, clearConnectionsBatch(db));
}

void Partnering::cmdDrop_Click(int slot) {
    drop(slot, m_form.txtDB->text());
}

void Partnering::drop(int slot, const QString &db) {
    if (slot != 1)
        return; // databases are never dropped on Main
    if (!databaseNamed(db, m_log))
        return;
    m_sessions.ExecuteOnServer(1, dropDatabaseStatement(db));
    // The top row of the list as it stood before the drop becomes the current database.
    m_form.GridDB[1]->setRow(0);
    m_lists.GridDB_Click(1);
    m_lists.cmdRefreshDB_Click(1);
}

void Partnering::cmdDropAll_Click(int slot) {
    Grid *grid = m_form.GridDB[static_cast<size_t>(slot)];
    QString step;
    // As many passes as the list had names, the count taken once.
    const WalkItems passes{.count = [grid] { return grid->rows(); },
                           .reread = false,
                           .take = [this, grid, &step](int pass) -> std::optional<QString> {
                               // A list emptied sooner (databases dropped elsewhere meanwhile) leaves no
                               // name to act on.
                               if (grid->rows() == 0)
                                   return std::nullopt;
                               // Always the top row: each drop reloads the list. A dry run drops nothing, so
                               // its list keeps every name: it takes them in turn.
                               const bool dryRun = scriptOnly().active() && !m_form.chkALL->isChecked() &&
                                                   pass < grid->rows();
                               m_form.txtDB->setText(grid->textMatrix(dryRun ? pass : 0, 0));
                               step = m_form.txtDB->text();
                               return step;
                           }};
    runWalk(
        passes,
        [this, slot, &step](int) {
            // Each pass acts on its own name; with ALL DBS, Make Online walks the list and the drop takes the
            // database that walk ended on, as the box then names it.
            clearConnections(slot, step);
            drop(slot, makeOnline(slot, step));
            return WalkOn::Next;
        },
        WalkRules{.stopOnStop = false, .untickStop = false, .followAll = false},
        windowWalk(m_form, &m_sessions));
}

} // namespace quorix
