#include "core/db/secure/FreeTdsConf.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QStandardPaths>
#include <map>
#include <mutex>

namespace quorix {

namespace {

struct ConfFile {
    std::mutex mutex;
    QString path;
    QByteArray inherited; // the user's own file named by FREETDSCONF before
    std::map<QString, QString> sections;
};

ConfFile &conf() {
    static ConfFile file;
    return file;
}

void prepareLocked(ConfFile &c) {
    if (!c.path.isEmpty())
        return;
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
    c.path = QDir(folder).filePath(QStringLiteral("freetds.conf"));
    const QByteArray before = qgetenv("FREETDSCONF");
    if (!before.isEmpty() && QString::fromLocal8Bit(before) != c.path) {
        QFile user(QString::fromLocal8Bit(before));
        if (user.open(QIODevice::ReadOnly))
            c.inherited = user.readAll() + '\n';
    }
    qputenv("FREETDSCONF", QFile::encodeName(c.path));
}

// The tool's sections already in the file (another of its processes, the monitoring check beside the
// window, may have written them): kept, so no process takes away what another connects with.
void readSections(const QString &path, std::map<QString, QString> &into) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return;
    const QStringList lines = QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'));
    QString name, body;
    const auto flush = [&] {
        if (!name.isEmpty() && !into.count(name))
            into[name] = body;
        name.clear();
        body.clear();
    };
    for (const QString &line : lines) {
        if (line.startsWith(QLatin1Char('['))) {
            flush();
            if (line.startsWith(QLatin1String("[quorix-")) && line.endsWith(QLatin1Char(']'))) {
                name = line.mid(1, line.size() - 2);
                body = line + QLatin1Char('\n');
            }
        } else if (!name.isEmpty() && line.startsWith(QLatin1Char('\t'))) {
            body += line + QLatin1Char('\n');
        }
    }
    flush();
}

} // namespace

void prepareFreeTdsConfiguration() {
    ConfFile &c = conf();
    const std::lock_guard lock(c.mutex);
    prepareLocked(c);
}

QString ensureFreeTdsSection(const FreeTdsSection &section) {
    ConfFile &c = conf();
    const std::lock_guard lock(c.mutex);
    prepareLocked(c);
    const auto known = c.sections.find(section.name);
    if (known != c.sections.end() && known->second == section.body && QFile::exists(c.path))
        return {};
    c.sections[section.name] = section.body;
    readSections(c.path, c.sections);
    const QString folder = QFileInfo(c.path).absolutePath();
    if (!QDir().mkpath(folder))
        return QStringLiteral("the folder %1 could not be created").arg(folder);
    QSaveFile f(c.path);
    QByteArray text = c.inherited + "# Written by QUORIX DB Tools: one section per server it connects to.\n";
    for (const auto &[name, body] : c.sections)
        text += body.toUtf8() + '\n';
    if (!f.open(QIODevice::WriteOnly) || f.write(text) < 0) {
        f.cancelWriting();
        return QStringLiteral("%1 could not be written").arg(c.path);
    }
    f.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    return f.commit() ? QString() : QStringLiteral("%1 could not be written").arg(c.path);
}

} // namespace quorix
