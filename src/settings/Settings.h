#pragma once

// The program's preferences: a process-wide array of 600 texts mirrored in
// the per-user settings store under "Software\Orvantis\ovw2010\ZNT\Shell",
// plus the family-wide "Software\Orvantis\ovw2010\Undo" value "Max".

#include "OVShared/Platform/RegistryStore.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace znt {

constexpr int kSettingCount = 600;   // entries 0 to 599
constexpr int kLanguageSetting = 3;  // entry of "P_LanguagePack"
constexpr int kUndoDefault = 20;

inline constexpr const char* kFamilyKey = "Software\\Orvantis\\ovw2010\\";
inline constexpr const char* kAppCode = "ZNT";
inline constexpr const char* kShellSection = "Shell";

struct Settings {
    std::vector<std::string> entry = std::vector<std::string>(kSettingCount);
    int undoMax = kUndoDefault;  // "Undo"/"Max", 2 to 1000
    bool zeroDot = true;         // "P_ZeroDot" is not a number other than 1
    bool suffix = true;          // "P_Suffix" likewise
};

// Application sections live below the program's own key, family sections
// directly below the family key.
enum class SettingScope { Application, Family };

// "Software\Orvantis\ovw2010\ZNT\<section>" or "Software\Orvantis\ovw2010\<section>".
std::string SettingsKey(std::string_view section, SettingScope scope = SettingScope::Application);

// A value's text, cut at its first NUL; nothing when it is absent, empty or
// unreadable. As with the original 255-character buffer, a value longer than
// 255 characters cannot be read and counts as absent.
std::optional<std::string> ReadSetting(const ov::RegistryStore& store, std::string_view section,
                                       std::string_view name,
                                       SettingScope scope = SettingScope::Application);

// Stores text (cut at a NUL); failures are ignored.
void WriteSetting(ov::RegistryStore& store, std::string_view section, std::string_view name,
                  std::string_view text, SettingScope scope = SettingScope::Application);

// One row of the preference table.
struct Preference {
    const char* name;  // value name, e.g. "P_Dir"
    int entry;         // settings-array entry
};
// The rows in the order LoadSettings reads them and SaveSettings writes them.
const std::vector<Preference>& LoadOrder();
const std::vector<Preference>& SaveOrder();

// Reads every preference into settings (defaults for absent values) and the
// Undo maximum. Entry 3 is not read. installFolder is the default of "P_Dir"
// and the fall-back of a stored "P_TempDir" that is not usable.
void LoadSettings(const ov::RegistryStore& store, Settings& settings,
                  std::string_view installFolder);

// Writes the preference entries, entry 3 included, under "Shell", in save
// order and in one change of the store; failures are ignored.
void SaveSettings(ov::RegistryStore& store, const Settings& settings);

// "Undo"/"Max" text to its value: 20 when absent or not a number, else
// clamped (2 or less gives 2, above 999 gives 1000).
int UndoMaxFromText(const std::optional<std::string>& text);

// The flag of "P_ZeroDot" and "P_Suffix": true unless text is a number other than 1.
bool FlagFromText(std::string_view text);

}  // namespace znt
