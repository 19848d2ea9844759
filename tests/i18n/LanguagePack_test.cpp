#include "i18n/LanguagePack.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

using testsupport::TempDir;
using znt::AppTexts;
using znt::LoadLanguagePack;
using znt::PackLoadResult;

namespace {

// Writes <dir>/Languages/<name> and loads the pack the setting names.
PackLoadResult Load(const TempDir& dir, AppTexts& texts, const std::string& name,
                    const std::string& bytes, const std::string& setting) {
    dir.write("Languages/" + name, bytes);
    return LoadLanguagePack(texts, dir.path(), setting);
}

}  // namespace

TEST(ApplicationPackPath, UsesTheFirstTwoCharactersOfTheSetting) {
    EXPECT_EQ(znt::ApplicationPackPath("C:\\Apps", "ENGLISH.LNG"),
              "C:\\Apps\\Languages\\EN-ZNT.lng");
    EXPECT_EQ(znt::ApplicationPackPath("C:\\Apps", "Greek.lng"), "C:\\Apps\\Languages\\GR-ZNT.lng");
}

TEST(LanguageSetting, TogglesBetweenEnglishAndGreek) {
    EXPECT_TRUE(znt::IsEnglishSetting("ENGLISH.LNG"));
    EXPECT_TRUE(znt::IsEnglishSetting("english.lng"));
    EXPECT_FALSE(znt::IsEnglishSetting("ENGLISH.LN"));
    EXPECT_FALSE(znt::IsEnglishSetting("GREEK.LNG"));
    EXPECT_EQ(znt::ToggledLanguageSetting("ENGLISH.LNG"), "Greek.lng");
    EXPECT_EQ(znt::ToggledLanguageSetting("Greek.lng"), "English.lng");
    EXPECT_EQ(znt::ToggledLanguageSetting(znt::ToggledLanguageSetting("GREEK.LNG")), "Greek.lng");
}

TEST(FillText, FillsMarksInAnyOrderAndNeverInsideAnArgument) {
    EXPECT_EQ(znt::FillText("%2 before %1", {"one", "two"}), "two before one");
    EXPECT_EQ(znt::FillText("%1 then %2", {"a%2b", "X"}), "a%2b then X");
    EXPECT_EQ(znt::FillText("no marks", {"x"}), "no marks");
}

TEST(LoadLanguagePack, ReadsTheHeaderAndLetsLaterPairsWin) {
    TempDir dir;
    AppTexts texts;
    auto result = Load(dir, texts, "EN-ZNT.lng",
                       "0,\"English\"\r\n1,\"Title, with "
                       "comma\"\r\n5,\"first\"\r\n5,\"second\"\r\n8000,\"top\"\r\n",
                       "ENGLISH.LNG");
    ASSERT_EQ(result, PackLoadResult::Ok);
    EXPECT_EQ(texts.charset, 0);
    EXPECT_EQ(texts.displayName, "English");
    EXPECT_EQ(texts[1], "Title, with comma");
    EXPECT_EQ(texts[5], "second");
    EXPECT_EQ(texts[8000], "top");
    EXPECT_EQ(texts[8001], "");
    EXPECT_EQ(texts[-1], "");
}

TEST(LoadLanguagePack, KeepsTextsThatTheNextPackDoesNotSet) {
    TempDir dir;
    AppTexts texts;
    ASSERT_EQ(Load(dir, texts, "EN-ZNT.lng", "0,\"English\"\r\n1,\"One\"\r\n2,\"Two\"\r\n",
                   "ENGLISH.LNG"),
              PackLoadResult::Ok);
    ASSERT_EQ(
        Load(dir, texts, "GR-ZNT.lng", "161,\"Greek\"\r\n1,\"\xB8\xED\xE1\"\r\n", "Greek.lng"),
        PackLoadResult::Ok);
    EXPECT_EQ(texts[1], "Ένα");
    EXPECT_EQ(texts[2], "Two");
    EXPECT_EQ(texts.charset, 161);
}

TEST(LoadLanguagePack, DecodesWithTheCodePageOfTheCharacterSet) {
    TempDir dir;
    AppTexts texts;
    // 0xE1 is alpha in Windows-1253 and a-acute in Windows-1252.
    ASSERT_EQ(Load(dir, texts, "GR-ZNT.lng",
                   "161,\"\xC5\xEB\xEB\xE7\xED\xE9\xEA\xDC\"\n7,\"\xE1\"\n", "GREEK.LNG"),
              PackLoadResult::Ok);
    EXPECT_EQ(texts.displayName, "Ελληνικά");
    EXPECT_EQ(texts[7], "α");
    ASSERT_EQ(Load(dir, texts, "EN-ZNT.lng", "0,\"English\"\n7,\"\xE1\"\n", "ENGLISH.LNG"),
              PackLoadResult::Ok);
    EXPECT_EQ(texts[7], "á");
}

TEST(LoadLanguagePack, ReadsTheLanguageLabelAndButtonAsGreekInEveryPack) {
    TempDir dir;
    AppTexts texts;
    ASSERT_EQ(Load(dir, texts, "EN-ZNT.lng",
                   "0,\"English\"\n28,\"\xC3\xEB\xFE\xF3\xF3\xE1\"\n29,"
                   "\"\xC5\xEB\xEB\xE7\xED\xE9\xEA\xDC\"\n30,\"\xE1\"\n",
                   "ENGLISH.LNG"),
              PackLoadResult::Ok);
    EXPECT_EQ(texts[28], "Γλώσσα");
    EXPECT_EQ(texts[29], "Ελληνικά");
    EXPECT_EQ(texts[30], "á");
}

TEST(LoadLanguagePack, AMissingPackIsReportedAsMissing) {
    TempDir dir;
    AppTexts texts;
    EXPECT_EQ(LoadLanguagePack(texts, dir.path(), "ENGLISH.LNG"), PackLoadResult::Missing);
    dir.write("Languages/EN-ZNT.lng/inner", "a folder, not a pack");
    EXPECT_EQ(LoadLanguagePack(texts, dir.path(), "ENGLISH.LNG"), PackLoadResult::Missing);
}

TEST(LoadLanguagePack, TextsMaySpanLinesAndHoldTabs) {
    TempDir dir;
    AppTexts texts;
    ASSERT_EQ(Load(dir, texts, "EN-ZNT.lng",
                   "0,\"English\"\r\n1,\"Line one\r\n\tLine two\"\r\n2,\"Two\"\r\n", "ENGLISH.LNG"),
              PackLoadResult::Ok);
    EXPECT_EQ(texts[1], "Line one\r\n\tLine two");
    EXPECT_EQ(texts[2], "Two");
}

TEST(LoadLanguagePack, DamagedPacksAreCorruptAndChangeNothing) {
    using namespace std::string_literals;
    const std::string damaged[] = {
        "",                                         // no header
        "0\r\n",                                    // header without a name
        "zero,\"English\"\r\n",                     // header without a number
        "0,\"English\"\r\n1,\"One\"\r\n2\r\n",      // an index without its text
        "0,\"English\"\r\n8001,\"x\"\r\n",          // index above the table
        "0,\"English\"\r\n-1,\"x\"\r\n",            // index below the table
        "0,\"English\"\r\n1,\"One\r\n2,\"x\"\r\n",  // a text that runs on into junk
        "0,\"English\"\r\n1,\"One\r\n2,x\r\n",      // a quote that never closes
        "0,\"English\"\r\n1,\"a\x01\x02\"\r\n",     // control bytes in a text
        "0,\"English\"\r\n1,\"a\0b\"\r\n"s,         // a NUL byte in a text
        "0,\"English\"\r\n\"1\",\"x\"\r\n",         // a text where an index belongs
    };
    for (const std::string& bytes : damaged) {
        TempDir dir;
        AppTexts texts;
        texts.text[1] = "kept";
        EXPECT_EQ(Load(dir, texts, "EN-ZNT.lng", bytes, "ENGLISH.LNG"), PackLoadResult::Corrupt)
            << bytes;
        EXPECT_EQ(texts[1], "kept") << bytes;
        EXPECT_EQ(texts.displayName, "") << bytes;
    }
}

TEST(LoadLanguagePack, RefusesAnOversizedPackWithoutReadingIt) {
    TempDir dir;
    AppTexts texts;
    std::string big = "0,\"English\"\r\n";
    big.resize(znt::kMaxPackBytes + 1, ' ');
    EXPECT_EQ(Load(dir, texts, "EN-ZNT.lng", big, "ENGLISH.LNG"), PackLoadResult::Corrupt);
}
