#include "core/shares/Paths.h"

#include <algorithm>
#include <cctype>

namespace quorix::shares {

namespace {

char lower(char c) {
    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

bool isSep(char c) {
    return c == '\\' || c == '/';
}

std::vector<std::string> splitParts(const std::string &text, std::size_t from) {
    std::vector<std::string> parts;
    std::string current;
    for (std::size_t i = from; i <= text.size(); ++i) {
        if (i == text.size() || isSep(text[i])) {
            if (!current.empty()) {
                std::string name = stripName(current);
                if (!name.empty())
                    parts.push_back(name);
            }
            current.clear();
        } else {
            current += text[i];
        }
    }
    return parts;
}

bool lessNoCase(const std::string &a, const std::string &b) {
    const std::string la = toLower(a), lb = toLower(b);
    return la != lb ? la < lb : a < b;
}

} // namespace

std::string toLower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), lower);
    return text;
}

bool equalsNoCase(const std::string &a, const std::string &b) {
    return toLower(a) == toLower(b);
}

std::string stripName(const std::string &name) {
    if (name.find_first_not_of('.') == std::string::npos)
        return name;
    std::size_t end = name.size();
    while (end > 0 && (name[end - 1] == ' ' || name[end - 1] == '.'))
        --end;
    return name.substr(0, end);
}

ParsedPath parsePath(const std::string &path) {
    ParsedPath parsed;
    if (path.size() >= 2 && isSep(path[0]) && isSep(path[1])) {
        parsed.kind = PathKind::Unc;
        // The server is whatever stands between the two leading separators and the next one, so
        // "\\\backup" has an empty server and the share "backup".
        std::size_t pos = 2;
        std::size_t end = pos;
        while (end < path.size() && !isSep(path[end]))
            ++end;
        parsed.server = stripName(path.substr(pos, end - pos));
        std::vector<std::string> rest = splitParts(path, end);
        if (!rest.empty()) {
            parsed.share = rest.front();
            rest.erase(rest.begin());
        }
        parsed.parts = std::move(rest);
        return parsed;
    }
    if (path.size() >= 2 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':') {
        parsed.kind = PathKind::Drive;
        parsed.drive = static_cast<char>(std::toupper(static_cast<unsigned char>(path[0])));
        parsed.parts = splitParts(path, 2);
        return parsed;
    }
    parsed.absolute = !path.empty() && isSep(path[0]);
    parsed.parts = splitParts(path, 0);
    return parsed;
}

std::string formatPath(const ParsedPath &path, char sep) {
    std::string text;
    switch (path.kind) {
    case PathKind::Unc:
        text = std::string(2, sep) + path.server;
        if (!path.share.empty())
            text += sep + path.share;
        break;
    case PathKind::Drive:
        text = std::string(1, path.drive) + ":";
        if (path.parts.empty())
            text += sep;
        break;
    case PathKind::Local:
        if (path.absolute && path.parts.empty())
            text = std::string(1, sep);
        else if (path.parts.empty())
            text.assign(1, '.'); // not = ".": GCC 12 warns wrongly of overlap (-Wrestrict) there
        break;
    }
    for (std::size_t i = 0; i < path.parts.size(); ++i) {
        if (i > 0 || path.kind != PathKind::Local || path.absolute)
            text += sep;
        text += path.parts[i];
    }
    return text;
}

ParsedPath parentOf(const ParsedPath &path) {
    ParsedPath parent = path;
    if (!parent.parts.empty())
        parent.parts.pop_back();
    return parent;
}

std::string lastName(const ParsedPath &path) {
    return path.parts.empty() ? std::string() : path.parts.back();
}

bool wildcardMatch(const std::string &pattern, const std::string &name) {
    // Iterative matcher with one backtrack point for the last '*'.
    std::size_t p = 0, n = 0, starP = std::string::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || lower(pattern[p]) == lower(name[n]))) {
            ++p;
            ++n;
        } else if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starN = n;
        } else if (starP != std::string::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

bool matchesPatterns(const std::string &name, const std::string &patterns) {
    std::size_t start = 0;
    bool any = false;
    while (start <= patterns.size()) {
        std::size_t end = patterns.find(';', start);
        if (end == std::string::npos)
            end = patterns.size();
        std::string pattern = patterns.substr(start, end - start);
        const std::size_t first = pattern.find_first_not_of(' ');
        pattern = first == std::string::npos ? std::string() : pattern.substr(first);
        while (!pattern.empty() && pattern.back() == ' ')
            pattern.pop_back();
        if (!pattern.empty()) {
            any = true;
            if (wildcardMatch(pattern, name))
                return true;
            if (pattern.size() >= 2 && pattern.compare(pattern.size() - 2, 2, ".*") == 0 &&
                name.find('.') == std::string::npos &&
                wildcardMatch(pattern.substr(0, pattern.size() - 2), name))
                return true;
        }
        start = end + 1;
    }
    return !any; // no pattern at all lists everything
}

namespace {
constexpr const char *kCopyTempEnding = ".~quorix-copy.tmp";
} // namespace

std::string copyTempName(const std::string &target) {
    return target + kCopyTempEnding;
}

bool isCopyTempName(const std::string &name) {
    const std::string ending = kCopyTempEnding;
    return name.size() > ending.size() && equalsNoCase(name.substr(name.size() - ending.size()), ending);
}

bool listed(const std::string &name, const std::string &patterns) {
    return !isCopyTempName(name) && matchesPatterns(name, patterns);
}

void sortNames(std::vector<std::string> &names) {
    std::sort(names.begin(), names.end(), lessNoCase);
    names.erase(std::unique(names.begin(), names.end()), names.end());
}

} // namespace quorix::shares
