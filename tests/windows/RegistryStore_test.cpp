// The settings store in the registry under HKEY_CURRENT_USER, read back
// through the store and through the registry API itself. Every test works
// below a key of its own and removes it.

#include "OVShared/Platform/RegistryStore.h"
#include "settings/Settings.h"

#include "WindowsFixture.h"

#include <optional>

namespace {

constexpr const char* kShell = "Software\\Orvantis\\ovw2010\\ZNT\\Shell";
constexpr const char* kUndo = "Software\\Orvantis\\ovw2010\\Undo";

// A key below HKEY_CURRENT_USER\Software\ZntrTests, removed with its tree.
class ScratchKey {
public:
    ScratchKey()
        : path_("Software\\ZntrTests\\" + std::to_string(GetCurrentProcessId()) + "-" +
                std::to_string(++count_)) {}
    ~ScratchKey() {
        RegDeleteTreeW(HKEY_CURRENT_USER, ov::Widen(path_).c_str());
        RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\ZntrTests");  // only when empty
    }
    ScratchKey(const ScratchKey&) = delete;
    ScratchKey& operator=(const ScratchKey&) = delete;
    const std::string& path() const { return path_; }
    std::string Below(const std::string& key) const { return path_ + "\\" + key; }

private:
    static inline int count_ = 0;
    std::string path_;
};

struct RawValue {
    DWORD type = REG_NONE;
    std::wstring text;  // the stored bytes as UTF-16
    DWORD bytes = 0;
};

std::optional<RawValue> ReadRaw(const std::string& key, const std::string& name) {
    HKEY k = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, ov::Widen(key).c_str(), 0, KEY_QUERY_VALUE, &k) !=
        ERROR_SUCCESS) {
        return std::nullopt;
    }
    RawValue v;
    std::wstring wname = ov::Widen(name);
    LONG rc = RegQueryValueExW(k, wname.c_str(), nullptr, &v.type, nullptr, &v.bytes);
    if (rc == ERROR_SUCCESS) {
        v.text.assign(v.bytes / sizeof(wchar_t), L'\0');
        rc = RegQueryValueExW(k, wname.c_str(), nullptr, &v.type,
                              reinterpret_cast<BYTE*>(v.text.data()), &v.bytes);
    }
    RegCloseKey(k);
    if (rc != ERROR_SUCCESS) return std::nullopt;
    return v;
}

void WriteRaw(const std::string& key, const std::string& name, DWORD type, const void* data,
              DWORD bytes) {
    HKEY k = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, ov::Widen(key).c_str(), 0, nullptr, 0,
                              KEY_SET_VALUE, nullptr, &k, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(
        RegSetValueExW(k, ov::Widen(name).c_str(), 0, type, static_cast<const BYTE*>(data), bytes),
        ERROR_SUCCESS);
    RegCloseKey(k);
}

// A REG_SZ as other programs write it: the characters and a terminating NUL.
void WriteRawText(const std::string& key, const std::string& name, const std::wstring& text) {
    WriteRaw(key, name, REG_SZ, text.c_str(), static_cast<DWORD>((text.size() + 1) * 2));
}

bool KeyExists(const std::string& key) {
    HKEY k = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, ov::Widen(key).c_str(), 0, KEY_READ, &k) !=
        ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(k);
    return true;
}

std::wstring KeyClass(const std::string& key) {
    HKEY k = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, ov::Widen(key).c_str(), 0, KEY_READ, &k) !=
        ERROR_SUCCESS) {
        return L"<no key>";
    }
    wchar_t name[64] = {};
    DWORD length = 64;
    RegQueryInfoKeyW(k, name, &length, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                     nullptr, nullptr, nullptr);
    RegCloseKey(k);
    return std::wstring(name, length);
}

// Settings whose saved entries all differ from their defaults.
znt::Settings Distinct(const std::string& usableFolder) {
    znt::Settings s;
    for (const auto& row : znt::SaveOrder()) s.entry[row.entry] = "v" + std::to_string(row.entry);
    s.entry[1] = "C:\\Program Files\\Orvantis";
    s.entry[3] = "GREEK.LNG";
    s.entry[9] = usableFolder;
    s.entry[19] = "Τρίτη 8/12";  // Greek: the wide API keeps every character
    return s;
}

}  // namespace

TEST(RegistryStoreOnWindows, SavedSettingsAreStringValuesOfTheProgramsKey) {
    ScratchKey scratch;
    testsupport::TempDir tmp;
    ov::RegistryStore store(scratch.path());
    const znt::Settings saved = Distinct(wintest::Backslashes(tmp.path()));

    znt::SaveSettings(store, saved);

    const std::string key = scratch.Below(kShell);
    EXPECT_EQ(KeyClass(key), L"String");
    for (const auto& row : znt::SaveOrder()) {
        SCOPED_TRACE(row.name);
        const std::string& text = saved.entry[row.entry];
        auto raw = ReadRaw(key, row.name);
        ASSERT_TRUE(raw);
        EXPECT_EQ(raw->type, static_cast<DWORD>(REG_SZ));
        // The count given leaves out the terminating NUL; the registry adds
        // one itself when the buffer holds it after the text (NT and Wine).
        EXPECT_EQ(raw->text.substr(0, raw->text.find(L'\0')), ov::Widen(text));
        EXPECT_LE(raw->text.size(), ov::Widen(text).size() + 1);
        EXPECT_EQ(store.QueryString("software\\ORVANTIS\\ovw2010\\znt\\shell", row.name), text);
    }
    znt::Settings loaded;
    loaded.entry[3] = "ENGLISH.LNG";
    znt::LoadSettings(store, loaded, "C:\\Inst");
    for (const auto& row : znt::LoadOrder()) {
        EXPECT_EQ(loaded.entry[row.entry], saved.entry[row.entry]) << row.name;
    }
    EXPECT_EQ(loaded.entry[3], "ENGLISH.LNG");  // start-up's choice, never read
}

TEST(RegistryStoreOnWindows, AbsentEmptyForeignAndLongValuesFallBackToTheirDefaults) {
    ScratchKey scratch;
    ov::RegistryStore store(scratch.path());
    znt::Settings fresh;
    znt::LoadSettings(store, fresh, "C:\\Inst");
    EXPECT_EQ(fresh.entry[1], "C:\\Inst");
    EXPECT_EQ(fresh.entry[8], "1");
    EXPECT_EQ(fresh.undoMax, 20);
    EXPECT_FALSE(KeyExists(scratch.Below(kShell))) << "reading created the key";

    const std::string key = scratch.Below(kShell);
    WriteRawText(key, "P_SaveChanges", L"");  // empty: absent
    DWORD zero = 0;
    WriteRaw(key, "P_ConfirmDelete", REG_DWORD, &zero, sizeof zero);  // not a text
    WriteRawText(key, "P_Delimited", L"0");  // with its NUL, as others write it
    const wchar_t embedded[] = L"0\0junk";
    WriteRaw(key, "P_RepeatHeaders", REG_SZ, embedded, sizeof embedded);  // cut at the NUL
    WriteRawText(key, "P_Dir", std::wstring(256, L'x'));  // beyond the 255-character buffer
    WriteRawText(scratch.Below(kUndo), "Max", L"5000");
    znt::Settings s;
    znt::LoadSettings(store, s, "C:\\Inst");
    EXPECT_EQ(s.entry[4], "0");
    EXPECT_EQ(s.entry[8], "1");
    EXPECT_EQ(s.entry[20], "0");
    EXPECT_EQ(s.entry[21], "0");
    EXPECT_EQ(s.entry[1], "C:\\Inst");
    EXPECT_EQ(s.undoMax, 1000);
    EXPECT_EQ(store.QueryString(kShell, "P_Delimited"), "0");
    EXPECT_EQ(store.QueryString(kShell, "P_ConfirmDelete"), std::nullopt);
}

TEST(RegistryStoreOnWindows, DeletedValuesAndKeysAreGoneFromTheRegistry) {
    ScratchKey scratch;
    ov::RegistryStore store(scratch.path());
    ASSERT_TRUE(store.SetString(kShell, "P_BackUp", "1"));
    ASSERT_TRUE(store.SetString(kShell, "P_PrintJobs", "111111111"));
    EXPECT_TRUE(store.DeleteValue(kShell, "P_BackUp"));
    EXPECT_FALSE(ReadRaw(scratch.Below(kShell), "P_BackUp"));
    EXPECT_EQ(store.QueryString(kShell, "P_BackUp"), std::nullopt);
    EXPECT_FALSE(store.DeleteValue(kShell, "P_BackUp"));
    // A key with sub-keys stays; an emptied one goes.
    EXPECT_FALSE(store.DeleteKey("Software\\Orvantis\\ovw2010\\ZNT"));
    EXPECT_TRUE(store.DeleteKey(kShell));
    EXPECT_FALSE(KeyExists(scratch.Below(kShell)));
    EXPECT_TRUE(store.DeleteKey("Software\\Orvantis\\ovw2010\\ZNT"));
}

// The program's own store is the hive itself. Run only where no settings of
// the family exist (a fresh user, such as a private Wine prefix), and removed after.
TEST(RegistryStoreOnWindows, TheProgramsStoreWritesTheExactKeyOfTheUsersHive) {
    if (KeyExists("Software\\Orvantis")) GTEST_SKIP() << "this user has Orvantis settings";
    struct Cleanup {
        ~Cleanup() { RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Orvantis"); }
    } cleanup;
    ov::RegistryStore store = ov::RegistryStore::Default();
    znt::Settings s;
    s.entry[3] = "ENGLISH.LNG";

    znt::SaveSettings(store, s);

    auto raw = ReadRaw(kShell, "P_LanguagePack");
    ASSERT_TRUE(raw);
    EXPECT_EQ(raw->type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(raw->text.substr(0, raw->text.find(L'\0')), L"ENGLISH.LNG");
}
