// File access on POSIX systems: local paths directly, drive letters through the drive table and UNC paths
// through libsmbclient, each with the account of the server it names.

#include "core/shares/FileAccess.h"
#include "core/shares/FileErrors.h"
#include "core/shares/Paths.h"
#include "core/shares/posix/DriveTable.h"
#include "core/shares/posix/Fs.h"
#include "core/shares/posix/Smb.h"

#include <cerrno>
#include <cstring>

namespace quorix::shares {

namespace {

using posix::Entry;
using posix::Fs;
using posix::Stream;

// Big enough that libsmbclient keeps several requests in flight per call.
constexpr std::size_t kCopyBuffer = 8u << 20;

struct Location {
    Fs *fs = nullptr;
    bool smb = false;
    std::string server; // smb
    std::string share;  // smb
    bool absolute = false;
    std::vector<std::string> parts;

    std::string str() const {
        if (smb)
            return posix::smbUrl(server, share, parts);
        ParsedPath local;
        local.absolute = absolute;
        local.parts = parts;
        return formatPath(local, '/');
    }
    // Identifies the volume: renames work only within one.
    std::string volume() const { return smb ? toLower(server) + "/" + toLower(share) : std::string("/"); }
};

Problem problemFor(int error, Problem notFound) {
    switch (error) {
    case ENOENT:
        return notFound;
    case ENOTDIR:
        return Problem::FolderNotFound;
    case EACCES:
    case EPERM:
        return Problem::AccessDenied;
    case ENOSPC:
    case EDQUOT:
        return Problem::DiskFull;
    case EEXIST:
        return Problem::AlreadyExists;
    case EBUSY:
    case ETXTBSY:
        return Problem::InUse;
    case EISDIR:
        return Problem::NotAFile;
    case ENODEV:
        return Problem::ShareNotFound;
    case EXDEV:
        return Problem::NotSameShare;
    case ECONNREFUSED:
    case ECONNRESET:
    case EHOSTUNREACH:
    case EHOSTDOWN:
    case ENETUNREACH:
    case ENETDOWN:
    case ETIMEDOUT:
    case ENOTCONN:
        return Problem::ShareUnreachable;
    default:
        return Problem::Other;
    }
}

std::string describeErrno(const std::string &action, const std::string &path, int error, Problem notFound,
                          const Location *where = nullptr) {
    Problem problem = problemFor(error, notFound);
    // libsmbclient answers a missing share like a missing file; the share's root tells them apart.
    if (error == ENOENT && where && where->smb) {
        Location root = *where;
        root.parts.clear();
        bool folder = false;
        if (root.fs->isFolder(root.str(), folder) == ENOENT)
            problem = Problem::ShareNotFound;
    }
    return describe(action, path, problem, problem == Problem::Other ? std::strerror(error) : std::string());
}

// Empty on success, else the error description.
std::string resolve(const std::string &path, const std::string &action, Location &location) {
    ParsedPath parsed = parsePath(path);
    switch (parsed.kind) {
    case PathKind::Local:
        location.fs = &posix::localFs();
        location.absolute = parsed.absolute;
        location.parts = parsed.parts;
        return {};
    case PathKind::Drive: {
        const auto entry = posix::DriveTable::find(parsed.drive);
        if (!entry)
            return describe(action, path, Problem::DriveNotMapped, std::string(1, parsed.drive) + ":");
        ParsedPath remote = parsePath(entry->remote);
        remote.parts.insert(remote.parts.end(), parsed.parts.begin(), parsed.parts.end());
        parsed = remote;
        break;
    }
    case PathKind::Unc:
        break;
    }
    if (parsed.server.empty() || parsed.share.empty())
        return describe(action, path, Problem::ShareNotFound);
    location.fs = &posix::smbFs();
    location.smb = true;
    location.server = parsed.server;
    location.share = parsed.share;
    location.parts = parsed.parts;
    return {};
}

// The copy's own file in the target's folder, after removing what a killed copy of the same file left there.
// Empty on success, else the error description.
std::string createTemp(const Location &target, const std::string &to, std::unique_ptr<Stream> &out) {
    Location temp = target;
    const std::string name = copyTempName(target.parts.back());
    temp.parts.back() = name;
    int rc = temp.fs->createNew(temp.str(), out);
    // A share answers a folder of that name with EISDIR.
    if (rc != EEXIST && rc != EISDIR && rc != EBUSY)
        return rc == 0 ? std::string()
                       : describeErrno("Cannot write", to, rc, Problem::FolderNotFound, &target);
    if (rc != EBUSY) {
        // A copy that is still running holds its file, and the removal is refused.
        rc = temp.fs->removeUnused(temp.str());
        if (rc == 0 || rc == ENOENT) {
            rc = temp.fs->createNew(temp.str(), out);
            if (rc == 0)
                return {};
            // Another copy created it again since the removal. A share may also report a folder removed
            // that is still there.
            if (rc == EEXIST)
                rc = EBUSY;
        }
    }
    // The existing target stays as it is.
    const Problem problem = problemFor(rc, Problem::FileNotFound);
    return describeLeftover(to, name, problem, problem == Problem::Other ? std::strerror(rc) : std::string());
}

class PosixFileAccess : public FileAccess {
public:
    Outcome list(const std::string &folder, const std::string &patterns,
                 std::vector<std::string> &names) override {
        names.clear();
        Location location;
        if (std::string error = resolve(folder, "Cannot list", location); !error.empty())
            return Outcome::failed(error);
        std::vector<Entry> entries;
        if (int rc = location.fs->list(location.str(), entries); rc != 0)
            return Outcome::failed(
                describeErrno("Cannot list", folder, rc, Problem::FolderNotFound, &location));
        for (const auto &entry : entries) {
            if (entry.isFile && listed(entry.name, patterns))
                names.push_back(entry.name);
        }
        sortNames(names);
        return {};
    }

    Outcome copy(const std::string &from, const std::string &to) override {
        Location source, target;
        if (std::string error = resolve(from, "Cannot read", source); !error.empty())
            return Outcome::failed(error);
        if (std::string error = resolve(to, "Cannot write", target); !error.empty())
            return Outcome::failed(error);
        if (target.parts.empty())
            return Outcome::failed(describe("Cannot write", to, Problem::NotAFile));

        const CopyWatch watch;
        std::unique_ptr<Stream> in;
        if (int rc = source.fs->openRead(source.str(), in); rc != 0)
            return Outcome::failed(describeErrno("Cannot read", from, rc, Problem::FileNotFound, &source));

        std::unique_ptr<Stream> out;
        if (std::string error = createTemp(target, to, out); !error.empty())
            return Outcome::failed(error);
        if (std::string error = pump(*in, *out, from, to, watch); !error.empty()) {
            out->discard();
            return Outcome::failed(error);
        }
        if (int rc = out->closeAs(target.str()); rc != 0)
            return Outcome::failed(describeErrno("Cannot write", to, rc, Problem::FolderNotFound));
        return {};
    }

    Outcome rename(const std::string &from, const std::string &to) override {
        Location source, target;
        const std::string both = from + " to " + to;
        if (std::string error = resolve(from, "Cannot rename", source); !error.empty())
            return Outcome::failed(error);
        if (std::string error = resolve(to, "Cannot rename", target); !error.empty())
            return Outcome::failed(error);
        if (source.volume() != target.volume() || source.parts.empty() || target.parts.empty())
            return Outcome::failed(describe("Cannot rename", both, Problem::NotSameShare));
        // Shares ignore letter case: a name that differs from the old one only in case is the same file,
        // which the existence check must not count against the rename.
        const bool caseOnly = source.smb && equalsNoCase(source.str(), target.str());
        int rc = source.fs->rename(source.str(), target.str(), caseOnly);
        if (rc == ENOENT) {
            bool folder = false;
            if (source.fs->isFolder(source.str(), folder) == ENOENT)
                return Outcome::failed(describe("Cannot rename", from, Problem::FileNotFound));
            return Outcome::failed(describe("Cannot rename", both, Problem::FolderNotFound));
        }
        if (rc != 0)
            return Outcome::failed(describeErrno("Cannot rename", both, rc, Problem::FileNotFound));
        return {};
    }

private:
    static std::string pump(Stream &in, Stream &out, const std::string &from, const std::string &to,
                            const CopyWatch &watch) {
        auto buffer = std::make_unique<char[]>(kCopyBuffer);
        for (;;) {
            if (watch.cancelled())
                return describe("Cannot write", to, Problem::Cancelled);
            const ssize_t n = in.read(buffer.get(), kCopyBuffer);
            if (n < 0)
                return describeErrno("Cannot read", from, static_cast<int>(-n), Problem::FileNotFound);
            if (n == 0)
                return {};
            if (int rc = out.writeAll(buffer.get(), static_cast<std::size_t>(n)); rc != 0)
                return describeErrno("Cannot write", to, rc, Problem::FolderNotFound);
        }
    }
};

} // namespace

FileAccess &platformFiles() {
    static PosixFileAccess access;
    return access;
}

} // namespace quorix::shares
