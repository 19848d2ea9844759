// The settings store as a file. Format (UTF-8 text, LF line ends):
//
//   [Software\Orvantis\ovw2010\ZNT\Shell]
//   P_Dir=/home/user/ovw2010
//
// Key paths keep their "\". In key paths, names and values every byte below
// 0x20, 0x7F and "%" are written as %XX; key paths also escape "[" and "]",
// names also "=", "[" and ";". Lines that do not parse are skipped.

#include "OVShared/Platform/RegistryStore.h"

#include "OVShared/Platform/AsciiText.h"
#include "OVShared/Platform/FileSystem.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <functional>
#include <utility>
#include <vector>

namespace ov {
namespace {

constexpr std::uint64_t kMaxStoreBytes = 16u << 20;
constexpr mode_t kNewStoreMode = 0644;

struct Key {
    std::string path;
    std::vector<std::pair<std::string, std::string>> values;
};
using Keys = std::vector<Key>;

std::string Escape(std::string_view text, std::string_view extra) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (char c : text) {
        auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b == 0x7F || c == '%' || extra.find(c) != std::string_view::npos) {
            out += '%';
            out += hex[b >> 4];
            out += hex[b & 15];
        } else {
            out += c;
        }
    }
    return out;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// Decodes %XX; a "%" without two hex digits stays. Stops at a NUL.
std::string Unescape(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '%' && i + 2 < text.size() && HexDigit(text[i + 1]) >= 0 &&
            HexDigit(text[i + 2]) >= 0) {
            c = static_cast<char>(HexDigit(text[i + 1]) * 16 + HexDigit(text[i + 2]));
            i += 2;
        }
        if (c == '\0') break;
        out += c;
    }
    return out;
}

Key* FindKey(Keys& keys, std::string_view path) {
    for (auto& k : keys) {
        if (EqualsNoCase(k.path, path)) return &k;
    }
    return nullptr;
}

Key& FindOrAddKey(Keys& keys, std::string_view path) {
    if (Key* k = FindKey(keys, path)) return *k;
    keys.push_back({std::string(path), {}});
    return keys.back();
}

void SetValue(Key& key, std::string name, std::string value) {
    for (auto& [n, v] : key.values) {
        if (EqualsNoCase(n, name)) {
            v = std::move(value);
            return;
        }
    }
    key.values.emplace_back(std::move(name), std::move(value));
}

Keys Parse(std::string_view text) {
    Keys keys;
    Key* current = nullptr;
    while (!text.empty()) {
        size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty() || line.front() == ';') continue;
        if (line.front() == '[') {
            std::string path = line.back() == ']' && line.size() >= 2
                                   ? Unescape(line.substr(1, line.size() - 2))
                                   : std::string();
            std::string_view trimmed = TrimKeyPath(path);
            current = trimmed.empty() ? nullptr : &FindOrAddKey(keys, trimmed);
            continue;
        }
        size_t eq = line.find('=');
        if (current && eq != std::string_view::npos) {
            SetValue(*current, Unescape(line.substr(0, eq)), Unescape(line.substr(eq + 1)));
        }
    }
    return keys;
}

std::string Serialize(const Keys& keys) {
    std::string out = "; zntr settings store: [key path], then name=value lines; %XX escapes\n";
    for (const auto& k : keys) {
        out += "\n[" + Escape(k.path, "[]") + "]\n";
        for (const auto& [name, value] : k.values) {
            out += Escape(name, "=[;") + "=" + Escape(value, "") + "\n";
        }
    }
    return out;
}

// The store as read: readable is false when a file exists that could not be
// read whole (no permission, over the size cap, not a regular file).
struct Snapshot {
    bool readable = true;
    mode_t mode = kNewStoreMode;
    Keys keys;
};

Snapshot Load(const std::string& file) {
    struct stat st;
    if (::stat(file.c_str(), &st) != 0) return {errno == ENOENT, kNewStoreMode, {}};
    if (!S_ISREG(st.st_mode)) return {false, kNewStoreMode, {}};
    auto text = ReadWholeFile(file, kMaxStoreBytes);
    if (!text) return {false, kNewStoreMode, {}};
    return {true, static_cast<mode_t>(st.st_mode & 07777), Parse(*text)};
}

bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

// Through a temporary file beside the store, renamed over it, so the store
// is whole at every moment; the new file gets mode before it is visible.
bool WriteStore(const std::string& file, std::string_view bytes, mode_t mode) {
    std::string tmp = file + ".tmp-XXXXXX";
    int fd = ::mkstemp(tmp.data());
    if (fd < 0) return false;
    bool ok = WriteAll(fd, bytes) && ::fsync(fd) == 0 && ::fchmod(fd, mode) == 0;
    ok = (::close(fd) == 0) && ok;
    if (ok && ::rename(tmp.c_str(), file.c_str()) == 0) return true;
    ::unlink(tmp.c_str());
    return false;
}

// Holds an exclusive flock on "<file>.lock" for its lifetime.
class StoreLock {
public:
    explicit StoreLock(const std::string& file) {
        fd_ = ::open((file + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd_ < 0) return;
        while (::flock(fd_, LOCK_EX) != 0) {
            if (errno != EINTR) {
                ::close(fd_);
                fd_ = -1;
                return;
            }
        }
    }
    ~StoreLock() {
        if (fd_ >= 0) ::close(fd_);
    }
    StoreLock(const StoreLock&) = delete;
    StoreLock& operator=(const StoreLock&) = delete;
    bool held() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

// Read-modify-write under the lock; change answers whether anything changed.
bool Modify(const std::string& location, const std::function<bool(Keys&)>& change) {
    std::string file = NativePath(location);
    size_t slash = file.rfind('/');
    if (slash != std::string::npos && slash > 0) CreateFolderChain(file.substr(0, slash));
    StoreLock lock(file);
    if (!lock.held()) return false;
    Snapshot store = Load(file);
    // A store that could not be read whole holds other programs' values:
    // rewriting it from nothing would lose them, so the change fails instead.
    if (!store.readable) return false;
    if (!change(store.keys)) return false;
    return WriteStore(file, Serialize(store.keys), store.mode);
}

std::string HomeFolder() {
    const char* home = std::getenv("HOME");
    if (home && *home) return home;
    if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) return pw->pw_dir;
    return SystemTempFolder();
}

}  // namespace

std::string RegistryStore::DefaultPath() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    std::string config = (xdg && xdg[0] == '/') ? std::string(xdg) : HomeFolder() + "/.config";
    while (config.size() > 1 && config.back() == '/') config.pop_back();
    return config + "/Orvantis/registry.ini";
}

std::optional<std::string> RegistryStore::QueryString(std::string_view key,
                                                      std::string_view name) const {
    Keys keys = Load(NativePath(location_)).keys;
    Key* k = FindKey(keys, TrimKeyPath(key));
    if (!k) return std::nullopt;
    for (auto& [n, v] : k->values) {
        if (EqualsNoCase(n, name)) return std::move(v);
    }
    return std::nullopt;
}

bool RegistryStore::SetString(std::string_view key, std::string_view name, std::string_view value) {
    std::string_view path = TrimKeyPath(key);
    if (path.empty()) return false;
    std::string text(value.substr(0, value.find('\0')));
    return Modify(location_, [&](Keys& keys) {
        SetValue(FindOrAddKey(keys, path), std::string(name), text);
        return true;
    });
}

bool RegistryStore::SetStrings(std::string_view key,
                               const std::vector<std::pair<std::string, std::string>>& values) {
    std::string_view path = TrimKeyPath(key);
    if (path.empty()) return false;
    return Modify(location_, [&](Keys& keys) {
        Key& k = FindOrAddKey(keys, path);
        for (const auto& [name, value] : values)
            SetValue(k, name, value.substr(0, value.find('\0')));
        return true;
    });
}

bool RegistryStore::DeleteValue(std::string_view key, std::string_view name) {
    return Modify(location_, [&](Keys& keys) {
        Key* k = FindKey(keys, TrimKeyPath(key));
        if (!k) return false;
        for (auto it = k->values.begin(); it != k->values.end(); ++it) {
            if (EqualsNoCase(it->first, name)) {
                k->values.erase(it);
                return true;
            }
        }
        return false;
    });
}

bool RegistryStore::DeleteKey(std::string_view key) {
    std::string_view path = TrimKeyPath(key);
    return Modify(location_, [&](Keys& keys) {
        std::string prefix = std::string(path) + "\\";
        for (const auto& k : keys) {
            if (k.path.size() > prefix.size() &&
                EqualsNoCase(std::string_view(k.path).substr(0, prefix.size()), prefix)) {
                return false;  // sub-keys first
            }
        }
        for (auto it = keys.begin(); it != keys.end(); ++it) {
            if (EqualsNoCase(it->path, path)) {
                keys.erase(it);
                return true;
            }
        }
        return false;
    });
}

}  // namespace ov
