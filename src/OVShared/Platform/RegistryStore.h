#pragma once

// The per-user registry hive as the program uses it: keys named by their
// path ("Software\Orvantis\ovw2010\ZNT\Shell") holding string values. Key
// and value names are compared without regard to case, as in the registry.
//
// Windows: the registry under HKEY_CURRENT_USER. POSIX: one text file,
// <config>/Orvantis/registry.ini, with a section per key; every change is a
// read-modify-write under an flock on "<file>.lock" and lands through
// WriteFileAtomic, so concurrent writers never lose each other's values and
// a crash never leaves half a file, and a rewrite keeps the file's permission
// bits. A store that cannot be read, or whose lines make no sense, reads as
// empty (values absent), never as an error. A store that exists but cannot
// be read whole (no permission, over 16 MiB, not a file) is never rewritten:
// every change to it fails and leaves its bytes as they are.

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace ov {

class RegistryStore {
public:
    // POSIX: location is the store file. Windows: a key below
    // HKEY_CURRENT_USER under which every key is placed (empty: the hive itself).
    explicit RegistryStore(std::string location);

    // The user's store: POSIX $XDG_CONFIG_HOME (or ~/.config) +
    // "/Orvantis/registry.ini"; Windows the key $ZNT_REGISTRY_ROOT names
    // (a plain relative key path), else the hive itself.
    static RegistryStore Default();
    static std::string DefaultPath();

    const std::string& location() const { return location_; }

    // A string value; nothing when the key or value is absent or unreadable.
    std::optional<std::string> QueryString(std::string_view key, std::string_view name) const;
    // Creates the key when needed. A value is cut at its first NUL.
    bool SetString(std::string_view key, std::string_view name, std::string_view value);
    // Several values of one key in one change (POSIX: one write of the file).
    bool SetStrings(std::string_view key,
                    const std::vector<std::pair<std::string, std::string>>& values);
    bool DeleteValue(std::string_view key, std::string_view name);
    // Deletes a key with its values; a key that still has sub-keys stays (as
    // RegDeleteKey on Windows NT).
    bool DeleteKey(std::string_view key);

private:
    std::string location_;
};

// The key path without leading and trailing "\" (what both stores key on).
std::string_view TrimKeyPath(std::string_view key);

// The per-user application settings area of VB's SaveSetting:
// "Software\VB and VBA Program Settings\<app>\<section>", value key.
std::string AppSettingsKey(std::string_view app, std::string_view section);
bool SaveAppSetting(RegistryStore& store, std::string_view app, std::string_view section,
                    std::string_view key, std::string_view value);

}  // namespace ov
