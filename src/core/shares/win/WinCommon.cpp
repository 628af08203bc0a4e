#include "core/shares/win/WinCommon.h"

#include "core/shares/CommandLine.h"
#include "core/shares/Platform.h"

#include <winnetwk.h>

#include <map>
#include <mutex>

namespace quorix::shares::win {

namespace {

std::mutex g_connectedMutex;
std::map<std::string, std::string> g_connected; // share (lower case) -> user and password last connected with

} // namespace

std::wstring widen(const std::string &utf8) {
    if (utf8.empty())
        return {};
    const int size = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), size);
    return wide;
}

std::string narrow(const std::wstring &wide) {
    if (wide.empty())
        return {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                                         nullptr, nullptr);
    std::string text(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), text.data(), size, nullptr,
                        nullptr);
    return text;
}

std::string toAnsi(const std::string &utf8) {
    const std::wstring wide = widen(utf8);
    if (wide.empty())
        return {};
    const int size = WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                                         nullptr, nullptr);
    std::string text(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), text.data(), size, nullptr,
                        nullptr);
    return text;
}

std::string systemMessage(DWORD code) {
    wchar_t *buffer = nullptr;
    const DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                            FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, code, 0, reinterpret_cast<wchar_t *>(&buffer), 0, nullptr);
    std::string text = length ? narrow(std::wstring(buffer, length)) : "error " + std::to_string(code);
    if (buffer)
        LocalFree(buffer);
    while (!text.empty() &&
           (text.back() == '\n' || text.back() == '\r' || text.back() == ' ' || text.back() == '.'))
        text.pop_back();
    return text;
}

Problem problemFor(DWORD code, Problem notFound) {
    switch (code) {
    case ERROR_FILE_NOT_FOUND:
        return notFound;
    case ERROR_PATH_NOT_FOUND:
    case ERROR_DIRECTORY:
    case ERROR_INVALID_NAME:
        return Problem::FolderNotFound;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return Problem::InUse;
    case ERROR_ACCESS_DENIED:
    case ERROR_LOGON_FAILURE:
    case ERROR_INVALID_PASSWORD:
        return Problem::AccessDenied;
    case ERROR_INVALID_DRIVE:
        return Problem::DriveNotMapped;
    case ERROR_NOT_SAME_DEVICE:
        return Problem::NotSameShare;
    case ERROR_HANDLE_DISK_FULL:
    case ERROR_DISK_FULL:
        return Problem::DiskFull;
    case ERROR_BAD_NET_NAME:
        return Problem::ShareNotFound;
    case ERROR_BAD_NETPATH:
    case ERROR_NETNAME_DELETED:
    case ERROR_UNEXP_NET_ERR:
    case ERROR_SEM_TIMEOUT:
    case ERROR_NO_NETWORK:
    case ERROR_NETWORK_UNREACHABLE:
    case ERROR_HOST_UNREACHABLE:
    case ERROR_CONNECTION_REFUSED:
        return Problem::ShareUnreachable;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
        return Problem::AlreadyExists;
    default:
        return Problem::Other;
    }
}

std::string describeCode(const std::string &action, const std::string &path, DWORD code, Problem notFound) {
    const Problem problem = problemFor(code, notFound);
    std::string detail;
    if (problem == Problem::Other)
        detail = systemMessage(code);
    else if (problem == Problem::DriveNotMapped)
        detail = path.substr(0, 2);
    return describe(action, path, problem, detail);
}

std::string systemProgram(SystemFolder folder, const std::string &exe) {
    wchar_t dir[MAX_PATH + 1] = {};
    const UINT length = folder == SystemFolder::System ? GetSystemDirectoryW(dir, MAX_PATH + 1)
                                                       : GetWindowsDirectoryW(dir, MAX_PATH + 1);
    if (length == 0 || length > MAX_PATH)
        return {};
    std::string path = narrow(std::wstring(dir, length));
    if (path.back() != '\\')
        path.push_back('\\');
    return path + exe;
}

DWORD runProgram(const std::string &program, const std::vector<std::string> &args, int showWindow,
                 const std::string &cwd, bool quoteAll) {
    if (program.empty())
        return ERROR_FILE_NOT_FOUND; // the system folder was not found: never fall back to a search
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    if (showWindow >= 0) {
        startup.dwFlags = STARTF_USESHOWWINDOW;
        startup.wShowWindow = static_cast<WORD>(showWindow);
    }
    PROCESS_INFORMATION process{};
    const std::wstring application = widen(program);
    std::wstring line = widen(commandLine(program, args, quoteAll)); // CreateProcessW may write into it
    line.push_back(L'\0');
    const std::wstring dir = widen(cwd);
    // With the application named, CreateProcessW runs exactly that file and searches no folder.
    if (!CreateProcessW(application.c_str(), line.data(), nullptr, nullptr, FALSE, CREATE_NEW_CONSOLE,
                        nullptr, cwd.empty() ? nullptr : dir.c_str(), &startup, &process))
        return GetLastError();
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return 0;
}

void connectShareFor(const ParsedPath &path) {
    if (path.kind != PathKind::Unc || path.server.empty() || path.share.empty())
        return;
    const auto account = accountFor(path.server);
    if (!account)
        return;
    const std::string remote = "\\\\" + path.server + "\\" + path.share;
    const std::string key = toLower(remote);
    const std::string credentials = account->user + '\n' + account->password;
    std::lock_guard lock(g_connectedMutex);
    auto it = g_connected.find(key);
    if (it != g_connected.end() && it->second == credentials)
        return;
    if (it != g_connected.end()) // the account changed: the old connection must go first
        WNetCancelConnection2W(widen(remote).c_str(), 0, TRUE);

    std::string ansiRemote = toAnsi(remote), ansiUser = toAnsi(account->user),
                ansiPw = toAnsi(account->password);
    char provider[1] = "";
    NETRESOURCEA resource{};
    resource.dwType = RESOURCETYPE_DISK;
    resource.lpRemoteName = ansiRemote.data();
    resource.lpProvider = provider;
    const DWORD rc = WNetAddConnection2A(&resource, ansiPw.c_str(), ansiUser.c_str(), 0);
    // A connection that exists already (made by Explorer or a mapped drive) serves as well; any other
    // failure shows when the file call itself fails.
    if (rc == NO_ERROR)
        g_connected[key] = credentials;
}

void forgetShareConnections() {
    std::lock_guard lock(g_connectedMutex);
    g_connected.clear();
}

} // namespace quorix::shares::win
