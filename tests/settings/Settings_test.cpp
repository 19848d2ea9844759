#include "settings/Settings.h"

#include "OVShared/Platform/FileSystem.h"
#include "support/TempDir.h"
#include "support/TestStore.h"

#include <gtest/gtest.h>

#include <filesystem>

using ov::RegistryStore;
using testsupport::TempDir;
using znt::Settings;

namespace {

constexpr const char* kShellKey = R"(Software\Orvantis\ovw2010\ZNT\Shell)";
constexpr const char* kUndoKey = R"(Software\Orvantis\ovw2010\Undo)";

struct Fixture {
    TempDir dir;
    testsupport::TestStoreLocation storeAt{dir, "config/Orvantis/registry.ini"};
    RegistryStore store{storeAt.path()};
    std::string install = dir.path() + "\\ovw2010";
    Settings settings;

    void Load() { znt::LoadSettings(store, settings, install); }
    std::string Entry(int i) const { return settings.entry.at(static_cast<size_t>(i)); }
};

std::vector<int> Entries(const std::vector<znt::Preference>& rows) {
    std::vector<int> entries;
    for (const auto& r : rows) entries.push_back(r.entry);
    return entries;
}

}  // namespace

TEST(Settings, AFreshStoreGivesEveryDefault) {
    Fixture f;
    f.settings.entry[3] = "ENGLISH.LNG";
    f.Load();
    EXPECT_EQ(f.Entry(1), f.install);
    EXPECT_EQ(f.Entry(2), "1");
    EXPECT_EQ(f.Entry(3), "ENGLISH.LNG");  // set by start-up, never read
    EXPECT_EQ(f.Entry(4), "0");
    EXPECT_EQ(f.Entry(5), "111111111");
    EXPECT_EQ(f.Entry(6), "0");
    EXPECT_EQ(f.Entry(7), "0");
    EXPECT_EQ(f.Entry(8), "1");
    EXPECT_EQ(f.Entry(9), ov::SystemTempFolder());
    EXPECT_EQ(f.Entry(17), "1");
    EXPECT_EQ(f.Entry(18), "1");
    EXPECT_EQ(f.Entry(19), "");
    EXPECT_EQ(f.Entry(20), "1");
    EXPECT_EQ(f.Entry(21), "1");
    EXPECT_EQ(f.Entry(22), "1");
    EXPECT_EQ(f.Entry(23), "2");
    EXPECT_EQ(f.Entry(30), "1");
    EXPECT_EQ(f.Entry(31), "1");
    EXPECT_TRUE(f.settings.zeroDot);
    EXPECT_TRUE(f.settings.suffix);
    EXPECT_EQ(f.settings.undoMax, 20);
    EXPECT_EQ(f.settings.entry.size(), 600u);
    EXPECT_FALSE(std::filesystem::exists(f.store.location()));  // loading writes nothing
}

TEST(Settings, StoredValuesReplaceTheDefaultsAndEmptyOnesDoNot) {
    Fixture f;
    f.store.SetString(kShellKey, "P_Dir", R"(D:\other)");
    f.store.SetString(kShellKey, "P_PrintJobs", "101");
    f.store.SetString(kShellKey, "P_CheckLastDate", "2024-05-01");
    f.store.SetString(kShellKey, "P_ConfirmDelete", "");
    f.store.SetString(kShellKey, "P_LanguagePack", "Greek.lng");
    f.settings.entry[3] = "ENGLISH.LNG";
    f.Load();
    EXPECT_EQ(f.Entry(1), R"(D:\other)");
    EXPECT_EQ(f.Entry(5), "101");
    EXPECT_EQ(f.Entry(19), "2024-05-01");
    EXPECT_EQ(f.Entry(8), "1");
    EXPECT_EQ(f.Entry(3), "ENGLISH.LNG");
}

TEST(Settings, AStoredTempFolderIsKeptOnlyWhenUsable) {
    Fixture f;
    std::filesystem::create_directory(f.dir.file("temp"));
    f.store.SetString(kShellKey, "P_TempDir", f.dir.path() + "\\temp");
    f.Load();
    EXPECT_EQ(f.Entry(9), f.dir.path() + "\\temp");
    f.store.SetString(kShellKey, "P_TempDir", f.dir.path() + "\\gone\\away");
    f.Load();
    EXPECT_EQ(f.Entry(9), f.install);
}

TEST(Settings, UndoMaxIsClampedToTwoThroughAThousand) {
    Fixture f;
    auto undo = [&](const char* text) {
        f.store.SetString(kUndoKey, "Max", text);
        f.Load();
        return f.settings.undoMax;
    };
    EXPECT_EQ(undo("5000"), 1000);
    EXPECT_EQ(undo("1000"), 1000);
    EXPECT_EQ(undo("999"), 999);
    EXPECT_EQ(undo("3"), 3);
    EXPECT_EQ(undo("2"), 2);
    EXPECT_EQ(undo("1"), 2);
    EXPECT_EQ(undo("-7"), 2);
    EXPECT_EQ(undo(" 50 "), 50);
    EXPECT_EQ(undo("99999999999999999999999"), 1000);
    EXPECT_EQ(undo("lots"), 20);
    EXPECT_EQ(undo("12abc"), 20);
    EXPECT_EQ(undo(""), 20);
}

TEST(Settings, UndoLivesUnderTheFamilyKeyNotTheProgramKey) {
    Fixture f;
    f.store.SetString(R"(Software\Orvantis\ovw2010\ZNT\Undo)", "Max", "500");
    f.Load();
    EXPECT_EQ(f.settings.undoMax, 20);
}

TEST(Settings, ZeroDotAndSuffixFlagsAreTrueUnlessANumberOtherThanOne) {
    EXPECT_TRUE(znt::FlagFromText("1"));
    EXPECT_TRUE(znt::FlagFromText(" 1.0 "));
    EXPECT_TRUE(znt::FlagFromText("yes"));
    EXPECT_TRUE(znt::FlagFromText(""));
    EXPECT_FALSE(znt::FlagFromText("0"));
    EXPECT_FALSE(znt::FlagFromText("2"));
    EXPECT_FALSE(znt::FlagFromText("-1"));
    Fixture f;
    f.store.SetString(kShellKey, "P_ZeroDot", "0");
    f.store.SetString(kShellKey, "P_Suffix", "x");
    f.Load();
    EXPECT_FALSE(f.settings.zeroDot);
    EXPECT_TRUE(f.settings.suffix);
    EXPECT_EQ(f.Entry(30), "0");
    EXPECT_EQ(f.Entry(31), "x");
}

TEST(Settings, SaveThenLoadGivesTheSameTextsIncludingTheLanguage) {
    Fixture f;
    f.Load();
    for (const auto& p : znt::SaveOrder())
        f.settings.entry[static_cast<size_t>(p.entry)] = "v" + std::to_string(p.entry);
    f.settings.entry[1] = R"(C:\Program Files\ovw2010)";
    f.settings.entry[3] = "Greek.lng";
    std::filesystem::create_directory(f.dir.file("t"));
    f.settings.entry[9] = f.dir.file("t");
    znt::SaveSettings(f.store, f.settings);

    Settings loaded;
    loaded.entry[3] = "ENGLISH.LNG";
    znt::LoadSettings(f.store, loaded, f.install);
    for (const auto& p : znt::LoadOrder()) {
        EXPECT_EQ(loaded.entry[static_cast<size_t>(p.entry)],
                  f.settings.entry[static_cast<size_t>(p.entry)])
            << p.name;
    }
    EXPECT_EQ(loaded.entry[3], "ENGLISH.LNG");  // start-up's choice wins over the store
    EXPECT_EQ(znt::ReadSetting(f.store, "Shell", "P_LanguagePack"), "Greek.lng");
}

TEST(Settings, TheTableIsReadAndWrittenInThePartsOrder) {
    EXPECT_EQ(Entries(znt::LoadOrder()),
              (std::vector<int>{1, 2, 4, 6, 5, 7, 8, 9, 20, 23, 22, 21, 17, 18, 19, 30, 31}));
    EXPECT_EQ(Entries(znt::SaveOrder()),
              (std::vector<int>{1, 2, 3, 4, 6, 5, 7, 8, 9, 20, 23, 22, 21, 17, 18, 19, 30, 31}));
    std::vector<std::string> names;
    for (const auto& p : znt::SaveOrder()) names.push_back(p.name);
    EXPECT_EQ(names, (std::vector<std::string>{
                         "P_Dir", "P_RegisterExtension", "P_LanguagePack", "P_SaveChanges",
                         "P_ReportProblems", "P_PrintJobs", "P_BackUp", "P_ConfirmDelete",
                         "P_TempDir", "P_Delimited", "P_DecimalSeparator", "P_NewPage",
                         "P_RepeatHeaders", "P_CheckInternet", "P_CheckInternetEvery",
                         "P_CheckLastDate", "P_ZeroDot", "P_Suffix"}));
}

TEST(ReadSetting, FindsOnlyNonEmptyValuesUnderTheProgramKey) {
    Fixture f;
    znt::WriteSetting(f.store, "Shell", "P_X", "text");
    znt::WriteSetting(f.store, "Shell", "P_Empty", "");
    EXPECT_EQ(f.store.QueryString(kShellKey, "P_X"), "text");
    EXPECT_EQ(znt::ReadSetting(f.store, "Shell", "P_X"), "text");
    EXPECT_EQ(znt::ReadSetting(f.store, "Shell", "P_Empty"), std::nullopt);
    EXPECT_EQ(znt::ReadSetting(f.store, "Shell", "P_Missing"), std::nullopt);
    EXPECT_EQ(znt::ReadSetting(f.store, "Other", "P_X"), std::nullopt);
    EXPECT_EQ(znt::SettingsKey("Undo", znt::SettingScope::Family), kUndoKey);
}

TEST(ReadSetting, ValuesLongerThanTheBufferCountAsAbsent) {
    // The original read into a 255-character buffer: a longer value does not
    // fit, the read fails, and the default applies (never a cut text).
    Fixture f;
    std::string fits(255, 'a');
    std::string greekFits;
    for (int i = 0; i < 255; ++i) greekFits += "\xce\xb1";  // 255 characters, 510 bytes
    znt::WriteSetting(f.store, "Shell", "fits", fits);
    znt::WriteSetting(f.store, "Shell", "greek", greekFits);
    znt::WriteSetting(f.store, "Shell", "long", fits + "b");
    EXPECT_EQ(znt::ReadSetting(f.store, "Shell", "fits"), fits);
    EXPECT_EQ(znt::ReadSetting(f.store, "Shell", "greek"), greekFits);
    EXPECT_EQ(znt::ReadSetting(f.store, "Shell", "long"), std::nullopt);
    f.store.SetString(kShellKey, "P_Dir", std::string(300, 'x'));
    f.Load();
    EXPECT_EQ(f.Entry(1), f.install);
}

TEST(Settings, ACorruptStoreGivesDefaultsAndIsRepairedBySaving) {
    Fixture f;
    f.dir.write("config/Orvantis/registry.ini", std::string("\xff\0[Software\\Orvantis", 20));
    f.Load();
    EXPECT_EQ(f.Entry(2), "1");
    f.settings.entry[2] = "0";
    znt::SaveSettings(f.store, f.settings);
    Settings again;
    znt::LoadSettings(f.store, again, f.install);
    EXPECT_EQ(again.entry[2], "0");
}
