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

bool walkDatabases(Form &form, ServerSessions &sessions, int slot, const std::function<WalkOn()> &work,
                   WalkRules rules) {
    Grid *grid = form.GridDB[static_cast<size_t>(slot)];
    const WalkItems rows{.count = [grid] { return grid->rows(); },
                         .reread = true,
                         .take = [&form, grid](int r) -> std::optional<QString> {
                             form.txtDB->setText(grid->textMatrix(r, 0));
                             return form.txtDB->text();
                         }};
    return runWalk(
        rows, [&work](int) { return work(); }, rules, windowWalk(form, &sessions));
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
    if (!form.txtDB->text().trimmed().isEmpty())
        return true;
    log.LogLine(QLatin1String(kNoDatabase));
    return false;
}

void forCurrentOrAllDatabases(Form &form, ServerSessions &sessions, int slot,
                              const std::function<WalkOn()> &work, WalkRules rules) {
    if (form.chkALL->isChecked())
        walkDatabases(form, sessions, slot, work, rules);
    else
        work();
}

} // namespace quorix
