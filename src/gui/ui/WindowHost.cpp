#include "gui/ui/WindowHost.h"

#include "core/db/ServerSessions.h"
#include "gui/ui/Form.h"
#include "gui/ui/Hourglass.h"
#include "gui/ui/Operations.h"
#include "gui/ui/Prompt.h"
#include "gui/ui/StatementProgress.h"

#include <QLineEdit>
#include <QPushButton>

namespace quorix {

namespace {

struct HourglassScope : HostScope {
    Hourglass hourglass;
};

struct ProgressScope : HostScope {
    ProgressScope(Form &form, const QString &connectionString, const QString &sql)
        : progress(form, connectionString, sql) {}
    StatementProgress progress;
};

QString boxText(const QLineEdit *box) {
    return box ? box->text() : QString();
}

} // namespace

QString WindowHost::serverName(int slot) const {
    return boxText(m_form.txtServer.at(static_cast<size_t>(slot)));
}

QString WindowHost::password(int slot) const {
    return boxText(m_form.txtPW.at(static_cast<size_t>(slot)));
}

void WindowHost::tell(const QString &text) {
    Prompt::msgBox(text);
}

bool WindowHost::ask(const QString &question) {
    return Prompt::askYesNo(question);
}

std::unique_ptr<HostScope> WindowHost::busy() {
    return std::make_unique<HourglassScope>();
}

std::unique_ptr<HostScope> WindowHost::followStatement(const QString &connectionString, const QString &sql) {
    if (!isLongStatement(sql))
        return nullptr;
    return std::make_unique<ProgressScope>(m_form, connectionString, sql);
}

void wireSessionButtons(Form &form, ServerSessions &sessions) {
    for (int slot = 0; slot < 2; ++slot)
        if (QPushButton *b = form.cmdConnect[static_cast<size_t>(slot)])
            Operations::onClick(b, [&sessions, slot] { sessions.cmdConnect_Click(slot); });
    if (form.cmdCancel)
        QObject::connect(form.cmdCancel, &QPushButton::clicked, &sessions,
                         [&sessions] { sessions.cancelRunning(); });
}

} // namespace quorix
