// The parts of the settings store that every platform shares.

#include "OVShared/Platform/RegistryStore.h"

#include <utility>

namespace ov {

RegistryStore::RegistryStore(std::string location) : location_(std::move(location)) {}

RegistryStore RegistryStore::Default() { return RegistryStore(DefaultPath()); }

std::string_view TrimKeyPath(std::string_view key) {
    while (!key.empty() && key.front() == '\\') key.remove_prefix(1);
    while (!key.empty() && key.back() == '\\') key.remove_suffix(1);
    return key;
}

std::string AppSettingsKey(std::string_view app, std::string_view section) {
    std::string key = "Software\\VB and VBA Program Settings\\";
    key.append(app);
    key += '\\';
    key.append(section);
    return key;
}

bool SaveAppSetting(RegistryStore& store, std::string_view app, std::string_view section,
                    std::string_view key, std::string_view value) {
    return store.SetString(AppSettingsKey(app, section), key, value);
}

}  // namespace ov
