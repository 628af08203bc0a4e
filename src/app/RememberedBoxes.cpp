#include "app/RememberedBoxes.h"

#include "app/SettingsStore.h"
#include "ui/BoxText.h"
#include "ui/Form.h"

#include <QLineEdit>
#include <QPlainTextEdit>

namespace quorix {

namespace {

QString key(const char *name, int index) {
    return QLatin1String(name) + QString::number(index);
}

void remember(QLineEdit *box, SettingsStore &store, const QString &section, const QString &k) {
    QObject::connect(box, &QLineEdit::textChanged, box,
                     [&store, section, k](const QString &text) { store.write(section, k, text); });
}

void remember(QPlainTextEdit *box, SettingsStore &store, const QString &section, const QString &k) {
    QObject::connect(box, &QPlainTextEdit::textChanged, box,
                     [&store, box, section, k] { store.write(section, k, boxText(box)); });
}

void setText(QWidget *box, const QString &text) {
    if (auto *line = qobject_cast<QLineEdit *>(box))
        line->setText(text);
    else if (auto *memo = qobject_cast<QPlainTextEdit *>(box))
        setBoxText(memo, text);
}

} // namespace

void rememberBoxes(const Form &form, SettingsStore &store) {
    for (int s = 0; s < 2; ++s) {
        const auto i = static_cast<size_t>(s);
        remember(form.txtServer[i], store, kSectionMir, key("txtServer", s));
        remember(form.txtPW[i], store, kSectionMir, key("DB", s));
        remember(form.txtServerUser[i], store, kSectionMain, key("txtServerUser", s));
        remember(form.txtServerPW[i], store, kSectionMain, key("txtServerPW", s));
        // Both slots share one key: the last box changed wins for both at the next start.
        remember(form.txtLogDrive[i], store, kSectionMain, QStringLiteral("txtLogDrive"));
    }
    for (int n = 0; n < 6; ++n)
        remember(form.txtRestoreTO[static_cast<size_t>(n)], store, kSectionRestoreTo, key("DB", n));
    remember(form.txtBackupDrive, store, kSectionMain, QStringLiteral("txtBackupDrive"));
    remember(form.txtLastNames, store, kSectionMain, QStringLiteral("txtLastNames"));
    remember(form.txtFirstnames, store, kSectionMain, QStringLiteral("txtFirstnames"));
    remember(form.txtATables, store, kSectionMain, QStringLiteral("txtATables"));
    for (int n = 0; n < 9; ++n)
        remember(form.txtAnonymize[static_cast<size_t>(n)], store, kSectionMain, key("txtAnonymize", n));
    for (int n = 0; n < 18; ++n)
        remember(form.txtAnonymizeField[static_cast<size_t>(n)], store, kSectionMain,
                 key("txtAnonymizeField", n));
}

QString loadBox(QWidget *box, SettingsStore &store, const QString &section, const QString &k,
                const QString &fallback) {
    const QString value = store.read(section, k, fallback);
    setText(box, value);
    return value;
}

void loadBoxIfStored(QWidget *box, SettingsStore &store, const QString &section, const QString &k) {
    const QString value = store.read(section, k);
    if (!value.isEmpty())
        setText(box, value);
}

} // namespace quorix
