#include "db/DatabaseWalk.h"

#include "db/LogPanes.h"
#include "ui/Form.h"
#include "ui/widgets/Grid.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QLineEdit>

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

} // namespace

bool walkDatabases(Form &form, int slot, const std::function<void()> &work, WalkRules rules) {
    Grid *grid = form.GridDB[static_cast<size_t>(slot)];
    for (int r = 0; r < grid->rows(); ++r) {
        form.txtDB->setText(grid->textMatrix(r, 0));
        work();
        if (!goOn(form, rules))
            return false;
    }
    return true;
}

bool walkNames(Form &form, const QStringList &names, const std::function<void(const QString &)> &work,
               WalkRules rules) {
    for (qsizetype i = 0; i < names.size(); ++i) {
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
