#pragma once

// A real Secret Service for the tests of stored passwords: a session bus of its own (dbus-daemon) with
// gnome-keyring-daemon on it, unlocked, keeping its keyring in a temporary folder. DBUS_SESSION_BUS_ADDRESS
// names that bus from then on, so the code under test and secret-tool reach it and nothing else.
//
// One per test process (shared()), kept to its end: the process's connection to a session bus is made once
// and kept, and the bus going away ends the process that holds it (as a desktop's session end does). The
// daemons end with the test process.

#include <QByteArray>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <csignal>
#include <gtest/gtest.h>
#include <optional>
#include <sys/prctl.h>

namespace quorix::testing {

class SecretService {
public:
    static SecretService &shared() {
        static SecretService *service = new SecretService; // never destroyed: its daemons outlive no test
        return *service;
    }

    SecretService(const SecretService &) = delete;
    SecretService &operator=(const SecretService &) = delete;

    // What the store holds for a name under a service, as QtKeychain files it; nullopt when nothing.
    std::optional<QString> lookup(const QString &service, const QString &name) {
        const auto found =
            run("secret-tool", {"lookup", "server", service, "user", name, "type", "plaintext"});
        if (!found)
            return std::nullopt;
        return QString::fromUtf8(*found);
    }

private:
    SecretService() {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", m_dir.path());
        env.insert("XDG_DATA_HOME", m_dir.path() + "/data");
        env.insert("XDG_RUNTIME_DIR", m_dir.path());
        // A bus that starts no service of its own accord: the keyring below is the only Secret Service on it.
        const QString config = m_dir.path() + "/bus.conf";
        QFile file(config);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
                   " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                   "<busconfig><type>session</type><listen>unix:path=" +
                   (m_dir.path() + "/bus").toUtf8() +
                   "</listen><auth>EXTERNAL</auth><policy context=\"default\">"
                   "<allow send_destination=\"*\" eavesdrop=\"true\"/><allow eavesdrop=\"true\"/>"
                   "<allow own=\"*\"/></policy></busconfig>\n");
        file.close();
        // Ended by the kernel when the test process ends.
        for (QProcess *p : {&m_bus, &m_keyring})
            p->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
        m_bus.setProcessEnvironment(env);
        m_bus.start("dbus-daemon", {"--config-file=" + config, "--nofork", "--print-address=1"});
        // The daemon prints its address once it listens.
        while (m_bus.state() != QProcess::NotRunning && !m_bus.canReadLine())
            m_bus.waitForReadyRead(1000);
        m_address = QString::fromUtf8(m_bus.readLine()).trimmed();
        EXPECT_FALSE(m_address.isEmpty()) << "dbus-daemon did not start";
        qputenv("DBUS_SESSION_BUS_ADDRESS", m_address.toUtf8());
        env.insert("DBUS_SESSION_BUS_ADDRESS", m_address);
        m_keyring.setProcessEnvironment(env);
        m_keyring.start("gnome-keyring-daemon", {"--foreground", "--unlock", "--components=secrets"});
        m_keyring.write("test-keyring"); // the new login keyring's password, which unlocks it
        m_keyring.closeWriteChannel();
        m_env = env;
        // The keyring unlocked, it takes its place on the bus when told to start its components, which it
        // can be once its control socket is there (as a desktop session's start does).
        const QString control = m_dir.path() + "/keyring/control";
        for (int attempt = 0;
             attempt < 1000 && !QFile::exists(control) && m_keyring.state() != QProcess::NotRunning;
             ++attempt)
            m_keyring.waitForReadyRead(10);
        EXPECT_TRUE(run("gnome-keyring-daemon", {"--start", "--components=secrets"}))
            << "the keyring did not start";
        bool owned = false;
        for (int attempt = 0; attempt < 1000 && !owned && m_keyring.state() != QProcess::NotRunning;
             ++attempt)
            owned = run("dbus-send",
                        {"--session", "--print-reply", "--dest=org.freedesktop.DBus", "/org/freedesktop/DBus",
                         "org.freedesktop.DBus.NameHasOwner", "string:org.freedesktop.secrets"})
                        .value_or("")
                        .contains("boolean true");
        EXPECT_TRUE(owned) << "the keyring did not take the Secret Service's name";
        EXPECT_TRUE(run("secret-tool", {"store", "--label=probe", "probe", "ready"}, "1"))
            << "the Secret Service did not store an item";
    }

    // A program's output, or nullopt when it failed.
    std::optional<QByteArray> run(const QString &program, const QStringList &args,
                                  const QByteArray &input = {}) {
        QProcess p;
        p.setProcessEnvironment(m_env);
        p.start(program, args);
        p.write(input);
        p.closeWriteChannel();
        if (!p.waitForFinished(30000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
            return std::nullopt;
        return p.readAllStandardOutput();
    }

    QTemporaryDir m_dir;
    QProcess m_bus;
    QProcess m_keyring;
    QProcessEnvironment m_env;
    QString m_address;
};

} // namespace quorix::testing
