#include "gui/ui/DatabaseWalk.h"

#include "core/db/ServerSessions.h"
#include "gui/ui/Form.h"
#include "gui/ui/LogPanes.h"
#include "gui/ui/widgets/Grid.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QLineEdit>
#include <QMainWindow>
#include <QStatusBar>
#include <algorithm>

namespace quorix {

WalkHooks windowWalk(Form &form, ServerSessions *sessions) {
    WalkHooks hooks;
    if (sessions)
        hooks.beforeStep = [sessions] { sessions->reconnectLostLinks(); };
    hooks.progress = [&form](const QString &text) {
        if (!form.frmMain)
            return;
        if (text.isEmpty())
            form.frmMain->statusBar()->clearMessage();
        else
            form.frmMain->statusBar()->showMessage(text);
    };
    hooks.yield = [] { QCoreApplication::processEvents(); };
    hooks.stopTicked = [&form] { return form.chkStop->isChecked(); };
    hooks.untickStop = [&form] { form.chkStop->setChecked(false); };
    hooks.allTicked = [&form] { return form.chkALL->isChecked(); };
    return hooks;
}

WalkHooks tableWalk(Form &form, ServerSessions &sessions, std::vector<int> sessionSlots,
                    std::function<void(int slot)> reenter) {
    WalkHooks hooks = windowWalk(form, nullptr);
    hooks.beforeStep = [&sessions, sessionSlots = std::move(sessionSlots), reenter = std::move(reenter)] {
        for (const int slot : sessionSlots)
            if (sessions.reconnectLostLink(slot) && reenter)
                reenter(slot);
    };
    return hooks;
}

QString tableCutLine(const QString &table) {
    return table + QStringLiteral(" failed: the link to the server was lost");
}

bool tableCutOff(ServerSessions &sessions, const LogPanes &log, const std::vector<int> &sessionSlots,
                 const QString &table) {
    if (std::none_of(sessionSlots.begin(), sessionSlots.end(),
                     [&sessions](int slot) { return sessions.linkLost(slot); }))
        return false;
    log.LogLine(tableCutLine(table));
    log.LogError(tableCutLine(table));
    sessions.countFailure();
    return true;
}

bool walkDatabases(Form &form, ServerSessions &sessions, int slot, const DatabaseStep &work, WalkRules rules,
                   QString *last) {
    Grid *grid = form.GridDB[static_cast<size_t>(slot)];
    // The step's database, as the box took it: what the work acts on, whatever the box shows meanwhile.
    QString step;
    const WalkItems rows{.count = [grid] { return grid->rows(); },
                         .reread = true,
                         .take = [&form, grid, &step, last](int r) -> std::optional<QString> {
                             form.txtDB->setText(grid->textMatrix(r, 0));
                             step = form.txtDB->text();
                             if (last)
                                 *last = step;
                             return step;
                         }};
    return runWalk(
        rows, [&work, &step](int) { return work(step); }, rules, windowWalk(form, &sessions));
}

bool walkNames(Form &form, ServerSessions &sessions, const QStringList &names,
               const std::function<WalkOn(const QString &)> &work, WalkRules rules,
               const std::function<QString(const QString &)> &label) {
    const WalkItems items{.count = [&names] { return static_cast<int>(names.size()); },
                          .reread = false,
                          .take = [&names, &label](int i) -> std::optional<QString> {
                              const QString shown = label ? label(names[i]) : QString();
                              return shown.isEmpty() ? names[i] : shown;
                          }};
    return runWalk(
        items, [&](int i) { return work(names[i]); }, rules, windowWalk(form, &sessions));
}

bool databaseNamed(const Form &form, const LogPanes &log) {
    return databaseNamed(form.txtDB->text(), log);
}

bool databaseNamed(const QString &db, const LogPanes &log) {
    if (!db.trimmed().isEmpty())
        return true;
    log.LogLine(QLatin1String(kNoDatabase));
    return false;
}

QString forCurrentOrAllDatabases(Form &form, ServerSessions &sessions, int slot, const DatabaseStep &work,
                                 WalkRules rules, const std::optional<QString> &current) {
    QString db = current ? *current : form.txtDB->text();
    if (form.chkALL->isChecked())
        walkDatabases(form, sessions, slot, work, rules, &db);
    else
        work(db);
    return db;
}

} // namespace quorix
