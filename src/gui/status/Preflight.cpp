#include "gui/status/Preflight.h"

#include "core/db/ConnectionString.h"
#include "core/db/DbError.h"
#include "core/db/ScriptOnly.h"
#include "core/db/ServerSessions.h"
#include "core/db/secure/ServerProbe.h"
#include "core/shares/FileAccess.h"
#include "core/shares/Paths.h"
#include "core/status/ServerReads.h"
#include "core/status/StatusSql.h"
#include "gui/ui/Form.h"
#include "gui/ui/Hourglass.h"
#include "gui/ui/LogPanes.h"
#include "gui/ui/Operations.h"
#include "gui/ui/RunAside.h"
#include "gui/ui/widgets/Grid.h"

#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryFile>

namespace quorix {

using namespace status;

namespace {

const char *const kShareFolders[2] = {"X:\\MIR\\", "Y:\\MIR\\"};

} // namespace

Preflight::Preflight(Form &form, ServerSessions &sessions, const LogPanes &log)
    : m_form(form), m_sessions(sessions), m_log(log) {
    Operations::onClick(m_form.cmdPreflight, [this] { cmdPreflight_Click(); });
}

QString Preflight::probeName() {
    return QString::fromStdString(shares::copyTempName("quorix-pre-flight"));
}

void Preflight::cmdPreflight_Click() {
    Hourglass hourglass;
    m_lastChecks.clear();
    m_log.LogLine(QStringLiteral("Pre-flight:"));
    PreflightInput input;
    {
        ServerReads reads([this](int slot) { return m_sessions.target(slot); });
        for (int slot = 0; slot < 2; ++slot) {
            ServerFacts &facts = input.servers[static_cast<size_t>(slot)];
            try {
                const ResultTable server = reads.read(slot, QLatin1String(kServerQuery));
                facts.reachable = true;
                facts.version = server.text(0, QStringLiteral("product_version"));
                facts.edition = server.text(0, QStringLiteral("edition"));
                facts.endpoint = reads.read(slot, QLatin1String(kEndpointQuery));
                facts.certificates = reads.read(slot, QLatin1String(kCertificatesQuery));
                facts.partnerLogins = reads.read(slot, QLatin1String(kPartnerLoginsQuery));
                facts.databases = reads.read(slot, QLatin1String(kDatabasesQuery));
            } catch (const DbError &e) {
                facts = ServerFacts{};
                facts.error = e.description();
                sessionFacts(slot, facts);
                continue;
            }
            sessionFacts(slot, facts);
            try {
                const ResultTable session = reads.read(slot, QLatin1String(kSessionEncryptionQuery));
                facts.encryptOption = session.text(0, QStringLiteral("encrypt_option")).trimmed();
            } catch (const DbError &) {
                facts.encryptOption.clear(); // said so in the check's line
            }
            if (facts.encryptOption.compare(QLatin1String("TRUE"), Qt::CaseInsensitive) == 0)
                facts.certificateSha256 = presentedFingerprint(slot);
            // Where the server does not report its drives, the space is not compared.
            try {
                facts.freeSpace = reads.read(slot, QLatin1String(kFreeSpaceQuery));
                facts.freeSpaceRead = true;
            } catch (const DbError &) {
                facts.freeSpaceRead = false;
            }
        }
    }
    input.databases = databasesToCheck();
    input.backupFolder = m_form.txtBackupDrive->text();
    for (int slot = 0; slot < 2; ++slot)
        input.shares[static_cast<size_t>(slot)] = tryShare(slot);

    int failed = 0;
    const std::vector<CheckLine> lines = preflightChecks(input);
    m_lastChecks = lines;
    for (const CheckLine &line : lines) {
        failed += line.ok ? 0 : 1;
        m_log.LogLine(lineText(line));
    }
    m_log.LogLine(QStringLiteral("Pre-flight: %1 checks, %2 failed").arg(lines.size()).arg(failed));
}

void Preflight::sessionFacts(int slot, ServerFacts &facts) const {
    const ConnectionTarget target = m_sessions.target(slot);
    facts.login = target.options.windowsAuthentication
                      ? QStringLiteral("Windows authentication")
                      : parseOleDbConnectionString(target.connectionString).user;
    facts.encryptionChoice = encryptionName(target.options.encryption);
}

QString Preflight::presentedFingerprint(int slot) const {
    const ConnectionTarget target = m_sessions.target(slot);
    ProbeRequest request;
    request.server = parseOleDbConnectionString(target.connectionString).server;
    request.certificate = true;
    request.strict = target.options.encryption == Encryption::Strict;
    ServerProbe probe;
    runAside([&] { probe = probeServer(request); }); // a server slow to answer keeps the window painting
    return probe.certificate ? probe.certificate->sha256() : QString();
}

QStringList Preflight::databasesToCheck() const {
    QStringList names;
    if (m_form.chkALL->isChecked()) {
        const Grid *list = m_form.GridDB[0];
        for (int r = 0; r < list->rows(); ++r)
            names << list->textMatrix(r, 0);
    } else if (!m_form.txtDB->text().trimmed().isEmpty()) {
        names << m_form.txtDB->text().trimmed();
    }
    return names;
}

ShareFacts Preflight::tryShare(int slot) {
    ShareFacts share;
    share.folder = QLatin1String(kShareFolders[slot]);
    const std::string folder = share.folder.toStdString();
    // A dry run lists the share but writes nothing to it: the probe's copy would be a change.
    share.writeTried = !scriptOnly().active();
    QTemporaryFile probe;
    if (share.writeTried &&
        (!probe.open() || probe.write("pre-flight probe of QUORIX DB Tools\r\n") < 0 || !probe.flush())) {
        share.error = QStringLiteral("cannot write a probe file on this machine: ") + probe.errorString();
        return share;
    }
    const std::string local = QDir::toNativeSeparators(probe.fileName()).toStdString();
    Outcome listed, copied;
    // A share that does not answer takes its time-out: off the window's thread.
    runAside([&] {
        std::vector<std::string> names;
        listed = shares::files().list(folder, "*", names);
        if (listed.ok() && share.writeTried)
            copied = shares::files().copy(local, folder + probeName().toStdString());
    });
    share.reachable = listed.ok();
    share.writable = listed.ok() && share.writeTried && copied.ok();
    share.error = QString::fromStdString(!listed.ok() ? listed.error() : copied.error());
    return share;
}

} // namespace quorix
