#include "gui/mirroring/MirroringScripts.h"

#include "core/db/MaskPasswords.h"
#include "core/db/ServerSessions.h"
#include "core/mirroring/BackupSql.h"
#include "core/mirroring/DefaultScripts.h"
#include "core/mirroring/ScriptSplitter.h"
#include "core/shares/FileAccess.h"
#include "gui/ui/BoxText.h"
#include "gui/ui/Form.h"
#include "gui/ui/Hourglass.h"
#include "gui/ui/LogPanes.h"
#include "gui/ui/Operations.h"
#include "gui/ui/Prompt.h"
#include "gui/ui/RunAside.h"

#include <QApplication>
#include <QPlainTextEdit>
#include <QPushButton>

#include <exception>

namespace quorix {

MirroringScripts::MirroringScripts(Form &form, ServerSessions &sessions, const LogPanes &log)
    : m_form(form), m_sessions(sessions), m_log(log) {
    fillDefaultScripts();
    for (int i = 0; i < static_cast<int>(m_form.cmdRunScript.size()); ++i)
        if (QPushButton *b = m_form.cmdRunScript[static_cast<size_t>(i)])
            Operations::onClick(b, [this, i] { cmdRunScript_Click(i); });
    for (int i = 0; i < static_cast<int>(m_form.cmdCopyCert.size()); ++i)
        if (QPushButton *b = m_form.cmdCopyCert[static_cast<size_t>(i)])
            Operations::onClick(b, [this, i] { cmdCopyCert_Click(i); });
}

void MirroringScripts::fillDefaultScripts() {
    for (int i = 0; i < static_cast<int>(m_form.txtScript1.size()); ++i)
        if (QPlainTextEdit *box = m_form.txtScript1[static_cast<size_t>(i)])
            setBoxText(box, defaultMirroringScript(i));
}

void MirroringScripts::cmdRunScript_Click(int index) {
    if (index < 0 || index > 3)
        return;
    // The box is read at each run, so an edit made while Main's run goes on applies to the Mirror's.
    const auto script = [this, index] { return boxText(m_form.txtScript1[static_cast<size_t>(index)]); };
    switch (index) {
    case 0:
        RunScript(0, script());
        RunScript(1, script());
        break;
    case 2:
        RunScript(1, script());
        break;
    default:
        RunScript(0, script());
        break;
    }
}

void MirroringScripts::RunScript(int slot, const QString &text) {
    Hourglass hourglass;
    try {
        for (const ScriptBatch &batch : splitScript(text)) {
            if (batch.echo)
                m_log.LogLine(maskStatementPasswords(batch.text));
            QCoreApplication::processEvents();
            m_sessions.ExecuteOnServer(slot, batch.text);
        }
    } catch (const std::exception &e) {
        hourglass.restore();
        m_log.LogLine(QString::fromUtf8(e.what()));
    }
}

void MirroringScripts::cmdCopyCert_Click(int index) {
    if (const auto paths = certificateCopyPaths(index)) {
        const Outcome result = copyAside(paths->source.toStdString(), paths->target.toStdString());
        if (!result.ok()) {
            Prompt::msgBox(QString::fromStdString(result.error()));
            return;
        }
    }
    Prompt::msgBox(QStringLiteral("done."));
}

} // namespace quorix
