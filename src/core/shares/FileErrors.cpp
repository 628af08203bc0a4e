#include "core/shares/FileErrors.h"

#include <atomic>

namespace quorix::shares {

namespace {

std::atomic<unsigned long long> g_cancels{0};

std::string reason(Problem problem, const std::string &detail) {
    std::string why;
    switch (problem) {
    case Problem::FileNotFound:
        why = "file not found";
        break;
    case Problem::FolderNotFound:
        why = "folder not found";
        break;
    case Problem::DriveNotMapped:
        why = "drive " + detail + " not mapped";
        break;
    case Problem::AccessDenied:
        why = "access denied";
        break;
    case Problem::ShareNotFound:
        why = "share not found";
        break;
    case Problem::ShareUnreachable:
        why = "share unreachable";
        break;
    case Problem::DiskFull:
        why = "disk full";
        break;
    case Problem::AlreadyExists:
        why = "file already exists";
        break;
    case Problem::NotAFile:
        why = "not a file";
        break;
    case Problem::NotSameShare:
        why = "not on the same drive or share";
        break;
    case Problem::InUse:
        why = "in use";
        break;
    case Problem::Cancelled:
        why = "the copy was cancelled";
        break;
    case Problem::Other:
        why = detail.empty() ? std::string("failed") : detail;
        break;
    }
    return why;
}

} // namespace

std::string describe(const std::string &action, const std::string &path, Problem problem,
                     const std::string &detail) {
    return action + " " + path + ": " + reason(problem, detail);
}

std::string describeLeftover(const std::string &path, const std::string &tempName, Problem problem,
                             const std::string &detail) {
    if (problem == Problem::InUse)
        return "Cannot write " + path + ": another copy of this file is running (" + tempName + " is in use)";
    return "Cannot write " + path + ": " + tempName +
           ", left by an earlier copy, cannot be removed: " + reason(problem, detail);
}

void cancelCopies() {
    g_cancels.fetch_add(1);
}

CopyWatch::CopyWatch() : m_start(g_cancels.load()) {}

bool CopyWatch::cancelled() const {
    return g_cancels.load() != m_start;
}

} // namespace quorix::shares
