#pragma once

// The operating system's store of secrets: the Secret Service on Linux (through QtKeychain), the Credential
// Manager on Windows. Each secret is named by the control it belongs to ("txtPW(0)") under the application's
// name, so that the Windows uninstaller finds it as "quorix-dbtools/txtPW(0)".
//
// The calls wait for the store's answer (a local event loop that takes no user input, so a keystroke cannot
// start a second call inside the first) and give up after a while: a store that does not answer counts as no
// store at all.

#include <QString>

namespace quorix {

struct CredentialResult {
    enum Answer { Done, NotFound, NoStore };
    Answer answer = NoStore;
    QString text; // the secret read (Done), or why the store did not answer (NoStore)
};

class CredentialStore {
public:
    // service: the application's name (the settings store's).
    explicit CredentialStore(QString service) : m_service(std::move(service)) {}

    CredentialResult read(const QString &name) const;
    CredentialResult write(const QString &name, const QString &secret) const;

    QString service() const { return m_service; }

private:
    QString m_service;
};

} // namespace quorix
