#pragma once

// The boxes the settings store remembers, with their sections and keys. Each writes its whole text on every
// change (multi-line boxes as CR LF text); start-up reads them back in its own order through loadBox().

#include <QString>

class QWidget;

namespace quorix {

struct Form;
class SettingsStore;

// Connects the change handler of every remembered box to its key.
void rememberBoxes(const Form &form, SettingsStore &store);

// Sets a one-line or multi-line box to the stored value, or to fallback when none is stored. Setting it runs
// its change handler, so what is loaded is written back. Returns the value set.
QString loadBox(QWidget *box, SettingsStore &store, const QString &section, const QString &key,
                const QString &fallback = {});
// Replaces a multi-line box's text only with a stored value that is not empty.
void loadBoxIfStored(QWidget *box, SettingsStore &store, const QString &section, const QString &key);

// Sections and keys, as the store has always named them.
inline const QString kSectionMir = QStringLiteral("MIR");
inline const QString kSectionMain = QStringLiteral("MAIN");
inline const QString kSectionRestoreTo = QStringLiteral("txtRestoreTO");

} // namespace quorix
