#include "OVShared/Modules/modOVCoreFunctions.h"

#include <gtest/gtest.h>

using ov::CutAtNul;
using ov::ParentFolder;
using ov::StripPathLevels;
using ov::TrimBoth;

TEST(StripPathLevels, DropsTheLastLevelsOfABackslashPath) {
    EXPECT_EQ(StripPathLevels(R"(C:\a\b\c)", 1), R"(C:\a\b)");
    EXPECT_EQ(StripPathLevels(R"(C:\a\b\c)", 2), R"(C:\a)");
    EXPECT_EQ(StripPathLevels(R"(C:\a\b\c)", 3), "C:");
    EXPECT_EQ(StripPathLevels(R"(C:\ovw2010\core)", 1), R"(C:\ovw2010)");
}

TEST(StripPathLevels, ATrailingSeparatorCountsAsTheLastLevel) {
    EXPECT_EQ(StripPathLevels(R"(C:\a\b\)", 1), R"(C:\a\b)");
    EXPECT_EQ(StripPathLevels(R"(C:\)", 1), "C:");
}

TEST(StripPathLevels, IsEmptyForABareDriveNotPositiveNOrTooFewSeparators) {
    EXPECT_EQ(StripPathLevels("C:", 1), "");
    EXPECT_EQ(StripPathLevels(R"(C:\a\b)", 0), "");
    EXPECT_EQ(StripPathLevels(R"(C:\a\b)", -1), "");
    EXPECT_EQ(StripPathLevels(R"(C:\a\b)", 3), "");
    EXPECT_EQ(StripPathLevels("", 1), "");
}

TEST(StripPathLevels, SlashesCountAsSeparatorsAndKeepTheirKind) {
    EXPECT_EQ(StripPathLevels("/opt/ovw2010/core", 1), "/opt/ovw2010");
    EXPECT_EQ(StripPathLevels(R"(/opt/ovw2010\core\cache)", 2), "/opt/ovw2010");
    EXPECT_EQ(StripPathLevels("/opt", 1), "");
}

TEST(ParentFolder, CutsAtTheLastSeparator) {
    EXPECT_EQ(ParentFolder(R"(C:\ovw2010\core\Autopatch.exe)"), R"(C:\ovw2010\core)");
    EXPECT_EQ(ParentFolder(R"(C:\ovw2010\core\)"), R"(C:\ovw2010\core)");
    EXPECT_EQ(ParentFolder("/opt/x/core/Autopatch.exe"), "/opt/x/core");
    EXPECT_EQ(ParentFolder("Autopatch.exe"), "");
    EXPECT_EQ(ParentFolder(""), "");
}

TEST(TrimBoth, RemovesOnlySpaces) {
    EXPECT_EQ(TrimBoth("  a b  "), "a b");
    EXPECT_EQ(TrimBoth("\ta\t"), "\ta\t");
    EXPECT_EQ(TrimBoth("    "), "");
    EXPECT_EQ(TrimBoth(""), "");
}

TEST(CutAtNul, EndsTheTextAtItsFirstNul) {
    EXPECT_EQ(CutAtNul(std::string("abc\0def\0", 8)), "abc");
    EXPECT_EQ(CutAtNul(std::string("\0x", 2)), "");
    EXPECT_EQ(CutAtNul("unchanged"), "unchanged");
}
