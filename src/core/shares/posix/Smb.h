#pragma once

// SMB access through libsmbclient, besides the Fs interface: share addresses and the check that a share
// answers to an account, which is what mapping a drive means here.

#include "core/shares/Platform.h"

#include <string>
#include <vector>

namespace quorix::shares::posix {

// "smb://server[:port]/share/part/..."; the port comes from QUORIX_SMB_PORT when it is set and not 445.
std::string smbUrl(const std::string &server, const std::string &share,
                   const std::vector<std::string> &parts = {});
// The share port in use (445 unless QUORIX_SMB_PORT says otherwise).
int smbPort();

// Opens the share with exactly this account, on a connection of its own so that no cached session
// answers for it. 0 or errno.
int checkShare(const std::string &server, const std::string &share, const Account &account);
// libsmbclient reports a refused logon and a share closed to the account alike (EACCES); this tells them
// apart: false when the server refuses the logon itself, whatever the share.
bool logonAccepted(const std::string &server, const Account &account);

// Drops every cached SMB connection of the file layer ("Drop Dir").
void resetSmbConnections();

} // namespace quorix::shares::posix
