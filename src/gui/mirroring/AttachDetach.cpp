#include "gui/mirroring/AttachDetach.h"

#include "core/db/ServerSessions.h"
#include "core/mirroring/AttachSql.h"
#include "gui/ui/DatabaseWalk.h"
#include "gui/ui/Form.h"
#include "gui/ui/Operations.h"
#include "gui/ui/widgets/FileList.h"
#include "gui/ui/widgets/Grid.h"

#include <QCoreApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QStringList>

namespace quorix {

namespace {
constexpr int kMirror = 1;
} // namespace

AttachDetach::AttachDetach(Form &form, ServerSessions &sessions) : m_form(form), m_sessions(sessions) {
    Operations::onClick(m_form.cmdAttachAll, [this] { cmdAttachAll_Click(); });
    Operations::onClick(m_form.cmdDetachAll, [this] { cmdDetachAll_Click(); });
}

void AttachDetach::cmdAttachAll_Click() {
    walkNames(
        m_form, m_form.File2[kMirror]->entries(),
        [this](const QString &name) {
            const AttachFile file = attachFileOf(name);
            m_form.txtDB->setText(file.database);
            if (file.attach)
                m_sessions.ExecuteOnServer(
                    kMirror, attachStatement(m_form.txtDB->text(), m_form.txtRestoreDir->text()));
        },
        WalkRules{.stopOnStop = true, .untickStop = true, .followAll = false},
        [](const QString &name) { return attachFileOf(name).database; });
}

void AttachDetach::cmdDetachAll_Click() {
    Grid *grid = m_form.GridDB[kMirror];
    const int n = grid->rows();
    WalkSteps steps(m_form);
    // A refresh of the list during a statement may shorten it; the walk ends with the rows that are left.
    for (int r = 0; r < n && r < grid->rows(); ++r) {
        m_form.txtDB->setText(grid->textMatrix(r, 0));
        steps.step(r + 1, n, m_form.txtDB->text());
        m_sessions.ExecuteOnServer(kMirror, detachStatement(m_form.txtDB->text()));
        QCoreApplication::processEvents();
    }
}

} // namespace quorix
