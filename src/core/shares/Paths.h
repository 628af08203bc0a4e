#pragma once

// Path and pattern rules shared by every platform: how a path names a local file, a drive or a share, how
// trailing blanks and dots of a name are dropped (as the Windows file system does), and how file names
// are matched against list patterns ("*.bak", "*.mdf;*.ldf"), letter case ignored.

#include <string>
#include <vector>

namespace quorix::shares {

enum class PathKind { Local, Drive, Unc };

struct ParsedPath {
    PathKind kind = PathKind::Local;
    char drive = 0;                 // Drive: the letter, upper case
    std::string server;             // Unc
    std::string share;              // Unc
    bool absolute = false;          // Local: starts at the root
    std::vector<std::string> parts; // the components below the drive root, the share or the local root
};

// Drops trailing blanks and dots of one name; "." and ".." and names made only of dots stay.
std::string stripName(const std::string &name);

// Splits at '\' and '/' and strips every component. "x:\MIR\D.BAK  " gives Drive 'X', {"MIR", "D.BAK"}.
// A UNC path with no server ("\\\backup") gives an empty server.
ParsedPath parsePath(const std::string &path);

// The components joined with sep, prefixed as the kind needs: "X:\a\b", "\\srv\backup\a", "/a/b", "a/b".
std::string formatPath(const ParsedPath &path, char sep);

// The parent folder and the last name of a path; the parent of a root is itself and the name empty.
ParsedPath parentOf(const ParsedPath &path);
std::string lastName(const ParsedPath &path);

// True when name matches one of the ';'-separated wildcard patterns ('*', '?'), letter case ignored.
// As on Windows, "*.*" matches every name and a pattern ending in ".*" also matches the name without a dot.
bool matchesPatterns(const std::string &name, const std::string &patterns);
bool wildcardMatch(const std::string &pattern, const std::string &name);

// A copy writes its data under a temporary name in the target's folder and renames the file into place when
// it is complete. The name follows from the target's ("Billing.BAK" gives "Billing.BAK.~quorix-copy.tmp"), so
// the next copy of the same file finds and removes what a killed copy left behind. Its ".tmp" ending keeps it
// out of other programs' "*.bak" lists too.
std::string copyTempName(const std::string &target);
// True for a name copyTempName gives, letter case ignored.
bool isCopyTempName(const std::string &name);
// Whether the file lists show a file: it matches the patterns and is not a copy's temporary file, whatever
// the patterns ("*" included).
bool listed(const std::string &name, const std::string &patterns);

// Sorted by name ignoring letter case, duplicates removed.
void sortNames(std::vector<std::string> &names);

bool equalsNoCase(const std::string &a, const std::string &b);
std::string toLower(std::string text);

} // namespace quorix::shares
