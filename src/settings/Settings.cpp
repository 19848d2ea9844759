#include "settings/Settings.h"

#include "OVShared/Modules/modOVCoreFunctions.h"
#include "OVShared/Platform/FileSystem.h"

#include <cctype>
#include <charconv>
#include <cmath>

namespace znt {
namespace {

constexpr size_t kReadBufferChars = 255;

struct Row {
    const char* name;
    int entry;
    const char* fallback;  // default text; entries 1 and 9 have their own
};

// Rows in load order (entry 3 is only saved).
const Row kRows[] = {
    {"P_Dir", 1, ""},
    {"P_RegisterExtension", 2, "1"},
    {"P_SaveChanges", 4, "0"},
    {"P_ReportProblems", 6, "0"},
    {"P_PrintJobs", 5, "111111111"},
    {"P_BackUp", 7, "0"},
    {"P_ConfirmDelete", 8, "1"},
    {"P_TempDir", 9, ""},
    {"P_Delimited", 20, "1"},
    {"P_DecimalSeparator", 23, "2"},
    {"P_NewPage", 22, "1"},
    {"P_RepeatHeaders", 21, "1"},
    {"P_CheckInternet", 17, "1"},
    {"P_CheckInternetEvery", 18, "1"},
    {"P_CheckLastDate", 19, ""},
    {"P_ZeroDot", 30, "1"},
    {"P_Suffix", 31, "1"},
};

size_t CharacterCount(std::string_view utf8) {
    size_t n = 0;
    for (char c : utf8) {
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++n;
    }
    return n;
}

// A decimal number as text (blanks around it, a sign, a fraction and an
// exponent allowed); nothing for anything else.
std::optional<double> ParseNumber(std::string_view text) {
    std::string trimmed = ov::TrimBoth(text);
    std::string_view t = trimmed;
    bool negative = false;
    if (!t.empty() && (t.front() == '+' || t.front() == '-')) {
        negative = t.front() == '-';
        t.remove_prefix(1);
    }
    if (t.empty() || !(std::isdigit(static_cast<unsigned char>(t.front())) || t.front() == '.')) {
        return std::nullopt;
    }
    double value = 0;
    auto [end, ec] =
        std::from_chars(t.data(), t.data() + t.size(), value, std::chars_format::general);
    if (ec == std::errc::result_out_of_range)
        value = HUGE_VAL;
    else if (ec != std::errc() || end != t.data() + t.size())
        return std::nullopt;
    return negative ? -value : value;
}

std::string DefaultFor(const Row& row, std::string_view installFolder) {
    if (row.entry == 1) return std::string(installFolder);
    if (row.entry == 9) return ov::SystemTempFolder();
    return row.fallback;
}

std::vector<Preference> Preferences(bool withLanguage) {
    std::vector<Preference> rows;
    for (const Row& r : kRows) {
        rows.push_back({r.name, r.entry});
        if (withLanguage && r.entry == 2) rows.push_back({"P_LanguagePack", kLanguageSetting});
    }
    return rows;
}

}  // namespace

std::string SettingsKey(std::string_view section, SettingScope scope) {
    std::string key = kFamilyKey;
    if (scope == SettingScope::Application) key += std::string(kAppCode) + "\\";
    key.append(section);
    return key;
}

std::optional<std::string> ReadSetting(const ov::RegistryStore& store, std::string_view section,
                                       std::string_view name, SettingScope scope) {
    auto value = store.QueryString(SettingsKey(section, scope), name);
    if (!value) return std::nullopt;
    std::string text = ov::CutAtNul(*value);
    if (text.empty() || CharacterCount(text) > kReadBufferChars) return std::nullopt;
    return text;
}

void WriteSetting(ov::RegistryStore& store, std::string_view section, std::string_view name,
                  std::string_view text, SettingScope scope) {
    store.SetString(SettingsKey(section, scope), name, ov::CutAtNul(text));
}

const std::vector<Preference>& LoadOrder() {
    static const std::vector<Preference> rows = Preferences(false);
    return rows;
}

const std::vector<Preference>& SaveOrder() {
    static const std::vector<Preference> rows = Preferences(true);
    return rows;
}

int UndoMaxFromText(const std::optional<std::string>& text) {
    auto value = text ? ParseNumber(*text) : std::nullopt;
    if (!value || std::isnan(*value)) return kUndoDefault;
    if (*value <= 2) return 2;
    if (*value > 999) return 1000;
    return static_cast<int>(std::lround(*value));
}

bool FlagFromText(std::string_view text) {
    auto value = ParseNumber(text);
    return !value || *value == 1;
}

void LoadSettings(const ov::RegistryStore& store, Settings& settings,
                  std::string_view installFolder) {
    for (const Row& row : kRows) {
        auto stored = ReadSetting(store, kShellSection, row.name);
        std::string& entry = settings.entry[static_cast<size_t>(row.entry)];
        if (!stored) {
            entry = DefaultFor(row, installFolder);
        } else if (row.entry == 9) {
            entry = ov::UsableFolder(*stored, installFolder);
        } else {
            entry = *stored;
        }
    }
    settings.zeroDot = FlagFromText(settings.entry[30]);
    settings.suffix = FlagFromText(settings.entry[31]);
    settings.undoMax = UndoMaxFromText(ReadSetting(store, "Undo", "Max", SettingScope::Family));
}

void SaveSettings(ov::RegistryStore& store, const Settings& settings) {
    // One change of the store for all of them: a failure loses none of the
    // earlier values, and the file is written once.
    std::vector<std::pair<std::string, std::string>> values;
    for (const Preference& p : SaveOrder()) {
        values.emplace_back(p.name, ov::CutAtNul(settings.entry[static_cast<size_t>(p.entry)]));
    }
    store.SetStrings(SettingsKey(kShellSection), values);
}

}  // namespace znt
