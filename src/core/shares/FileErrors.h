#pragma once

// The error descriptions of the file layer, the same on every platform: what failed, on which path and why,
// e.g. "Cannot read x:\MIR\Billing.BAK: file not found".

#include <string>

namespace quorix::shares {

enum class Problem {
    FileNotFound,
    FolderNotFound,
    DriveNotMapped,
    AccessDenied,
    ShareNotFound,
    ShareUnreachable,
    DiskFull,
    AlreadyExists,
    NotAFile,
    NotSameShare,
    InUse,
    Cancelled,
    Other,
};

// action is "Cannot read", "Cannot write", "Cannot list", "Cannot rename"; path is the path as the caller
// gave it; detail completes DriveNotMapped (the letter) and Other (the system's own text).
std::string describe(const std::string &action, const std::string &path, Problem problem,
                     const std::string &detail = {});

// A copy to path that found the temporary file tempName (see copyTempName) and could not remove it, for the
// reason problem: in use means another copy of the same file is running; anything else is a file an earlier
// copy left that someone must remove. The file at path is left as it was.
std::string describeLeftover(const std::string &path, const std::string &tempName, Problem problem,
                             const std::string &detail = {});

// Copies can be stopped from any thread (the window's Cancel button, or the program quitting while a copy
// waits). A copy notes the count of cancels when it starts and stops at its next block once the count has
// moved on, so a cancel stops what runs at that moment and never a copy started afterwards.
void cancelCopies();
class CopyWatch {
public:
    CopyWatch();
    bool cancelled() const;

private:
    unsigned long long m_start;
};

} // namespace quorix::shares
