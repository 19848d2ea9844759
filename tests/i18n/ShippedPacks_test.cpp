// The language packs that ship with the program, as the build stages them.

#include "i18n/LanguagePack.h"
#include "i18n/SharedPack.h"
#include "StageFolder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Every application text a window or message of the program shows.
std::vector<int> UsedTextIndices() {
    std::vector<int> used = {1,   4,   10,  11,  15,  16,  17,  20,  24,  25,  26,  27,  28,
                             29,  124, 125, 200, 201, 202, 204, 205, 206, 207, 208, 210, 600,
                             602, 605, 606, 609, 610, 612, 614, 650, 651, 652, 653, 654, 655,
                             656, 657, 660, 700, 701, 702, 703, 710, 711, 712, 715, 718};
    for (int i = 300; i <= 306; ++i) used.push_back(i);
    for (int i = 621; i <= 632; ++i) used.push_back(i);
    for (int i = 640; i <= 644; ++i) used.push_back(i);
    return used;
}

class ShippedPacks : public ::testing::Test {
protected:
    void SetUp() override {
        stage_ = testsupport::StageFolder();
        ASSERT_TRUE(ov::IsDirectory(stage_ + "/Languages"))
            << "no staged packs in " << stage_ << "; build the stage_data target";
    }

    znt::AppTexts Load(const char* setting) {
        znt::AppTexts texts;
        EXPECT_EQ(znt::LoadLanguagePack(texts, stage_, setting), znt::PackLoadResult::Ok)
            << setting << " in " << stage_ << " (built by the stage_data target)";
        return texts;
    }

    std::string stage_;
};

void ExpectEveryUsedTextPresent(const znt::AppTexts& texts, const char* pack) {
    for (int i : UsedTextIndices()) {
        EXPECT_FALSE(texts[i].empty()) << pack << " lacks text " << i;
        EXPECT_EQ(texts[i].find("\xEF\xBF\xBD"), std::string::npos) << pack << " text " << i;
    }
}

}  // namespace

TEST_F(ShippedPacks, TheEnglishPackHoldsEveryUsedText) {
    znt::AppTexts texts = Load("ENGLISH.LNG");
    EXPECT_EQ(texts.charset, 0);
    EXPECT_EQ(texts.displayName, "English");
    EXPECT_EQ(texts[1], "Orvantis Live Update");
    EXPECT_EQ(texts[29], "Ελληνικά");
    ExpectEveryUsedTextPresent(texts, "EN-ZNT.lng");
}

TEST_F(ShippedPacks, TheGreekPackHoldsEveryUsedText) {
    znt::AppTexts texts = Load("Greek.lng");
    EXPECT_EQ(texts.charset, 161);
    EXPECT_EQ(texts.displayName, "Ελληνικά");
    EXPECT_EQ(texts[29], "English");
    EXPECT_EQ(texts[11], "Άκυρο");
    ExpectEveryUsedTextPresent(texts, "GR-ZNT.lng");
}

TEST_F(ShippedPacks, TheSharedPackServesBothLanguages) {
    const std::string path = stage_ + "\\languages\\ovshared.lng";
    for (const char* language : {"ENGLISH", "GREEK", "FRENCH"}) {
        znt::SharedPackIndex index;
        index.Build(path, language);
        znt::SectionTexts progress, core;
        ASSERT_TRUE(index.LoadSection("frmOVProgress", progress)) << language;
        ASSERT_TRUE(index.LoadSection("modOVCoreFunctions", core)) << language;
        EXPECT_FALSE(core[4].empty()) << language;
        EXPECT_EQ(progress[1], std::string(language) == "GREEK" ? "Άκυρο" : "Cancel");
    }
}
