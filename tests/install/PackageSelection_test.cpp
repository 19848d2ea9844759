#include "install/PackageSelection.h"

#include "i18n/TextNumbers.h"

#include <gtest/gtest.h>

namespace znt {
namespace {

class SelectionTest : public ::testing::Test {
protected:
    void SetUp() override {
        texts.text[kTextTotalSize] = "Total size";
        for (int i = 0; i < 4; ++i) {
            PackageEntry& p = packages.entries.emplace_back();
            p.SizeBytes = 1536 * (i + 1);
            p.DescriptionEnglish = "english " + std::to_string(i + 1);
            p.DescriptionGreek = "greek " + std::to_string(i + 1);
            p.Marked = true;
        }
        map.rows = {2, 4};  // packages 1 and 3 are not listed
    }
    Packages packages;
    ListMap map;
    AppTexts texts;
};

TEST_F(SelectionTest, SummaryTotalsSelectedRowsAndDescribesTheCurrentOne) {
    SelectionSummary none = Summarize(packages, map, {false, false}, -1, true, texts);
    EXPECT_FALSE(none.confirmEnabled);
    EXPECT_EQ(none.sizeText, "Total size: 0 Kb");
    EXPECT_EQ(none.info, "");

    // 3072 + 6144 bytes = 9 Kb; the current row need not be selected.
    SelectionSummary both = Summarize(packages, map, {true, true}, 0, false, texts);
    EXPECT_TRUE(both.confirmEnabled);
    EXPECT_EQ(both.sizeText, "Total size: 9 Kb");
    EXPECT_EQ(both.info, "greek 2");
    EXPECT_EQ(Summarize(packages, map, {false, true}, 1, true, texts).info, "english 4");
}

TEST_F(SelectionTest, HugeTotalsSaturateAndStrayRowsCountNothing) {
    packages.Package(2).SizeBytes = 0x7FFFFF00;
    packages.Package(4).SizeBytes = 0x7FFFFF00;
    EXPECT_EQ(Summarize(packages, map, {true, true}, -1, true, texts).sizeText,
              "Total size: 2097152 Kb");
    EXPECT_EQ(Summarize(packages, map, {false, false, true}, 2, true, texts).info, "");
}

TEST_F(SelectionTest, InstallKeepsUnlistedMarksRemovalClearsThem) {
    ApplySelection(packages, map, {false, true}, false);
    EXPECT_TRUE(packages.Package(1).Marked);
    EXPECT_FALSE(packages.Package(2).Marked);
    EXPECT_TRUE(packages.Package(4).Marked);

    ApplySelection(packages, map, {true, false}, true);
    EXPECT_FALSE(packages.Package(1).Marked);
    EXPECT_TRUE(packages.Package(2).Marked);
    EXPECT_FALSE(packages.Package(3).Marked);
    EXPECT_FALSE(packages.Package(4).Marked);
}

}  // namespace
}  // namespace znt
