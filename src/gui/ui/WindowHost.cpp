#include "gui/ui/WindowHost.h"

#include "core/db/ServerSessions.h"
#include "core/db/secure/CertificateTrust.h"
#include "gui/ui/Form.h"
#include "gui/ui/Hourglass.h"
#include "gui/ui/Operations.h"
#include "gui/ui/Prompt.h"
#include "gui/ui/StatementProgress.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

namespace quorix {

namespace {

struct HourglassScope : HostScope {
    Hourglass hourglass;
};

struct ProgressScope : HostScope {
    ProgressScope(Form &form, const ConnectionTarget &target, const QString &sql)
        : progress(form, target, sql) {}
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

QString WindowHost::login(int slot) const {
    return boxText(m_form.txtLogin.at(static_cast<size_t>(slot))).trimmed();
}

ConnectionOptions connectionOptionsFor(const Form &form, int slot, const QString &server) {
    const auto i = static_cast<size_t>(slot);
    ConnectionOptions o;
    if (const QComboBox *choice = form.cboEncryption.at(i))
        o.encryption = encryptionNamed(choice->currentText()).value_or(Encryption::Mandatory);
    if (const QCheckBox *tick = form.chkWindowsAuth.at(i))
        o.windowsAuthentication = tick->isChecked();
    o.trustedCertificate = CertificateTrust().trustedFile(server);
    o.authorityFile = qEnvironmentVariable("QUORIX_CA_FILE");
    return o;
}

ConnectionOptions WindowHost::connectionOptions(int slot) const {
    return connectionOptionsFor(m_form, slot, serverName(slot));
}

bool WindowHost::offerTrust(int slot, const QString &message, const CertificateInfo &certificate) {
    const QString &given = m_accepted.at(static_cast<size_t>(slot));
    const bool trusted =
        (!given.isEmpty() && given == certificate.sha256()) || (given.isEmpty() && Prompt::askTrust(message));
    if (!trusted) {
        if (!given.isEmpty()) // the fingerprint given on the command line is another: say both
            Prompt::msgBox(message + QStringLiteral("\n(--trust-certificate gave %1.)").arg(given));
        return false;
    }
    const QString problem = CertificateTrust().trust(serverName(slot), certificate.der);
    if (!problem.isEmpty()) {
        Prompt::msgBox(QStringLiteral("The certificate could not be kept: %1.").arg(problem));
        return false;
    }
    return true;
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

std::unique_ptr<HostScope> WindowHost::followStatement(const ConnectionTarget &target, const QString &sql) {
    if (!isLongStatement(sql))
        return nullptr;
    return std::make_unique<ProgressScope>(m_form, target, sql);
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
