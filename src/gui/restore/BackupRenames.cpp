#include "gui/restore/BackupRenames.h"

#include "core/restore/BackupRename.h"
#include "gui/ui/Form.h"
#include "gui/ui/LogPanes.h"
#include "gui/ui/Operations.h"
#include "gui/ui/Prompt.h"
#include "gui/ui/RunAside.h"
#include "gui/ui/widgets/FileList.h"

#include <QLineEdit>
#include <QPushButton>

namespace quorix {

BackupRenames::BackupRenames(Form &form, const LogPanes &log) : m_form(form), m_log(log) {
    Operations::onClick(m_form.cmdRename, [this] { cmdRename_Click(); });
    for (int index = 0; index < 2; ++index)
        Operations::onClick(m_form.cmdRenameDir[static_cast<size_t>(index)],
                            [this, index] { cmdRenameDir_Click(index); });
}

void BackupRenames::cmdRename_Click() {
    const QString folder =
        QStringLiteral("\\\\") + m_form.txtServer[0]->text() + QStringLiteral("\\backup\\");
    for (const QString &name : m_form.File1->entries()) {
        const std::optional<QString> newName = dateFreeBackupName(name);
        if (newName && !renameOne(folder + name, folder + *newName))
            break;
    }
    m_form.File1->refresh();
}

void BackupRenames::cmdRenameDir_Click(int index) {
    FileList &list = *m_form.File2[static_cast<size_t>(index)];
    // An empty box would name the root of the drive.
    if (m_form.txtRestoreDir->text().trimmed().isEmpty()) {
        Prompt::msgBox(QStringLiteral("Nothing was renamed: give the folder of the files first."));
        return;
    }
    // The box shows the backslash too, and the lists follow it before their entries are taken.
    const QString closed = withClosingBackslash(m_form.txtRestoreDir->text());
    if (closed != m_form.txtRestoreDir->text())
        m_form.txtRestoreDir->setText(closed);
    const QString separator = m_form.txtSeparator->text();
    if (separator.isEmpty()) {
        Prompt::msgBox(QStringLiteral("Nothing was renamed: give the text at which the names are cut "
                                      "(for example _2015)."));
        return;
    }
    const QString folder = m_form.txtRestoreDir->text();
    for (const QString &name : list.entries()) {
        const SeparatorCut cut = cutAtSeparator(name, separator);
        if (cut.kind == SeparatorCut::Kind::AfterFirstDot) {
            Prompt::msgBox(separatorAfterDotText(name, separator));
            break;
        }
        if (cut.kind == SeparatorCut::Kind::Rename && !renameOne(folder + name, folder + cut.newName))
            break;
    }
    list.refresh();
}

bool BackupRenames::renameOne(const QString &from, const QString &to) {
    m_log.LogLine(from);
    m_log.LogLine(to);
    Outcome result;
    // A share that does not answer takes its time-out; the window stays live meanwhile.
    runAside([&] { result = shares::files().rename(from.toStdString(), to.toStdString()); });
    if (!result.ok())
        Prompt::msgBox(QString::fromStdString(result.error()));
    return result.ok();
}

} // namespace quorix
