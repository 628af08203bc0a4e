#pragma once

// Windows: the settings' registry key read and moved with the registry's own calls, so that a damaged
// value is found before the settings reader gets to it. (Compiled on Windows only.)

#include <QString>

namespace quorix::registry {

// Whether a value under key ("HKEY_CURRENT_USER\..."), or under one of its subkeys, is text that the
// settings reader would take for a serialized value ("@Variant(..."): such a value was put there by hand
// or by damage, and reading it would allocate whatever length its bytes claim.
bool holdsSerializedValue(const QString &key);

// Copies key with all below it to keptAs (replacing what was there), then deletes key. When the copy
// cannot be made, only the serialized values are deleted. True when the key was kept as keptAs.
bool moveAside(const QString &key, const QString &keptAs);

} // namespace quorix::registry
