// File access on Windows: FindFirstFile for listing, CopyFile into a temporary name and MoveFileEx into place
// for copies, MoveFileEx without replacing for renames. UNC paths first connect their share with the slot's
// account.

#include "core/shares/FileAccess.h"
#include "core/shares/win/WinCommon.h"

namespace quorix::shares {

namespace {

using win::describeCode;
using win::widen;

struct Target {
    ParsedPath parsed;
    std::wstring wide; // the path with trailing blanks and dots of its names dropped
};

// Empty on success, else the error description. A drive letter that names no drive is said so plainly;
// Windows itself would only report the path as not found.
std::string prepare(const std::string &path, const std::string &action, Target &target) {
    target.parsed = parsePath(path);
    if (target.parsed.kind == PathKind::Drive) {
        const std::wstring root = std::wstring(1, static_cast<wchar_t>(target.parsed.drive)) + L":\\";
        if (GetDriveTypeW(root.c_str()) == DRIVE_NO_ROOT_DIR)
            return describe(action, path, Problem::DriveNotMapped, std::string(1, target.parsed.drive) + ":");
    }
    if (target.parsed.kind == PathKind::Unc && (target.parsed.server.empty() || target.parsed.share.empty()))
        return describe(action, path, Problem::ShareNotFound);
    win::connectShareFor(target.parsed);
    target.wide = widen(formatPath(target.parsed, '\\'));
    return {};
}

// The copy's own file in the target's folder, after removing what a killed copy of the same file left there.
// Empty on success, else the error description.
std::string makeRoomForTemp(const Target &target, const std::string &to, std::wstring &temp) {
    ParsedPath path = target.parsed;
    const std::string name = copyTempName(path.parts.back());
    path.parts.back() = name;
    temp = widen(formatPath(path, '\\'));
    const DWORD attributes = GetFileAttributesW(temp.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return {};
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        return describeLeftover(to, name, Problem::NotAFile);
    // A copy of a read-only file leaves a read-only file. A copy that is still running holds its file
    // open and Windows refuses the removal; the existing target stays.
    SetFileAttributesW(temp.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (DeleteFileW(temp.c_str()))
        return {};
    const DWORD code = GetLastError();
    const Problem problem = win::problemFor(code, Problem::FileNotFound);
    if (problem == Problem::FileNotFound)
        return {};
    return describeLeftover(to, name, problem, problem == Problem::Other ? win::systemMessage(code) : "");
}

// Called by CopyFileEx between chunks: a cancel stops the copy there.
DWORD CALLBACK progress(LARGE_INTEGER, LARGE_INTEGER, LARGE_INTEGER, LARGE_INTEGER, DWORD, DWORD, HANDLE,
                        HANDLE, LPVOID watch) {
    return static_cast<const CopyWatch *>(watch)->cancelled() ? PROGRESS_CANCEL : PROGRESS_CONTINUE;
}

class WinFileAccess : public FileAccess {
public:
    Outcome list(const std::string &folder, const std::string &patterns,
                 std::vector<std::string> &names) override {
        names.clear();
        Target target;
        if (std::string error = prepare(folder, "Cannot list", target); !error.empty())
            return Outcome::failed(error);
        std::wstring query = target.wide;
        if (query.empty() || query.back() != L'\\')
            query += L'\\';
        query += L'*';
        WIN32_FIND_DATAW data{};
        HANDLE find = FindFirstFileW(query.c_str(), &data);
        if (find == INVALID_HANDLE_VALUE) {
            const DWORD code = GetLastError();
            if (code == ERROR_FILE_NOT_FOUND || code == ERROR_NO_MORE_FILES)
                return {}; // an empty drive root
            return Outcome::failed(describeCode("Cannot list", folder, code, Problem::FolderNotFound));
        }
        do {
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                continue;
            const std::string name = win::narrow(data.cFileName);
            if (listed(name, patterns))
                names.push_back(name);
        } while (FindNextFileW(find, &data));
        FindClose(find);
        sortNames(names);
        return {};
    }

    Outcome copy(const std::string &from, const std::string &to) override {
        Target source, target;
        if (std::string error = prepare(from, "Cannot read", source); !error.empty())
            return Outcome::failed(error);
        if (std::string error = prepare(to, "Cannot write", target); !error.empty())
            return Outcome::failed(error);
        if (target.parsed.parts.empty())
            return Outcome::failed(describe("Cannot write", to, Problem::NotAFile));

        // The source is looked at first, so that a missing folder is blamed on the right side.
        const DWORD attributes = GetFileAttributesW(source.wide.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES)
            return Outcome::failed(describeCode("Cannot read", from, GetLastError(), Problem::FileNotFound));
        if (attributes & FILE_ATTRIBUTE_DIRECTORY)
            return Outcome::failed(describe("Cannot read", from, Problem::NotAFile));

        std::wstring temp;
        if (std::string error = makeRoomForTemp(target, to, temp); !error.empty())
            return Outcome::failed(error);
        CopyWatch watch;
        if (!CopyFileExW(source.wide.c_str(), temp.c_str(), &progress, &watch, nullptr,
                         COPY_FILE_FAIL_IF_EXISTS)) {
            const DWORD code = GetLastError();
            if (code == ERROR_REQUEST_ABORTED) {
                DeleteFileW(temp.c_str());
                return Outcome::failed(describe("Cannot write", to, Problem::Cancelled));
            }
            // Another copy of the same file created it again since the removal.
            if (code == ERROR_FILE_EXISTS)
                return Outcome::failed(
                    describeLeftover(to, copyTempName(target.parsed.parts.back()), Problem::InUse));
            DeleteFileW(temp.c_str());
            return Outcome::failed(describeCode("Cannot write", to, code, Problem::FolderNotFound));
        }
        if (!MoveFileExW(temp.c_str(), target.wide.c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            const DWORD code = GetLastError();
            DeleteFileW(temp.c_str());
            return Outcome::failed(describeCode("Cannot write", to, code, Problem::FolderNotFound));
        }
        return {};
    }

    Outcome rename(const std::string &from, const std::string &to) override {
        Target source, target;
        if (std::string error = prepare(from, "Cannot rename", source); !error.empty())
            return Outcome::failed(error);
        if (std::string error = prepare(to, "Cannot rename", target); !error.empty())
            return Outcome::failed(error);
        // Without MOVEFILE_REPLACE_EXISTING the call fails when the new name exists.
        if (MoveFileExW(source.wide.c_str(), target.wide.c_str(), 0))
            return {};
        const DWORD code = GetLastError();
        if (code == ERROR_FILE_NOT_FOUND)
            return Outcome::failed(describe("Cannot rename", from, Problem::FileNotFound));
        return Outcome::failed(
            describeCode("Cannot rename", from + " to " + to, code, Problem::FileNotFound));
    }
};

} // namespace

FileAccess &platformFiles() {
    static WinFileAccess access;
    return access;
}

} // namespace quorix::shares
