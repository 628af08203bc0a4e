#include "gui/app/ShareSettings.h"

#include "core/settings/SettingsStore.h"
#include "core/shares/Platform.h"
#include "gui/ui/Form.h"

#include <QCoreApplication>
#include <QMainWindow>
#include <QMetaObject>
#include <QPointer>
#include <QThread>

namespace quorix {

namespace {

const QString kDrivesSection = QStringLiteral("Drives");

// Runs f on the window's thread: the shares layer may call from a worker.
template <typename F> void onWindowThread(QObject *window, F f) {
    if (QThread::currentThread() == window->thread())
        f();
    else
        QMetaObject::invokeMethod(window, std::move(f), Qt::BlockingQueuedConnection);
}

// The store is not thread-safe; every access goes through the window's thread.
class SettingsDriveStore : public shares::DriveStore {
public:
    explicit SettingsDriveStore(QPointer<QObject> window) : m_window(std::move(window)) {}

    std::map<std::string, std::string> load() override {
        std::map<std::string, std::string> values;
        if (m_window)
            onWindowThread(m_window, [&] {
                SettingsStore &store = settings();
                for (const QString &key : store.keys(kDrivesSection))
                    values[key.toStdString()] = store.read(kDrivesSection, key).toStdString();
            });
        return values;
    }

    void save(const std::map<std::string, std::string> &values) override {
        if (m_window)
            onWindowThread(m_window, [&] {
                SettingsStore &store = settings();
                store.removeSection(kDrivesSection);
                for (const auto &[key, value] : values)
                    store.write(kDrivesSection, QString::fromStdString(key), QString::fromStdString(value));
            });
    }

private:
    QPointer<QObject> m_window;
};

} // namespace

void connectSharesToWindow(const Form &form) {
    shares::setDriveStore(std::make_shared<SettingsDriveStore>(QPointer<QObject>(form.frmMain)));
}

void disconnectSharesFromWindow() {
    shares::setDriveStore({});
}

} // namespace quorix
