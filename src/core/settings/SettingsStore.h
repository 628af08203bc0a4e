#pragma once

// The per-user settings store: plain-text values addressed by section and key under the application name
// (the executable's base name). Linux keeps an INI file under $XDG_CONFIG_HOME; Windows keeps the registry
// key that classic desktop programs use, so values remembered by earlier versions come back.
//
// One store per process, reached through settings(). The window reopens it when it is created, so a test
// that points XDG_CONFIG_HOME at a fresh folder and builds a new window gets a fresh store.
//
// Failures never stop the tool: a store that cannot be read starts empty (every read gives its default), a
// write that fails is dropped. The first problem of each kind is passed to the problem handler once.

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

class QSettings;

namespace quorix {

class SettingsStore {
public:
    SettingsStore();
    ~SettingsStore();
    SettingsStore(const SettingsStore &) = delete;
    SettingsStore &operator=(const SettingsStore &) = delete;

    // Opens the store of appName at this platform's location (re-reading XDG_CONFIG_HOME on Linux).
    // An empty appName means QCoreApplication::applicationName().
    void open(const QString &appName = {});
    // Opens an INI file at an explicit path (all platforms).
    void openFile(const QString &iniPath);

    QString read(const QString &section, const QString &key, const QString &defaultValue = {}) const;
    // Writes at once (no delay). Returns false when the value could not be stored.
    bool write(const QString &section, const QString &key, const QString &value);

    bool contains(const QString &section, const QString &key) const;
    // Removes one key (nothing happens when there is none). Returns false when the change could not be
    // stored.
    bool remove(const QString &section, const QString &key);

    // The keys of a section, and removing a section with all its keys (for tables kept in a section of
    // their own, such as the drive table in "Drives").
    QStringList keys(const QString &section) const;
    bool removeSection(const QString &section);

    QString location() const; // file path or registry path
    // What went wrong while opening ("" when nothing did). Reported once by whoever opened the store.
    QString openProblem() const { return m_openProblem; }

    // Called once per open for the first failed write.
    void setProblemHandler(std::function<void(const QString &)> handler) { m_onProblem = std::move(handler); }

private:
    void openAt(const QString &location, bool native);

    std::unique_ptr<QSettings> m_settings;
    QString m_location;
    QString m_openProblem;
    bool m_writeProblemReported = false;
    std::function<void(const QString &)> m_onProblem;
};

// The process-wide store. Opened lazily for the application name when nobody opened it.
SettingsStore &settings();

// A daemon started by systemd (a monitoring agent) runs its commands with no HOME, and every folder the
// toolkit derives from it (the driver's configuration, the trusted certificates, the journal) would then
// lie under "/". Called first thing at start-up: an unset or empty HOME is set to the user's home from the
// account database, so the settings file and those folders all follow the same home. Does nothing on
// Windows or when HOME is set.
void settleUserHome();

} // namespace quorix
