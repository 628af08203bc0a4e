#pragma once

// Helpers of the Windows implementation: text conversion for the wide and ANSI calls, Win32 error codes as
// the file layer's problems, starting Windows' own programs by full path, and the slot accounts on UNC paths.

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include "core/shares/FileErrors.h"
#include "core/shares/Paths.h"

#include <string>
#include <vector>

namespace quorix::shares::win {

std::wstring widen(const std::string &utf8);
std::string narrow(const std::wstring &wide);
// UTF-8 to the ANSI code page, for the "A" calls.
std::string toAnsi(const std::string &utf8);
std::string systemMessage(DWORD code);

Problem problemFor(DWORD code, Problem notFound);
// The file layer's description of a failed call; Other carries the system's own message.
std::string describeCode(const std::string &action, const std::string &path, DWORD code, Problem notFound);

// Where a program of Windows itself is started from: by full path, never by a bare name that the search
// would find first in the tool's own or the current folder.
enum class SystemFolder { System, Windows }; // GetSystemDirectoryW (cmd.exe, net.exe), GetWindowsDirectoryW
// The program's full path in folder ("C:\Windows\system32\net.exe"); empty when the folder is unknown.
std::string systemProgram(SystemFolder folder, const std::string &exe);

// Starts program (a full path) with args without waiting for it. Each argument reaches the program whole
// (CommandLine.h; quoteAll quotes every one). showWindow is an SW_ value, or -1 for the program's default.
// cwd empty: the tool's own. Returns 0 or the Win32 error.
DWORD runProgram(const std::string &program, const std::vector<std::string> &args, int showWindow,
                 const std::string &cwd = {}, bool quoteAll = false);

// Before a UNC path is used: connects its share with the account of the slot that names the server (when
// there is one and it changed since the last connection), so the calls that follow run as that account.
void connectShareFor(const ParsedPath &path);
// Forgets those connections ("Drop Dir" removes them).
void forgetShareConnections();

} // namespace quorix::shares::win
