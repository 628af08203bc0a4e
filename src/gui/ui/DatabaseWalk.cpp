#include "gui/ui/DatabaseWalk.h"

#include "gui/ui/Form.h"
#include "gui/ui/LogPanes.h"
#include "gui/ui/widgets/Grid.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QLineEdit>
#include <QMainWindow>
#include <QStatusBar>
#include <map>

namespace quorix {

namespace {

// After one database: whether the walk goes on.
bool goOn(Form &form, const WalkRules &rules) {
    QCoreApplication::processEvents();
    if (rules.stopOnStop && form.chkStop->isChecked()) {
        if (rules.untickStop)
            form.chkStop->setChecked(false);
        return false;
    }
    return !rules.followAll || form.chkALL->isChecked();
}

std::map<const Form *, std::function<void()>> &walkHooks() {
    static std::map<const Form *, std::function<void()>> hooks;
    return hooks;
}

} // namespace

void setBeforeWalkStep(const Form &form, std::function<void()> hook) {
    if (hook)
        walkHooks()[&form] = std::move(hook);
    else
        walkHooks().erase(&form);
}

QString walkProgress(int number, int count, const QString &name) {
    return QStringLiteral("%1 of %2: %3").arg(number).arg(count).arg(name);
}

WalkSteps::~WalkSteps() {
    if (m_form.frmMain)
        m_form.frmMain->statusBar()->clearMessage();
}

void WalkSteps::step(int number, int count, const QString &name) {
    if (const auto hook = walkHooks().find(&m_form); hook != walkHooks().end())
        hook->second();
    if (m_form.frmMain)
        m_form.frmMain->statusBar()->showMessage(walkProgress(number, count, name));
}

bool walkDatabases(Form &form, int slot, const std::function<void()> &work, WalkRules rules) {
    Grid *grid = form.GridDB[static_cast<size_t>(slot)];
    WalkSteps steps(form);
    for (int r = 0; r < grid->rows(); ++r) {
        form.txtDB->setText(grid->textMatrix(r, 0));
        steps.step(r + 1, grid->rows(), form.txtDB->text());
        work();
        if (!goOn(form, rules))
            return false;
    }
    return true;
}

bool walkNames(Form &form, const QStringList &names, const std::function<void(const QString &)> &work,
               WalkRules rules, const std::function<QString(const QString &)> &label) {
    WalkSteps steps(form);
    const auto count = static_cast<int>(names.size());
    for (int i = 0; i < count; ++i) {
        const QString shown = label ? label(names[i]) : QString();
        steps.step(i + 1, count, shown.isEmpty() ? names[i] : shown);
        work(names[i]);
        if (!goOn(form, rules))
            return false;
    }
    return true;
}

bool databaseNamed(const Form &form, const LogPanes &log) {
    if (!form.txtDB->text().trimmed().isEmpty())
        return true;
    log.LogLine(QLatin1String(kNoDatabase));
    return false;
}

void forCurrentOrAllDatabases(Form &form, int slot, const std::function<void()> &work, WalkRules rules) {
    if (form.chkALL->isChecked())
        walkDatabases(form, slot, work, rules);
    else
        work();
}

} // namespace quorix
