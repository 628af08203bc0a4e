#include "gui/mirroring/AttachDetach.h"

#include "core/db/ServerSessions.h"
#include "core/mirroring/AttachSql.h"
#include "gui/ui/DatabaseWalk.h"
#include "gui/ui/Form.h"
#include "gui/ui/Operations.h"
#include "gui/ui/widgets/FileList.h"
#include "gui/ui/widgets/Grid.h"

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
        m_form, m_sessions, m_form.File2[kMirror]->entries(),
        [this](const QString &name) {
            const AttachFile file = attachFileOf(name);
            m_form.txtDB->setText(file.database);
            if (file.attach)
                m_sessions.ExecuteOnServer(
                    kMirror, attachStatement(m_form.txtDB->text(), m_form.txtRestoreDir->text()));
            return WalkOn::Next;
        },
        WalkRules{.stopOnStop = true, .untickStop = true, .followAll = false},
        [](const QString &name) { return attachFileOf(name).database; });
}

void AttachDetach::cmdDetachAll_Click() {
    Grid *grid = m_form.GridDB[kMirror];
    // The count is taken once. A refresh of the list during a statement may shorten it; the walk ends with
    // the rows that are left.
    QString step; // the database of the step, as the walk took it
    const WalkItems rows{.count = [grid] { return grid->rows(); },
                         .reread = false,
                         .take = [this, grid, &step](int r) -> std::optional<QString> {
                             if (r >= grid->rows())
                                 return std::nullopt;
                             m_form.txtDB->setText(grid->textMatrix(r, 0));
                             step = m_form.txtDB->text();
                             return step;
                         }};
    runWalk(
        rows,
        [this, &step](int) {
            // The walk's database, not the box: a reconnect before the step lets a click change the box.
            m_sessions.ExecuteOnServer(kMirror, detachStatement(step));
            return WalkOn::Next;
        },
        WalkRules{.stopOnStop = false, .untickStop = false, .followAll = false},
        windowWalk(m_form, &m_sessions));
}

} // namespace quorix
