#include "gui/app/SaveLog.h"

#include "gui/ui/Echo.h"
#include "gui/ui/Form.h"
#include "gui/ui/LogPanes.h"
#include "gui/ui/Operations.h"
#include "gui/ui/Prompt.h"
#include "gui/ui/widgets/LogPane.h"

#include <QFileDialog>
#include <QMainWindow>
#include <QPushButton>
#include <QSaveFile>

namespace quorix {

SaveLog::SaveLog(Form &form, const LogPanes &log) : m_form(form), m_log(log) {
    Operations::onClick(m_form.cmdSaveLog, [this] { cmdSaveLog_Click(); });
}

QString SaveLog::save(const LogPane &pane, const QString &path) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text))
        return QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    QString text = pane.wholeText(); // every line, also those the pane keeps aside
    if (!text.isEmpty() && !text.endsWith(QLatin1Char('\n')))
        text += QLatin1Char('\n');
    file.write(text.toUtf8());
    if (!file.commit())
        return QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
    return {};
}

void SaveLog::cmdSaveLog_Click() {
    // A headless run has its log on standard output already, and no one to answer a dialog.
    if (Echo::enabled()) {
        Prompt::msgBox(QStringLiteral("The log of a headless run is on its standard output."));
        return;
    }
    QFileDialog dialog(m_form.frmMain, QStringLiteral("Save log"), QString(),
                       QStringLiteral("Log files (*.log *.txt);;All files (*)"));
    dialog.setObjectName(QStringLiteral("dlgSaveLog"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("log"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    const QString path = dialog.selectedFiles().constFirst();
    const QString problem = save(*m_form.txtLog, path);
    m_log.LogLine(problem.isEmpty() ? QStringLiteral("Log saved to ") + path : problem);
}

} // namespace quorix
