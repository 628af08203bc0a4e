#include "core/settings/SettingsRegistry.h"

#include <string>
#include <vector>
#include <windows.h>

namespace quorix::registry {

namespace {

constexpr wchar_t kSerialized[] = L"@Variant(";

struct Path {
    HKEY root = nullptr;
    std::wstring sub;
};

Path parse(const QString &key) {
    static const std::pair<const char *, HKEY> roots[] = {{"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
                                                          {"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
                                                          {"HKEY_USERS", HKEY_USERS},
                                                          {"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT}};
    const qsizetype slash = key.indexOf(QLatin1Char('\\'));
    const QString root = key.left(slash);
    for (const auto &[name, handle] : roots)
        if (root.compare(QLatin1String(name), Qt::CaseInsensitive) == 0)
            return {handle, slash < 0 ? std::wstring() : key.mid(slash + 1).toStdWString()};
    return {};
}

class Key {
public:
    Key(HKEY parent, const std::wstring &sub, REGSAM access) {
        if (RegOpenKeyExW(parent, sub.c_str(), 0, access, &m_key) != ERROR_SUCCESS)
            m_key = nullptr;
    }
    ~Key() {
        if (m_key)
            RegCloseKey(m_key);
    }
    Key(const Key &) = delete;
    Key &operator=(const Key &) = delete;
    HKEY get() const { return m_key; }

private:
    HKEY m_key = nullptr;
};

// The settings reader reads a string, a list of strings and raw bytes alike as UTF-16 text, each string
// unescaped on its own: any piece starting with the marker counts.
bool serialized(DWORD type, const std::vector<BYTE> &data, DWORD size) {
    if (type != REG_SZ && type != REG_EXPAND_SZ && type != REG_MULTI_SZ && type != REG_BINARY &&
        type != REG_NONE)
        return false;
    const std::wstring text(reinterpret_cast<const wchar_t *>(data.data()), size / sizeof(wchar_t));
    for (std::size_t start = 0; start < text.size();) {
        if (text.compare(start, std::size(kSerialized) - 1, kSerialized) == 0)
            return true;
        const std::size_t end = text.find(L'\0', start);
        if (end == std::wstring::npos)
            break;
        start = end + 1;
    }
    return false;
}

// Calls found(key, name) for each serialized value of the key and its subkeys, opened with access; stops at
// the first call that returns true.
template <class Found> bool scan(HKEY parent, const std::wstring &sub, REGSAM access, Found found) {
    const Key key(parent, sub, access);
    if (!key.get())
        return false;
    DWORD longestName = 0, longestData = 0, longestSub = 0;
    if (RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, nullptr, &longestSub, nullptr, nullptr,
                         &longestName, &longestData, nullptr, nullptr) != ERROR_SUCCESS)
        return false;
    std::vector<wchar_t> name(longestName + 1);
    std::vector<BYTE> data(longestData + sizeof(wchar_t));
    for (DWORD i = 0;; ++i) {
        DWORD nameSize = static_cast<DWORD>(name.size()), dataSize = static_cast<DWORD>(data.size()),
              type = 0;
        const LONG rc =
            RegEnumValueW(key.get(), i, name.data(), &nameSize, nullptr, &type, data.data(), &dataSize);
        if (rc == ERROR_NO_MORE_ITEMS)
            break;
        if (rc == ERROR_SUCCESS && serialized(type, data, dataSize) && found(key.get(), name.data()))
            return true;
    }
    std::vector<wchar_t> child(longestSub + 1);
    for (DWORD i = 0;; ++i) {
        DWORD childSize = static_cast<DWORD>(child.size());
        const LONG rc =
            RegEnumKeyExW(key.get(), i, child.data(), &childSize, nullptr, nullptr, nullptr, nullptr);
        if (rc == ERROR_NO_MORE_ITEMS)
            break;
        if (rc == ERROR_SUCCESS && scan(key.get(), std::wstring(child.data(), childSize), access, found))
            return true;
    }
    return false;
}

} // namespace

bool holdsSerializedValue(const QString &key) {
    const Path path = parse(key);
    return path.root && scan(path.root, path.sub, KEY_READ, [](HKEY, const wchar_t *) { return true; });
}

bool moveAside(const QString &key, const QString &keptAs) {
    const Path from = parse(key), to = parse(keptAs);
    if (!from.root || !to.root)
        return false;
    RegDeleteTreeW(to.root, to.sub.c_str());
    HKEY target = nullptr;
    bool copied = false;
    if (RegCreateKeyExW(to.root, to.sub.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &target, nullptr) ==
        ERROR_SUCCESS) {
        const Key source(from.root, from.sub, KEY_READ);
        copied = source.get() && RegCopyTreeW(source.get(), nullptr, target) == ERROR_SUCCESS;
        RegCloseKey(target);
    }
    if (copied && RegDeleteTreeW(from.root, from.sub.c_str()) == ERROR_SUCCESS)
        return true;
    // The damaged values at least must go, or the next read would take them in. One a round, since
    // deleting a value renumbers the ones after it.
    for (bool deleted = true; deleted;) {
        deleted = false;
        scan(from.root, from.sub, KEY_READ | KEY_SET_VALUE, [&](HKEY k, const wchar_t *name) {
            deleted = RegDeleteValueW(k, name) == ERROR_SUCCESS;
            return true;
        });
    }
    return copied;
}

} // namespace quorix::registry
