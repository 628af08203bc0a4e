#pragma once

// The boxes the settings store remembers: one row each, with the section and key it is kept under, its
// default and what start-up does with it. Every box of the table writes its whole text on every change
// (multi-line boxes as CR LF text); start-up reads them back, in its own step order, through
// loadRemembered(). A new remembered box is one more row. Passwords go through passwords() instead of the
// settings store given.

#include <QString>

#include <span>
#include <vector>

namespace quorix {

struct Form;
class SettingsStore;
struct SecretKey;

// What start-up does with a remembered box.
enum class AtStartUp {
    Load,         // the stored value, or the default when none is stored
    LoadEmptyAsD, // the same; an empty result then becomes "D"
    LoadIfStored, // only a stored value that is not empty replaces the box's built-in text
    NotRead,      // written on every change, never read back
};

struct RememberedBox {
    const char *box;     // the control's name; an array is one row for all its boxes
    int count;           // 1 for a single box, else the size of the array
    const char *section; // section of the store
    const char *key;     // key of the store; the box's index is appended when indexedKey
    bool indexedKey;     // false: every box of the array shares the one key
    bool secret; // a password: kept in the credential store when one answers (core/settings/PasswordStore)
    const char *fallback; // what a box reads when nothing is stored (Load, LoadEmptyAsD)
    AtStartUp startUp;
};

// The table, row for row.
std::span<const RememberedBox> rememberedBoxes();

// Connects the change handler of every remembered box to its key.
void rememberBoxes(const Form &form, SettingsStore &store);

// Start-up's read of one box (box(index) of an array): applies the row's rule. Setting the box runs its
// change handler, so what is loaded is written back. Returns whether a value that is not empty was found
// in the store.
bool loadRemembered(const Form &form, SettingsStore &store, const char *box, int index = 0);

// The passwords among the remembered boxes, each box of an array on its own.
std::vector<SecretKey> rememberedSecrets();

// What the store holds for box(index), or the row's default: the box's text without a window.
QString rememberedText(const SettingsStore &store, const char *box, int index = 0);

} // namespace quorix
