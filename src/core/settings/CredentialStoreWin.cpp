#include "core/settings/CredentialStore.h"

#include <windows.h>
// after <windows.h>, whose types it uses
#include <wincred.h>

#include <string>

namespace quorix {

namespace {

std::wstring targetOf(const QString &service, const QString &name) {
    return (service + QLatin1Char('/') + name).toStdWString();
}

QString lastErrorText(DWORD code) {
    wchar_t *text = nullptr;
    const DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                            FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, code, 0, reinterpret_cast<wchar_t *>(&text), 0, nullptr);
    QString message = length ? QString::fromWCharArray(text, static_cast<qsizetype>(length)).trimmed()
                             : QStringLiteral("error %1").arg(code);
    if (text)
        LocalFree(text);
    return message;
}

} // namespace

// The Credential Manager answers at once, so no event loop is needed here. The secret is kept as its UTF-16
// text, as the system's own tools show a generic credential.
CredentialResult CredentialStore::read(const QString &name) const {
    const std::wstring target = targetOf(m_service, name);
    PCREDENTIALW credential = nullptr;
    if (!CredReadW(target.c_str(), CRED_TYPE_GENERIC, 0, &credential)) {
        const DWORD code = GetLastError();
        if (code == ERROR_NOT_FOUND)
            return {CredentialResult::NotFound, {}};
        return {CredentialResult::NoStore, lastErrorText(code)};
    }
    const QString secret =
        QString::fromWCharArray(reinterpret_cast<const wchar_t *>(credential->CredentialBlob),
                                static_cast<qsizetype>(credential->CredentialBlobSize / sizeof(wchar_t)));
    CredFree(credential);
    return {CredentialResult::Done, secret};
}

CredentialResult CredentialStore::write(const QString &name, const QString &secret) const {
    std::wstring target = targetOf(m_service, name);
    std::wstring user = name.toStdWString();
    std::wstring blob = secret.toStdWString();
    CREDENTIALW credential{};
    credential.Type = CRED_TYPE_GENERIC;
    credential.TargetName = target.data();
    credential.UserName = user.data();
    credential.CredentialBlobSize = static_cast<DWORD>(blob.size() * sizeof(wchar_t));
    credential.CredentialBlob = reinterpret_cast<LPBYTE>(blob.data());
    credential.Persist = CRED_PERSIST_LOCAL_MACHINE; // this user on this machine, not roamed
    if (!CredWriteW(&credential, 0))
        return {CredentialResult::NoStore, lastErrorText(GetLastError())};
    return {CredentialResult::Done, {}};
}

} // namespace quorix
