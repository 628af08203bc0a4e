#include "core/settings/PasswordStore.h"

#include "core/settings/SettingsStore.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSettings>

namespace quorix {

namespace {

bool fileChosen() {
    return qEnvironmentVariable("QUORIX_PASSWORD_STORE")
               .compare(QLatin1String("file"), Qt::CaseInsensitive) == 0;
}

#ifndef _WIN32
// The lines of a damaged INI file without the given keys of their sections. The file could not be parsed as
// a whole, so it is read line by line: "[Section]" starts a section, "key=value" is a key of it.
QByteArray withoutKeys(const QByteArray &text, std::span<const SecretKey> secrets, bool &removed) {
    QByteArray out;
    QByteArray section;
    for (const QByteArray &line : text.split('\n')) {
        const QByteArray trimmed = line.trimmed();
        if (trimmed.startsWith('[') && trimmed.endsWith(']'))
            section = trimmed.mid(1, trimmed.size() - 2);
        const qsizetype eq = trimmed.indexOf('=');
        bool drop = false;
        if (eq > 0) {
            const QByteArray key = trimmed.left(eq).trimmed();
            for (const SecretKey &s : secrets)
                drop = drop || (section == s.section.toUtf8() && key == s.key.toUtf8());
        }
        if (drop)
            removed = true;
        else
            out += line + '\n';
    }
    out.chop(1); // the split's last piece had no line end of its own
    return out;
}
#endif

} // namespace

PasswordStore::PasswordStore(SettingsStore &file) : m_file(file), m_store(QString()) {
    reopen();
}

void PasswordStore::reopen() {
    m_store = CredentialStore(QCoreApplication::applicationName());
    m_inStore.reset();
    m_fallbackNoted = false;
    m_known.clear();
}

bool PasswordStore::inCredentialStore() const {
    if (!m_inStore) {
        if (fileChosen()) {
            m_inStore = false; // asked for: nothing to say
        } else {
            const CredentialResult probe = m_store.read(QStringLiteral("txtPW(0)"));
            if (probe.answer == CredentialResult::NoStore)
                useFile(probe.text);
            else
                m_inStore = true;
        }
    }
    return *m_inStore;
}

void PasswordStore::useFile(const QString &why) const {
    m_inStore = false;
    if (m_fallbackNoted)
        return;
    m_fallbackNoted = true;
    note(
        QStringLiteral("Passwords are not kept in a credential store (%1): they stay in %2, readable by this "
                       "user only")
            .arg(why.isEmpty() ? QStringLiteral("none answers") : why, m_file.location()));
}

void PasswordStore::note(const QString &text) const {
    if (m_onNote)
        m_onNote(text);
}

QString PasswordStore::read(const SecretKey &secret) const {
    if (inCredentialStore()) {
        const CredentialResult found = m_store.read(secret.name);
        if (found.answer == CredentialResult::Done) {
            m_known[secret.name] = found.text;
            return found.text;
        }
        if (found.answer == CredentialResult::NoStore)
            useFile(found.text);
    }
    return m_file.read(secret.section, secret.key);
}

void PasswordStore::write(const SecretKey &secret, const QString &value) {
    if (inCredentialStore()) {
        const auto known = m_known.find(secret.name);
        if (known != m_known.end() && known->second == value)
            return;
        const CredentialResult written = m_store.write(secret.name, value);
        if (written.answer == CredentialResult::Done) {
            m_known[secret.name] = value;
            m_file.remove(secret.section, secret.key);
            return;
        }
        useFile(written.text);
    }
    m_file.write(secret.section, secret.key, value);
}

void PasswordStore::moveFromSettings(std::span<const SecretKey> secrets) {
    if (!inCredentialStore())
        return;
    QStringList moved;
    for (const SecretKey &s : secrets) {
        if (!m_file.contains(s.section, s.key))
            continue;
        const QString plain = m_file.read(s.section, s.key);
        if (!plain.isEmpty()) {
            const CredentialResult written = m_store.write(s.name, plain);
            if (written.answer != CredentialResult::Done) {
                useFile(written.text); // it stays where it was
                return;
            }
            m_known[s.name] = plain;
            moved << s.name;
        }
        m_file.remove(s.section, s.key);
    }
    if (!moved.isEmpty())
        note(QStringLiteral("Passwords moved from %1 into the credential store: %2")
                 .arg(m_file.location(), moved.join(QStringLiteral(", "))));
    removeFromBadCopy(secrets);
}

// A damaged settings file (or key) set aside as ".bad" keeps what it held for recovery by hand, passwords
// included: they go, the rest stays.
void PasswordStore::removeFromBadCopy(std::span<const SecretKey> secrets) const {
    const QString bad = m_file.location() + QStringLiteral(".bad");
    bool removed = false;
#ifdef _WIN32
    QSettings copy(bad, QSettings::NativeFormat);
    for (const SecretKey &s : secrets) {
        const QString path = s.section + QLatin1Char('/') + s.key;
        if (copy.contains(path)) {
            copy.remove(path);
            removed = true;
        }
    }
    copy.sync();
#else
    if (!QFileInfo(bad).isFile())
        return;
    QFile in(bad);
    if (!in.open(QIODevice::ReadOnly))
        return;
    const QByteArray kept = withoutKeys(in.readAll(), secrets, removed);
    in.close();
    if (!removed)
        return;
    QSaveFile out(bad); // keeps the file's owner-only mode
    if (!out.open(QIODevice::WriteOnly) || out.write(kept) != kept.size() || !out.commit())
        return;
#endif
    if (removed)
        note(QStringLiteral("Passwords removed from %1").arg(bad));
}

PasswordStore &passwords() {
    static PasswordStore store(settings());
    return store;
}

} // namespace quorix
