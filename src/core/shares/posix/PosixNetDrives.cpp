// Drive mapping without the Windows networking interface: a letter becomes an entry of the drive table once
// the share has answered to the account, and every outcome is reported with the Win32 code Windows would
// give, so the window shows the same messages on every platform.

#include "core/shares/Paths.h"
#include "core/shares/Platform.h"
#include "core/shares/posix/DriveTable.h"
#include "core/shares/posix/Smb.h"

#include <cctype>
#include <cerrno>

namespace quorix::shares {

namespace {

constexpr std::int32_t kBadDevice = 1200; // ERROR_BAD_DEVICE: not a drive letter

std::int32_t codeFor(int error) {
    switch (error) {
    case 0:
        return code::ok;
    case EACCES:
    case EPERM:
        return code::accessDenied;
    case ENOENT:
    case ENODEV:
    case ENOTDIR:
        return code::badNetName;
    case ENETUNREACH:
    case ENETDOWN:
        return code::noNetwork;
    case ECONNREFUSED:
    case ECONNRESET:
    case EHOSTUNREACH:
    case EHOSTDOWN:
    case ETIMEDOUT:
    case ENOTCONN:
        return code::badNetPath;
    default:
        return code::unexpectedNetError;
    }
}

class PosixNetDrives : public NetDrives {
public:
    std::int32_t addConnection(const std::string &remote, const std::string &local, const std::string &user,
                               const std::string &password, std::uint32_t) override {
        char letter = 0;
        if (!local.empty()) {
            if (local.size() != 2 || local[1] != ':' || !std::isalpha(static_cast<unsigned char>(local[0])))
                return kBadDevice;
            letter = local[0];
            // As on Windows, a letter in use is reported before the network is asked.
            if (posix::DriveTable::find(letter))
                return code::alreadyAssigned;
        }
        const ParsedPath path = parsePath(remote);
        if (path.kind != PathKind::Unc || path.server.empty() || path.share.empty())
            return code::badNetName;

        const Account account{user, password};
        const int error = posix::checkShare(path.server, path.share, account);
        if (error == EACCES && !posix::logonAccepted(path.server, account))
            return code::invalidPassword;
        if (error != 0)
            return codeFor(error);
        // Mappings are always remembered (the table lives in the drive store); the tool only ever asks for
        // that.
        if (letter && !posix::DriveTable::add(letter, {formatPath(path, '\\'), user}))
            return code::alreadyAssigned;
        rememberAccount(path.server, account);
        return code::ok;
    }

    void dropAll() override {
        posix::DriveTable::clear();
        forgetAccounts();
        posix::resetSmbConnections();
    }
};

} // namespace

NetDrives &platformDrives() {
    static PosixNetDrives netDrives;
    return netDrives;
}

} // namespace quorix::shares
