#include "gui/app/SecretsHidden.h"

#include "core/db/ConnectionString.h"
#include "core/db/MaskPasswords.h"
#include "gui/ui/Form.h"
#include "gui/ui/widgets/LogPane.h"

#include <QLineEdit>
#include <QMainWindow>
#include <QPlainTextEdit>
#include <QSignalBlocker>

namespace quorix {

SecretsHidden::SecretsHidden(Form &form) {
    const QString connection = form.txtTESTConnection->text();
    if (const QString masked = maskOleDbPassword(connection); masked != connection) {
        m_connection = form.txtTESTConnection;
        m_connectionText = connection;
        const QSignalBlocker quiet(m_connection);
        m_connection->setText(masked);
    }
    // The log panes are masked as their lines are written; a box untouched keeps its cursor and history.
    for (QPlainTextEdit *memo : form.frmMain->findChildren<QPlainTextEdit *>()) {
        if (qobject_cast<LogPane *>(memo))
            continue;
        const QString text = memo->toPlainText();
        const QString masked = maskStatementPasswords(text);
        if (masked == text)
            continue;
        m_memos.emplace_back(memo, text);
        const QSignalBlocker quiet(memo);
        memo->setPlainText(masked);
    }
}

SecretsHidden::~SecretsHidden() {
    if (m_connection) {
        const QSignalBlocker quiet(m_connection);
        m_connection->setText(m_connectionText);
    }
    for (const auto &[memo, text] : m_memos) {
        const QSignalBlocker quiet(memo);
        memo->setPlainText(text);
    }
}

} // namespace quorix
