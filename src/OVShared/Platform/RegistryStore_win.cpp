// The settings store as the registry under HKEY_CURRENT_USER. The wide API
// is used so that UTF-8 texts keep every character.

#include "OVShared/Platform/RegistryStore.h"

#include "OVShared/Platform/WinSupport.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace ov {
namespace {

// A relative key path: no control characters, no empty, "." or ".." parts.
bool IsPlainKeyPath(std::string_view key) {
    if (key.empty()) return false;
    for (unsigned char c : key) {
        if (c < 0x20 || c == 0x7f) return false;
    }
    for (size_t start = 0; start <= key.size();) {
        size_t end = std::min(key.find('\\', start), key.size());
        std::string_view part = key.substr(start, end - start);
        if (part.empty() || part == "." || part == "..") return false;
        start = end + 1;
    }
    return true;
}

std::wstring FullKey(const std::string& location, std::string_view key) {
    std::string full(TrimKeyPath(location));
    std::string_view sub = TrimKeyPath(key);
    if (!full.empty() && !sub.empty()) full += '\\';
    full.append(sub);
    return Widen(full);
}

// Closes the key when it goes.
class OpenKey {
public:
    OpenKey(const std::wstring& path, REGSAM access) {
        if (RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, access, &key_) != ERROR_SUCCESS) {
            key_ = nullptr;
        }
    }
    explicit OpenKey(HKEY key) : key_(key) {}
    ~OpenKey() {
        if (key_) RegCloseKey(key_);
    }
    OpenKey(const OpenKey&) = delete;
    OpenKey& operator=(const OpenKey&) = delete;
    HKEY get() const { return key_; }

private:
    HKEY key_ = nullptr;
};

}  // namespace

// $ZNT_REGISTRY_ROOT names a key below HKEY_CURRENT_USER to keep every key
// under (tests, portable setups); an unusable value leaves the hive itself.
std::string RegistryStore::DefaultPath() {
    const char* root = std::getenv("ZNT_REGISTRY_ROOT");
    std::string_view key = TrimKeyPath(root ? root : "");
    return IsPlainKeyPath(key) ? std::string(key) : std::string();
}

std::optional<std::string> RegistryStore::QueryString(std::string_view key,
                                                      std::string_view name) const {
    OpenKey k(FullKey(location_, key), KEY_QUERY_VALUE);
    if (!k.get()) return std::nullopt;
    std::wstring wname = Widen(name);
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExW(k.get(), wname.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ)) {
        return std::nullopt;
    }
    // The value may change between the two calls; a few tries settle it.
    for (int attempt = 0; attempt < 3; ++attempt) {
        std::vector<wchar_t> buffer(size / sizeof(wchar_t) + 1, L'\0');
        DWORD got = static_cast<DWORD>((buffer.size() - 1) * sizeof(wchar_t));
        LONG rc = RegQueryValueExW(k.get(), wname.c_str(), nullptr, &type,
                                   reinterpret_cast<BYTE*>(buffer.data()), &got);
        if (rc == ERROR_MORE_DATA) {
            size = got;
            continue;
        }
        if (rc != ERROR_SUCCESS) return std::nullopt;
        std::wstring_view text(buffer.data(), got / sizeof(wchar_t));
        return Narrow(text.substr(0, text.find(L'\0')));
    }
    return std::nullopt;
}

bool RegistryStore::SetString(std::string_view key, std::string_view name, std::string_view value) {
    if (TrimKeyPath(key).empty()) return false;
    HKEY raw = nullptr;
    wchar_t keyClass[] = L"String";
    if (RegCreateKeyExW(HKEY_CURRENT_USER, FullKey(location_, key).c_str(), 0, keyClass,
                        REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr, &raw,
                        nullptr) != ERROR_SUCCESS) {
        return false;
    }
    OpenKey k(raw);
    std::wstring text = Widen(value.substr(0, value.find('\0')));
    // Counted without a terminating NUL, as the original program stores it;
    // the registry adds one itself, since the buffer holds it (NT does so).
    return RegSetValueExW(k.get(), Widen(name).c_str(), 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(text.c_str()),
                          static_cast<DWORD>(text.size() * sizeof(wchar_t))) == ERROR_SUCCESS;
}

bool RegistryStore::SetStrings(std::string_view key,
                               const std::vector<std::pair<std::string, std::string>>& values) {
    bool ok = true;
    for (const auto& [name, value] : values) ok = SetString(key, name, value) && ok;
    return ok;
}

bool RegistryStore::DeleteValue(std::string_view key, std::string_view name) {
    OpenKey k(FullKey(location_, key), KEY_SET_VALUE);
    return k.get() && RegDeleteValueW(k.get(), Widen(name).c_str()) == ERROR_SUCCESS;
}

bool RegistryStore::DeleteKey(std::string_view key) {
    if (TrimKeyPath(key).empty()) return false;
    return RegDeleteKeyW(HKEY_CURRENT_USER, FullKey(location_, key).c_str()) == ERROR_SUCCESS;
}

}  // namespace ov
