#include "WindowFixture.h"

#include "core/settings/SettingsStore.h"
#include "gui/ui/Prompt.h"

#include <QCoreApplication>

namespace quorix::testing {

WindowFixture::WindowFixture() {
    m_hadConfigHome = qEnvironmentVariableIsSet("XDG_CONFIG_HOME");
    m_oldConfigHome = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", m_dir.path().toUtf8());
    // The journal's default folder (the user's data folder) inside the fixture's too.
    m_hadDataHome = qEnvironmentVariableIsSet("XDG_DATA_HOME");
    m_oldDataHome = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", (m_dir.path() + QStringLiteral("/data")).toUtf8());
    settings().open();
    Prompt::setScripted(true, true);
    Prompt::clearShown();
}

WindowFixture::~WindowFixture() {
    m_window.reset();
    if (m_hadConfigHome)
        qputenv("XDG_CONFIG_HOME", m_oldConfigHome);
    else
        qunsetenv("XDG_CONFIG_HOME");
    if (m_hadDataHome)
        qputenv("XDG_DATA_HOME", m_oldDataHome);
    else
        qunsetenv("XDG_DATA_HOME");
}

QString WindowFixture::settingsFile() const {
    return m_dir.path() + QLatin1Char('/') + QCoreApplication::applicationName() + QStringLiteral(".ini");
}

void WindowFixture::preset(const QString &section, const QString &key, const QString &value) {
    settings().write(section, key, value);
}

QString WindowFixture::stored(const QString &section, const QString &key) const {
    return settings().read(section, key);
}

frmMain &WindowFixture::window() {
    if (!m_window)
        m_window = std::make_unique<frmMain>();
    return *m_window;
}

frmMain &WindowFixture::start() {
    window().Form_Load();
    return *m_window;
}

void WindowFixture::close() {
    m_window.reset();
}

frmMain &WindowFixture::restart() {
    m_window.reset();
    return start();
}

} // namespace quorix::testing
