#include "gui/app/RememberedBoxes.h"

#include "core/settings/PasswordStore.h"
#include "core/settings/SettingsStore.h"
#include "gui/ui/BoxText.h"
#include "gui/ui/Form.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMainWindow>
#include <QPlainTextEdit>
#include <cstring>
#include <stdexcept>

namespace quorix {

namespace {

using enum AtStartUp;

// clang-format off
constexpr RememberedBox kRows[] = {
    // box                count  section         key                  indexed  secret  default               start-up
    {"txtServer",           2,   "MIR",          "txtServer",         true,    false,  "",                   Load},
    {"txtPW",               2,   "MIR",          "DB",                true,    true,   "",                   Load},
    {"txtLogin",            2,   "MIR",          "txtLogin",          true,    false,  "sa",                 Load},
    {"chkWindowsAuth",      2,   "MIR",          "chkWindowsAuth",    true,    false,  "0",                  Load},
    {"cboEncryption",       2,   "MIR",          "cboEncryption",     true,    false,  "Mandatory",          Load},
    {"txtServerUser",       2,   "MAIN",         "txtServerUser",     true,    false,  "administrator",      Load},
    {"txtServerPW",         2,   "MAIN",         "txtServerPW",       true,    true,   "",                   Load},
    {"txtLogDrive",         2,   "MAIN",         "txtLogDrive",       false,   false,  "",                   Load},
    {"txtRestoreTO",        6,   "txtRestoreTO", "DB",                true,    false,  "",                   LoadEmptyAsD},
    {"txtBackupDrive",      1,   "MAIN",         "txtBackupDrive",    false,   false,  "p:\\backup\\MIR\\",  Load},
    {"txtLastNames",        1,   "MAIN",         "txtLastNames",      false,   false,  "",                   LoadIfStored},
    {"txtFirstnames",       1,   "MAIN",         "txtFirstnames",     false,   false,  "",                   LoadIfStored},
    {"txtATables",          1,   "MAIN",         "txtATables",        false,   false,  "",                   LoadIfStored},
    {"txtAnonymize",        9,   "MAIN",         "txtAnonymize",      true,    false,  "",                   NotRead},
    {"txtAnonymizeField",  18,   "MAIN",         "txtAnonymizeField", true,    false,  "",                   NotRead},
};
// clang-format on

QString controlName(const RememberedBox &row, int index) {
    const QString name = QLatin1String(row.box);
    return row.count == 1 ? name : name + QLatin1Char('(') + QString::number(index) + QLatin1Char(')');
}

QString keyOf(const RememberedBox &row, int index) {
    const QString key = QLatin1String(row.key);
    return row.indexedKey ? key + QString::number(index) : key;
}

QWidget *boxOf(const Form &form, const RememberedBox &row, int index) {
    auto *box = form.frmMain->findChild<QWidget *>(controlName(row, index));
    if (!box)
        throw std::logic_error("a remembered box is missing from the window");
    return box;
}

void setText(QWidget *box, const QString &text) {
    if (auto *line = qobject_cast<QLineEdit *>(box))
        line->setText(text);
    else if (auto *memo = qobject_cast<QPlainTextEdit *>(box))
        setBoxText(memo, text);
    else if (auto *tick = qobject_cast<QCheckBox *>(box))
        tick->setChecked(text == QLatin1String("1"));
    else if (auto *choice = qobject_cast<QComboBox *>(box)) {
        // A value no choice has (an older or a damaged file) leaves the default: never a weaker one.
        const int at = choice->findText(text, Qt::MatchFixedString);
        if (at >= 0)
            choice->setCurrentIndex(at);
    }
}

SecretKey secretOf(const RememberedBox &row, int index) {
    return {QLatin1String(row.section), keyOf(row, index), controlName(row, index)};
}

// What the store holds, or the row's default; a password from wherever passwords() keeps it.
QString storedText(const SettingsStore &store, const RememberedBox &row, int index) {
    if (row.secret)
        return passwords().read(secretOf(row, index));
    return store.read(QLatin1String(row.section), keyOf(row, index), QLatin1String(row.fallback));
}

void remember(QWidget *box, SettingsStore &store, const QString &section, const QString &key) {
    if (auto *line = qobject_cast<QLineEdit *>(box))
        QObject::connect(line, &QLineEdit::textChanged, line,
                         [&store, section, key](const QString &text) { store.write(section, key, text); });
    else if (auto *memo = qobject_cast<QPlainTextEdit *>(box))
        QObject::connect(memo, &QPlainTextEdit::textChanged, memo,
                         [&store, memo, section, key] { store.write(section, key, boxText(memo)); });
    else if (auto *tick = qobject_cast<QCheckBox *>(box))
        QObject::connect(tick, &QCheckBox::toggled, tick, [&store, section, key](bool on) {
            store.write(section, key, QLatin1String(on ? "1" : "0"));
        });
    else if (auto *choice = qobject_cast<QComboBox *>(box))
        QObject::connect(choice, &QComboBox::currentTextChanged, choice,
                         [&store, section, key](const QString &text) { store.write(section, key, text); });
}

} // namespace

std::span<const RememberedBox> rememberedBoxes() {
    return kRows;
}

void rememberBoxes(const Form &form, SettingsStore &store) {
    for (const RememberedBox &row : kRows)
        for (int i = 0; i < row.count; ++i) {
            QWidget *box = boxOf(form, row, i);
            if (!row.secret) {
                remember(box, store, QLatin1String(row.section), keyOf(row, i));
                continue;
            }
            auto *line = qobject_cast<QLineEdit *>(box);
            QObject::connect(
                line, &QLineEdit::textChanged, line,
                [secret = secretOf(row, i)](const QString &text) { passwords().write(secret, text); });
        }
}

std::vector<SecretKey> rememberedSecrets() {
    std::vector<SecretKey> secrets;
    for (const RememberedBox &row : kRows)
        for (int i = 0; row.secret && i < row.count; ++i)
            secrets.push_back(secretOf(row, i));
    return secrets;
}

bool loadRemembered(const Form &form, SettingsStore &store, const char *box, int index) {
    for (const RememberedBox &row : kRows) {
        if (std::strcmp(row.box, box) != 0)
            continue;
        QWidget *widget = boxOf(form, row, index);
        const QString section = QLatin1String(row.section);
        const QString stored =
            row.secret ? storedText(store, row, index) : store.read(section, keyOf(row, index));
        switch (row.startUp) {
        case Load:
        case LoadEmptyAsD: {
            const QString value = row.secret ? stored : storedText(store, row, index);
            setText(widget, value);
            if (row.startUp == LoadEmptyAsD && value.isEmpty())
                setText(widget, QStringLiteral("D"));
            break;
        }
        case LoadIfStored:
            if (!stored.isEmpty())
                setText(widget, stored);
            break;
        case NotRead:
            break;
        }
        return !stored.isEmpty();
    }
    throw std::logic_error("not a remembered box");
}

QString rememberedText(const SettingsStore &store, const char *box, int index) {
    for (const RememberedBox &row : kRows)
        if (std::strcmp(row.box, box) == 0)
            return storedText(store, row, index);
    throw std::logic_error("not a remembered box");
}

} // namespace quorix
