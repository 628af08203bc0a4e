#pragma once

// Where the remembered passwords live. When the operating system's credential store answers, every password
// is kept there and the settings file (or registry key) holds none: one an older version left there is
// moved into the store and removed, in the damaged copy set aside as ".bad" too. When no store answers (no
// Secret Service, a service account with no credentials of its own), passwords are kept in the owner-only
// settings file as before, and that is said once. QUORIX_PASSWORD_STORE=file keeps them in the file without
// asking any store.
//
// One per process, reached through passwords(), over the settings store of settings(). The window reopens
// it when it is created, so a test with a fresh settings folder starts afresh.

#include "core/settings/CredentialStore.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <map>
#include <optional>
#include <span>

namespace quorix {

class SettingsStore;

// A password's place in the settings file, and its name in the credential store ("txtPW(0)").
struct SecretKey {
    QString section;
    QString key;
    QString name;
};

class PasswordStore {
public:
    explicit PasswordStore(SettingsStore &file);

    // Forgets where passwords were found to live; the next use asks again.
    void reopen();
    // Start-up: passwords still in the settings file (or its .bad copy) are moved into the credential store.
    void moveFromSettings(std::span<const SecretKey> secrets);

    QString read(const SecretKey &secret) const;
    void write(const SecretKey &secret, const QString &value);

    // Whether passwords go to the credential store (asks it on first use).
    bool inCredentialStore() const;

    // Where the one-off notes go (the log): the file fallback, the passwords moved.
    void setNoteHandler(std::function<void(const QString &)> handler) { m_onNote = std::move(handler); }

private:
    void useFile(const QString &why) const;
    void note(const QString &text) const;
    void removeFromBadCopy(std::span<const SecretKey> secrets) const;

    SettingsStore &m_file;
    CredentialStore m_store;
    mutable std::optional<bool> m_inStore;
    mutable bool m_fallbackNoted = false;
    // What the credential store is known to hold: loading a box writes back what was read, and a store
    // round trip is not needed for that.
    mutable std::map<QString, QString> m_known;
    std::function<void(const QString &)> m_onNote;
};

PasswordStore &passwords();

} // namespace quorix
