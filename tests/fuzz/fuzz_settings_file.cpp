// The settings file reader on any file: the input is the INI file. Opening it never crashes, every key
// found can be read, a key written is there when the file is opened again, and a file that was read
// keeps every other value through that write.

#include "FuzzInput.h"

#include "core/settings/SettingsStore.h"

#include <QFile>
#include <QHash>
#include <QSet>
#include <QSettings>
#include <QTemporaryDir>

using quorix::SettingsStore;

namespace {

// Section and key of a key path as QSettings lists it ("MAIN/txtDB"; a key outside any section alone).
QPair<QString, QString> sectionAndKey(const QString &path) {
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return {slash < 0 ? QString() : path.left(slash), path.mid(slash + 1)};
}

// Every key's value through the store, and every section's key list.
QHash<QString, QString> readAll(const SettingsStore &store, const QStringList &paths) {
    QHash<QString, QString> values;
    QSet<QString> sections;
    for (const QString &path : paths) {
        const auto [section, key] = sectionAndKey(path);
        values.insert(path, store.read(section, key, QStringLiteral("(missing)")));
        sections.insert(section);
    }
    for (const QString &section : sections)
        store.keys(section);
    return values;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static QTemporaryDir dir;
    // A new file each round: QSettings keeps what it read of a path for as long as the process runs.
    static int round = 0;
    const QString path = dir.filePath(QStringLiteral("quorix-dbtools-%1.ini").arg(++round));
    {
        QFile file(path);
        fuzz::require(file.open(QIODevice::WriteOnly), "the temporary folder takes a file", path);
        file.write(reinterpret_cast<const char *>(data), static_cast<qint64>(size));
    }
    // The value written is the input's first line, so values too come in every shape.
    const QString written = fuzz::textOf(data, size).section(QLatin1Char('\n'), 0, 0).left(200);
    QHash<QString, QString> before;
    QStringList paths;
    bool wasRead = false;
    {
        SettingsStore store;
        store.openFile(path);
        wasRead = store.openProblem().isEmpty();
        // Listed only when the store found the file sound: listing parses every value, and a file it set
        // aside may hold one whose reading is the very fault it avoids.
        if (wasRead)
            paths = QSettings(path, QSettings::IniFormat).allKeys();
        before = readAll(store, paths);
        fuzz::require(store.write(QStringLiteral("MAIN"), QStringLiteral("txtFuzz"), written),
                      "a key can be written", written);
    }
    SettingsStore again;
    again.openFile(path);
    fuzz::require(again.openProblem().isEmpty(), "the written file opens", again.openProblem());
    const QString back = again.read(QStringLiteral("MAIN"), QStringLiteral("txtFuzz"));
    fuzz::require(back == written, "the written key is kept", back, written);
    if (wasRead) {
        const QHash<QString, QString> after = readAll(again, paths);
        for (const QString &p : paths)
            if (p != QLatin1String("MAIN/txtFuzz"))
                fuzz::require(after.value(p) == before.value(p), "a write keeps every other value",
                              p + QLatin1Char('=') + after.value(p), p + QLatin1Char('=') + before.value(p));
    }
    QFile::remove(path);
    QFile::remove(path + QStringLiteral(".bad"));
    return 0;
}
