#include "core/settings/SettingsStore.h"
#ifdef _WIN32
#include "core/settings/SettingsRegistry.h"
#endif

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSettings>
#include <QStringList>

#ifndef _WIN32
#include <pwd.h>
#include <unistd.h>
#endif

namespace quorix {

namespace {

QString appNameOr(const QString &appName) {
    return appName.isEmpty() ? QCoreApplication::applicationName() : appName;
}

#ifndef _WIN32
// HOME, else the account database's home of the user: a daemon started by systemd (a monitoring agent)
// runs its commands with no HOME, and the toolkit's home would then be "/".
QString accountHome() {
    if (const passwd *account = getpwuid(getuid()); account && account->pw_dir && *account->pw_dir)
        return QFile::decodeName(account->pw_dir);
    return {};
}

QString userHome() {
    const QString home = qEnvironmentVariable("HOME");
    if (!home.isEmpty())
        return home;
    const QString account = accountHome();
    return account.isEmpty() ? QDir::rootPath() : account;
}

QString configHome() {
    // Read on every open, not cached, so a new window follows a changed XDG_CONFIG_HOME.
    const QString xdg = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (!xdg.isEmpty() && QDir::isAbsolutePath(xdg))
        return xdg;
    return userHome() + QStringLiteral("/.config");
}
#endif

// The file holds the servers' and shares' passwords: on POSIX only its owner may read it, whatever the
// umask. An empty file is made owner-only before the first write, so the secrets never sit in a file
// others can read; the file's writer keeps an existing file's mode, and a file left readable by an
// earlier version is narrowed at its next write.
void keepPrivate(const QString &path) {
#ifndef _WIN32
    constexpr auto ownerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
    if (!QFileInfo(path).isFile())
        return;
    if ((QFile::permissions(path) & ~ownerOnly) != QFileDevice::Permissions())
        QFile::setPermissions(path, ownerOnly);
#else
    Q_UNUSED(path);
#endif
}

void createPrivate(const QString &path) {
#ifndef _WIN32
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) // never an existing file
        file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
#else
    Q_UNUSED(path);
#endif
}

// The store writes plain text only (a text starting with "@" is written escaped), so a value that reads as
// a serialized variant was put there by hand or by damage; reading it would make the settings reader
// allocate whatever length its bytes claim. Such a file counts as damaged.
bool holdsSerializedValue(const QString &path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    static const QRegularExpression variant(QStringLiteral("^[^=\\n]*=[ \\t]*@Variant\\("),
                                            QRegularExpression::MultilineOption);
    // The settings reader ends a line at a lone CR too.
    QString text = QString::fromLatin1(file.readAll());
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return variant.match(text).hasMatch();
}

// Writes the pending changes out. The status is sticky and also records what a read found (a file damaged
// by someone else meanwhile); only an access error means the write itself failed. (The registry, where
// Windows keeps the settings, has no file modes: both calls do nothing there.)
bool synced(QSettings &settings) {
    createPrivate(settings.fileName());
    settings.sync();
    keepPrivate(settings.fileName());
    return settings.status() != QSettings::AccessError;
}

} // namespace

SettingsStore::SettingsStore() = default;
SettingsStore::~SettingsStore() = default;

void SettingsStore::open(const QString &appName) {
#ifdef _WIN32
    openAt(QStringLiteral("HKEY_CURRENT_USER\\Software\\VB and VBA Program Settings\\") + appNameOr(appName),
           true);
#else
    openAt(configHome() + QLatin1Char('/') + appNameOr(appName) + QStringLiteral(".ini"), false);
#endif
}

void SettingsStore::openFile(const QString &iniPath) {
    openAt(iniPath, false);
}

void SettingsStore::openAt(const QString &location, bool native) {
    m_settings.reset();
    m_location = location;
    m_openProblem.clear();
    m_writeProblemReported = false;
    if (native) {
#ifdef _WIN32
        // As with a file: a serialized value counts as damage, and the key is set aside unread.
        if (registry::holdsSerializedValue(location)) {
            const QString keptAs = location + QStringLiteral(".bad");
            m_openProblem =
                QStringLiteral("Settings %1 could not be read; starting with the defaults").arg(location);
            if (registry::moveAside(location, keptAs))
                m_openProblem += QStringLiteral(" (the key was kept as %1)").arg(keptAs);
        }
#endif
        m_settings = std::make_unique<QSettings>(location, QSettings::NativeFormat);
        return;
    }

    const QFileInfo info(location);
    bool unreadable =
        (info.exists() && (!info.isFile() || !info.isReadable())) || holdsSerializedValue(location);
    if (!unreadable) {
        m_settings = std::make_unique<QSettings>(location, QSettings::IniFormat);
        // QSettings parses a section's lines only when something in it is first read, and only then reports
        // a damaged file. Reading every key now finds the damage here, before a write could rewrite the
        // file without the lines it could not parse.
        m_settings->allKeys();
        unreadable = m_settings->status() != QSettings::NoError;
    }
    if (!unreadable)
        return;

    // Start with the defaults. The bad file is moved aside rather than overwritten by the next write, so
    // whatever it held can still be recovered by hand.
    m_settings.reset();
    const QString keptAs = location + QStringLiteral(".bad");
    QDir dir;
    if (QFileInfo::exists(keptAs))
        QFileInfo(keptAs).isDir() ? static_cast<void>(QDir(keptAs).removeRecursively())
                                  : static_cast<void>(QFile::remove(keptAs));
    const bool moved = dir.rename(location, keptAs);
    if (moved)
        keepPrivate(keptAs);
    m_openProblem =
        QStringLiteral("Settings file %1 could not be read; starting with the defaults").arg(location);
    if (moved)
        m_openProblem += QStringLiteral(" (the file was kept as %1)").arg(keptAs);
    m_settings = std::make_unique<QSettings>(location, QSettings::IniFormat);
}

QString SettingsStore::read(const QString &section, const QString &key, const QString &defaultValue) const {
    if (!m_settings)
        const_cast<SettingsStore *>(this)->open();
    const QVariant value = m_settings->value(section + QLatin1Char('/') + key);
    if (!value.isValid())
        return defaultValue;
    // A hand-edited INI line "a, b" comes back as a list; the store only ever holds plain text.
    if (value.userType() == QMetaType::QStringList)
        return value.toStringList().join(QStringLiteral(", "));
    return value.toString();
}

bool SettingsStore::write(const QString &section, const QString &key, const QString &value) {
    if (!m_settings)
        open();
    m_settings->setValue(section + QLatin1Char('/') + key, value);
    const bool ok = synced(*m_settings);
    if (!ok && !m_writeProblemReported) {
        m_writeProblemReported = true;
        if (m_onProblem)
            m_onProblem(QStringLiteral("Settings cannot be written to %1; changes are not remembered")
                            .arg(m_location));
    }
    return ok;
}

bool SettingsStore::contains(const QString &section, const QString &key) const {
    if (!m_settings)
        const_cast<SettingsStore *>(this)->open();
    return m_settings->contains(section + QLatin1Char('/') + key);
}

bool SettingsStore::remove(const QString &section, const QString &key) {
    if (!contains(section, key))
        return true;
    m_settings->remove(section + QLatin1Char('/') + key);
    return synced(*m_settings);
}

QStringList SettingsStore::keys(const QString &section) const {
    if (!m_settings)
        const_cast<SettingsStore *>(this)->open();
    m_settings->beginGroup(section);
    const QStringList found = m_settings->childKeys();
    m_settings->endGroup();
    return found;
}

bool SettingsStore::removeSection(const QString &section) {
    if (!m_settings)
        open();
    m_settings->remove(section);
    return synced(*m_settings);
}

QString SettingsStore::location() const {
    return m_location;
}

SettingsStore &settings() {
    static SettingsStore store;
    return store;
}

void settleUserHome() {
#ifndef _WIN32
    if (!qEnvironmentVariableIsEmpty("HOME"))
        return;
    if (const QString home = accountHome(); !home.isEmpty())
        qputenv("HOME", QFile::encodeName(home));
#endif
}

} // namespace quorix
