#pragma once

// Debian's Nagios Core (nagios4-core), started by a test with its own configuration in a folder of its own
// and on loopback, not as the system's service: one host whose services run the given command lines. A
// check is forced through the external command file and its result read back from the status file, as
// Nagios recorded it.

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QThread>
#include <chrono>
#include <ctime>
#include <fcntl.h>
#include <grp.h>
#include <map>
#include <pwd.h>
#include <unistd.h>

namespace quorix::testing {

inline const QString kNagiosBinary = QStringLiteral("/usr/sbin/nagios4");

class NagiosCore {
public:
    static constexpr const char *kHost = "sqlpair";
    using Status = std::map<QString, QString>; // one servicestatus block of the status file

    explicit NagiosCore(const QString &dir) : m_dir(dir) {}
    ~NagiosCore() {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.terminate();
            if (!m_process.waitForFinished(10000))
                m_process.kill();
            m_process.waitForFinished(5000);
        }
    }
    NagiosCore(const NagiosCore &) = delete;
    NagiosCore &operator=(const NagiosCore &) = delete;

    // A service of the host that runs commandLine (Nagios's own syntax: no ';', which starts a comment).
    void addService(const QString &name, const QString &commandLine) {
        m_services.emplace_back(name, commandLine);
    }

    // Writes the configuration and starts Nagios in the foreground; true once it reads its command file.
    bool start(std::chrono::milliseconds limit) {
        QDir().mkpath(path("checkresults"));
        write("nagios.cfg", mainConfig());
        write("objects.cfg", objects());
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        m_process.start(kNagiosBinary, {path("nagios.cfg")});
        if (!m_process.waitForStarted(int(limit.count())))
            return false;
        return waitFor(limit, [this] { return m_process.state() == QProcess::Running && commandFileOpen(); });
    }
    QString output() { return QString::fromUtf8(m_process.readAll()); }

    // Asks Nagios to run the service's check now, whatever its schedule. Returns the time asked (seconds).
    qint64 forceCheck(const QString &service) {
        const qint64 now = std::time(nullptr);
        const QByteArray line = QStringLiteral("[%1] SCHEDULE_FORCED_SVC_CHECK;%2;%3;%1\n")
                                    .arg(now)
                                    .arg(QLatin1String(kHost), service)
                                    .toUtf8();
        const int fd = ::open(QFile::encodeName(path("nagios.cmd")).constData(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0) {
            [[maybe_unused]] const ssize_t written =
                ::write(fd, line.constData(), static_cast<size_t>(line.size()));
            ::close(fd);
        }
        return now;
    }

    // The service's status once Nagios has recorded a check that started at `since` or later; empty when
    // none was recorded within limit.
    Status waitForCheck(const QString &service, qint64 since, std::chrono::milliseconds limit) {
        Status found;
        waitFor(limit, [&] {
            const Status s = serviceStatus(service);
            const auto last = s.find(QStringLiteral("last_check"));
            if (s.count(QStringLiteral("has_been_checked")) &&
                s.at(QStringLiteral("has_been_checked")) == "1" && last != s.end() &&
                last->second.toLongLong() >= since) {
                found = s;
                return true;
            }
            return false;
        });
        return found;
    }

    Status serviceStatus(const QString &service) const {
        QFile file(path("status.dat"));
        if (!file.open(QIODevice::ReadOnly))
            return {};
        Status block;
        bool inService = false;
        for (const QString &raw : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'))) {
            const QString line = raw.trimmed();
            if (line == QLatin1String("servicestatus {")) {
                inService = true;
                block.clear();
            } else if (inService && line == QLatin1String("}")) {
                if (block[QStringLiteral("service_description")] == service)
                    return block;
                inService = false;
            } else if (inService) {
                const qsizetype eq = line.indexOf(QLatin1Char('='));
                if (eq > 0)
                    block[line.left(eq)] = line.mid(eq + 1);
            }
        }
        return {};
    }

private:
    QString path(const QString &name) const { return m_dir + QLatin1Char('/') + name; }
    void write(const QString &name, const QString &text) const {
        QFile file(path(name));
        if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            file.write(text.toUtf8());
    }
    bool commandFileOpen() const {
        // A reader holds the command pipe once Nagios listens on it: only then does a non-blocking open
        // for writing succeed.
        const int fd = ::open(QFile::encodeName(path("nagios.cmd")).constData(), O_WRONLY | O_NONBLOCK);
        if (fd < 0)
            return false;
        ::close(fd);
        return true;
    }
    template <class Condition> static bool waitFor(std::chrono::milliseconds limit, Condition done) {
        QElapsedTimer clock;
        clock.start();
        while (!done()) {
            if (clock.elapsed() > limit.count())
                return false;
            QThread::msleep(100);
        }
        return true;
    }

    QString mainConfig() const {
        const passwd *user = getpwuid(getuid());
        const group *grp = getgrgid(getgid());
        QStringList lines;
        const auto file = [&](const char *key, const char *name) {
            lines << QLatin1String(key) + QLatin1Char('=') + path(QLatin1String(name));
        };
        file("log_file", "nagios.log");
        file("cfg_file", "objects.cfg");
        file("object_cache_file", "objects.cache");
        file("precached_object_file", "objects.precache");
        file("status_file", "status.dat");
        file("command_file", "nagios.cmd");
        file("lock_file", "nagios.lock");
        file("temp_file", "nagios.tmp");
        file("temp_path", ".");
        file("check_result_path", "checkresults");
        file("query_socket", "nagios.qh");
        file("state_retention_file", "retention.dat");
        lines << QStringLiteral("nagios_user=") + QString::fromLocal8Bit(user ? user->pw_name : "root")
              << QStringLiteral("nagios_group=") + QString::fromLocal8Bit(grp ? grp->gr_name : "root")
              << QStringLiteral("status_update_interval=1") << QStringLiteral("check_external_commands=1")
              << QStringLiteral("retain_state_information=0") << QStringLiteral("use_syslog=0")
              << QStringLiteral("check_result_reaper_frequency=1")
              << QStringLiteral("service_inter_check_delay_method=n")
              << QStringLiteral("host_inter_check_delay_method=n") << QStringLiteral("enable_notifications=0")
              << QStringLiteral("enable_flap_detection=0") << QStringLiteral("execute_host_checks=0")
              << QStringLiteral("service_check_timeout=60") << QStringLiteral("interval_length=60");
        return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
    }

    QString objects() const {
        QString text =
            QStringLiteral(
                "define timeperiod {\n timeperiod_name always\n alias always\n"
                " sunday 00:00-24:00\n monday 00:00-24:00\n tuesday 00:00-24:00\n wednesday 00:00-24:00\n"
                " thursday 00:00-24:00\n friday 00:00-24:00\n saturday 00:00-24:00\n}\n"
                "define command {\n command_name nothing\n command_line /bin/true\n}\n"
                "define contact {\n contact_name dba\n host_notifications_enabled 0\n"
                " service_notifications_enabled 0\n host_notification_period always\n"
                " service_notification_period always\n host_notification_options n\n"
                " service_notification_options n\n host_notification_commands nothing\n"
                " service_notification_commands nothing\n}\n"
                "define host {\n host_name %1\n address 127.0.0.1\n check_command nothing\n"
                " max_check_attempts 1\n check_period always\n notification_period always\n"
                " notification_interval 0\n contacts dba\n}\n")
                .arg(QLatin1String(kHost));
        for (const auto &[name, commandLine] : m_services)
            text += QStringLiteral("define command {\n command_name run_%1\n command_line %2\n}\n"
                                   "define service {\n host_name %3\n service_description %1\n"
                                   " check_command run_%1\n max_check_attempts 1\n check_interval 60\n"
                                   " retry_interval 60\n check_period always\n notification_period always\n"
                                   " notification_interval 0\n contacts dba\n}\n")
                        .arg(name, commandLine, QLatin1String(kHost));
        return text;
    }

    QString m_dir;
    std::vector<std::pair<QString, QString>> m_services;
    QProcess m_process;
};

} // namespace quorix::testing
