#pragma once

// File access for the backup shares: local paths, drive paths ("x:\MIR\Billing.BAK", any letter case) and
// UNC paths ("\\server\backup\MIR"). Texts are UTF-8. Plain C++ so that every platform's implementation can
// be built without Qt. A failure's text (Outcome::error) says what failed and on which path.

#include "core/db/Outcome.h"

#include <string>
#include <vector>

namespace quorix::shares {

using quorix::Outcome;

class FileAccess {
public:
    virtual ~FileAccess() = default;
    // File names (no folder) in folder matching any of the ';'-separated patterns, letter case ignored as
    // on Windows, sorted by name ignoring case. A copy's temporary file is never among them.
    virtual Outcome list(const std::string &folder, const std::string &patterns,
                         std::vector<std::string> &names) = 0;
    // Copies with overwrite, through a temporary name renamed into place (copyTempName): a failed copy
    // leaves no partial file, and the temporary file a killed copy left is removed first. When that file
    // cannot be removed, or another copy of the same file holds it, the copy fails and the target stays.
    virtual Outcome copy(const std::string &from, const std::string &to) = 0;
    // Fails when the new name exists.
    virtual Outcome rename(const std::string &from, const std::string &to) = 0;
};

// File access as every caller uses it: the platform's, behind the "Script only" gate (Gate.h).
FileAccess &files();
// The implementation of this platform, without the gate.
FileAccess &platformFiles();

} // namespace quorix::shares
