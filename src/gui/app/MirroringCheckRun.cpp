#include "gui/app/MirroringCheckRun.h"

#include "core/db/ConnectionString.h"
#include "core/db/secure/CertificateTrust.h"
#include "core/settings/SettingsStore.h"
#include "core/status/MirroringCheck.h"
#include "core/status/StatusReading.h"
#include "gui/app/Automation.h"
#include "gui/app/RememberedBoxes.h"

#include <QThread>
#include <array>
#include <cstdio>

namespace quorix {

namespace {

const char *const kServerVariables[2] = {"QUORIX_MAIN_SERVER", "QUORIX_MIRROR_SERVER"};
const char *const kPasswordVariables[2] = {"QUORIX_MAIN_PW", "QUORIX_MIRROR_PW"};
const char *const kLoginVariables[2] = {"QUORIX_MAIN_LOGIN", "QUORIX_MIRROR_LOGIN"};
const char *const kServerOptions[2] = {"--main-server", "--mirror-server"};

void print(const QString &text) {
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

QString fromEnvironmentOr(const char *variable, const QString &otherwise) {
    return qEnvironmentVariableIsSet(variable) ? qEnvironmentVariable(variable) : otherwise;
}

} // namespace

int runMirroringCheck(const AutomationPlan &plan) {
    std::array<QString, 2> server, password, login;
    std::array<ConnectionOptions, 2> options;
    for (int slot = 0; slot < 2; ++slot) {
        const auto i = static_cast<size_t>(slot);
        server[i] = plan.servers[i];
        if (server[i].isEmpty())
            server[i] = fromEnvironmentOr(kServerVariables[i], rememberedText(settings(), "txtServer", slot))
                            .trimmed();
        password[i] = fromEnvironmentOr(kPasswordVariables[i], rememberedText(settings(), "txtPW", slot));
        login[i] = !plan.logins[i].isEmpty()
                       ? plan.logins[i]
                       : fromEnvironmentOr(kLoginVariables[i], rememberedText(settings(), "txtLogin", slot))
                             .trimmed();
        options[i].encryption = encryptionNamed(rememberedText(settings(), "cboEncryption", slot))
                                    .value_or(Encryption::Mandatory);
        options[i].windowsAuthentication =
            rememberedText(settings(), "chkWindowsAuth", slot) == QLatin1String("1");
        options[i].authorityFile = qEnvironmentVariable("QUORIX_CA_FILE");
        if (server[i].isEmpty()) {
            print(
                QStringLiteral("MIRRORING UNKNOWN - no server for %1: give %2, set %3 or fill its server box "
                               "in the window")
                    .arg(status::sideName(slot == 0), QLatin1String(kServerOptions[i]),
                         QLatin1String(kServerVariables[i])));
            return static_cast<int>(status::CheckStatus::Unknown);
        }
    }

    const CertificateTrust trust;
    for (size_t i = 0; i < 2; ++i) {
        // A certificate given by its fingerprint is kept when the server presents exactly that one.
        if (!plan.trustedFingerprints[i].isEmpty())
            trustPresented(trust, server[i], plan.trustedFingerprints[i],
                           options[i].encryption == Encryption::Strict);
        options[i].trustedCertificate = trust.trustedFile(server[i]);
    }
    status::StatusReader reader(
        [&](int slot) {
            const auto i = static_cast<size_t>(slot);
            return ConnectionTarget{sessionConnectionString(server[i], login[i], password[i]), options[i]};
        },
        [](int ms) { QThread::msleep(static_cast<unsigned long>(ms)); });
    const status::Reading reading = reader.read();
    const status::CheckResult result =
        status::checkMirroring(reading, status::statusRowsOf(reading, server), plan.thresholds);
    print(result.text());
    return result.exitCode();
}

} // namespace quorix
