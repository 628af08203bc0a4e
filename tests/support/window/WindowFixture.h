#pragma once

// The real main window for GUI tests, on a settings store of its own. Each fixture points XDG_CONFIG_HOME
// at a fresh temporary folder, so no test sees another's settings or the developer's. Message boxes are
// scripted (answer yes, texts recorded in Prompt::shown()).
//
//   quorix::testing::WindowFixture w;
//   w.preset("MIR", "txtServer0", "127.0.0.2"); // what an earlier run would have stored
//   w.window().refreshDatabases = [](int slot) { ... };  // optional, before start()
//   w.start();                                   // builds frmMain and runs start-up
//   w.find<QPushButton>("cmdBackup(0)")->click();
//   w.restart();                                 // a new window on the same settings, as at the next run
//
// Link quorix_window_fixture instead of gtest_main: it brings a main() that creates the QApplication.

#include "gui/app/frmMain.h"
#include "gui/ui/Form.h"
#include "gui/ui/widgets/LogPane.h" // the form's log and error panes

#include <QString>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>

namespace quorix::testing {

class WindowFixture {
public:
    WindowFixture();
    ~WindowFixture();
    WindowFixture(const WindowFixture &) = delete;
    WindowFixture &operator=(const WindowFixture &) = delete;

    QString configHome() const { return m_dir.path(); }
    QString settingsFile() const; // the INI file the window reads and writes
    // Stores a value before the window starts, as an earlier run would have.
    void preset(const QString &section, const QString &key, const QString &value);
    // Reads what the store holds now.
    QString stored(const QString &section, const QString &key) const;

    frmMain &window();  // built on first use, without start-up
    frmMain &start();   // builds when needed, runs start-up
    frmMain &restart(); // a new window and its start-up on the same settings
    void close();       // the window goes (its sessions with it); the settings stay
    Form &form() { return window().form(); }

    // A control by objectName; fails the test when there is none or it is of another type.
    template <typename T = QWidget> T *find(const QString &name) {
        QWidget *w = window().control(name);
        EXPECT_NE(w, nullptr) << "no control " << name.toStdString();
        T *typed = qobject_cast<T *>(w);
        EXPECT_NE(typed, nullptr) << name.toStdString() << " is not a " << T::staticMetaObject.className();
        return typed;
    }

private:
    QTemporaryDir m_dir;
    QByteArray m_oldConfigHome;
    bool m_hadConfigHome = false;
    QByteArray m_oldDataHome;
    bool m_hadDataHome = false;
    std::unique_ptr<frmMain> m_window;
};

} // namespace quorix::testing
