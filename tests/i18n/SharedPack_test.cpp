#include "i18n/SharedPack.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdio>

using testsupport::TempDir;
using znt::SectionTexts;
using znt::SharedPackIndex;

namespace {

struct Pack {
    TempDir dir;
    SharedPackIndex index;

    Pack(const std::string& bytes, const std::string& language) {
        dir.write("languages/ovshared.lng", bytes);
        index.Build(dir.path() + "\\languages\\ovshared.lng", language);
    }

    // Text n of the section, or "<not found>".
    std::string Text(const std::string& section, int n) const {
        SectionTexts table;
        if (!index.LoadSection(section, table)) return "<not found>";
        return table.at(static_cast<size_t>(n));
    }
};

}  // namespace

TEST(NormalizeKey, UpperCasesTrimsCollapsesAndTightensAroundTheList) {
    EXPECT_EQ(znt::NormalizeKey("  english  |   greek |default ", true, true, true, "|"),
              "ENGLISH|GREEK|DEFAULT");
    EXPECT_EQ(znt::NormalizeKey("a   b  | c", true, true, true, ""), "A B | C");
    EXPECT_EQ(znt::NormalizeKey("  a b  ", false, false, false, ""), "  a b  ");
    EXPECT_EQ(znt::StripChars("[ frm ]", "[]"), " frm ");
}

TEST(SharedPack, ReadsTheBlockOfTheWantedLanguage) {
    const std::string pack =
        "; comment\r\n[frmOVProgress]\r\n{ english | greek2 }\r\n1=Cancel\r\n"
        "{GREEK}\r\n1=\xA2\xea\xf5\xf1\xef\r\n\t2\t=\ttab\t\r\n[next]\r\n{GREEK}\r\n1=other\r\n";
    Pack english(pack, "english");
    Pack greek(pack, "GREEK");
    EXPECT_EQ(english.Text("frmovprogress", 1), "Cancel");
    EXPECT_EQ(english.Text("  FRMOVPROGRESS ", 2), "");
    EXPECT_EQ(greek.Text("frmOVProgress", 1), "Άκυρο");
    EXPECT_EQ(greek.Text("frmOVProgress", 2), "tab");
    EXPECT_EQ(greek.Text("next", 1), "other");
    EXPECT_EQ(english.Text("next", 1), "<not found>");  // no block for English, no DEFAULT
    EXPECT_EQ(english.Text("missing", 1), "<not found>");
}

TEST(SharedPack, AFirstMatchingBlockWinsOverDefaultAndTheLastDefaultWinsAmongDefaults) {
    const std::string pack =
        "[a]\n{DEFAULT}\n1=d1\n{GREEK}\n1=g1\n{GREEK}\n1=g2\n"
        "[b]\n{DEFAULT}\n1=d1\n{FRENCH|DEFAULT}\n1=d2\n"
        "[c]\n{ENGLISH}\n1=e\n{DEFAULT}\n1=d\n";
    Pack greek(pack, "GREEK");
    EXPECT_EQ(greek.Text("a", 1), "g1");
    EXPECT_EQ(greek.Text("b", 1), "d2");
    EXPECT_EQ(greek.Text("c", 1), "d");
    Pack english(pack, "ENGLISH");
    EXPECT_EQ(english.Text("a", 1), "d1");
    EXPECT_EQ(english.Text("c", 1), "e");
}

TEST(SharedPack, TextLinesFollowTheNumberRules) {
    Pack p(
        "[s]\n{DEFAULT}\n 5 = x\n0=zero\n351=over\n350=top\n2.6=rounded\n7=a=b\n"
        "; 8=comment\n' 9=comment\nnoequals\n10=first\n10=second\nx=y\n11=\n",
        "GREEK");
    SectionTexts table;
    ASSERT_TRUE(p.index.LoadSection("s", table));
    ASSERT_EQ(table.size(), 351u);
    EXPECT_EQ(table[5], " x");
    EXPECT_EQ(table[0], "");
    EXPECT_EQ(table[350], "top");
    EXPECT_EQ(table[3], "rounded");
    EXPECT_EQ(table[7], "a=b");
    EXPECT_EQ(table[8], "");
    EXPECT_EQ(table[9], "");
    EXPECT_EQ(table[10], "second");
}

TEST(SharedPack, ReadingStopsAtTheNextBlockOrSection) {
    Pack p("[s]\n{GREEK}\n1=a\n{ENGLISH}\n2=b\n[t]\n3=c\n", "GREEK");
    SectionTexts table;
    ASSERT_TRUE(p.index.LoadSection("s", table));
    EXPECT_EQ(table[1], "a");
    EXPECT_EQ(table[2], "");
    EXPECT_EQ(table[3], "");
}

TEST(SharedPack, SectionNamingRules) {
    Pack p(
        "[ spaced ]\n{DEFAULT}\n1=x\n[dup]\n{DEFAULT}\n1=first\n[DUP]\n{DEFAULT}\n1=second\n"
        "[two  words]\n{DEFAULT}\n1=w\n",
        "GREEK");
    EXPECT_EQ(p.Text("spaced", 1), "<not found>");
    EXPECT_EQ(p.Text(" spaced ", 1), "<not found>");
    EXPECT_EQ(p.Text("dup", 1), "first");
    EXPECT_EQ(p.Text("Two Words", 1), "w");
}

TEST(SharedPack, ShortLinesAndLinesBeforeTheFirstSectionAreIgnored) {
    Pack p("{GREEK}\n1=orphan\n[s]\n\n12\n{GREEK}\n1=ok\n", "GREEK");
    EXPECT_EQ(p.Text("s", 1), "ok");
    ASSERT_EQ(p.index.sections().size(), 1u);
}

TEST(SharedPack, AFailedLookupLeavesTheTableUntouched) {
    Pack p("[s]\n{ENGLISH}\n1=x\n", "GREEK");
    SectionTexts table{"mine"};
    EXPECT_FALSE(p.index.LoadSection("s", table));
    EXPECT_FALSE(p.index.LoadSection("other", table));
    EXPECT_EQ(table, SectionTexts{"mine"});
}

TEST(SharedPack, AMissingPackFindsNothingEvenWhenItVanishesAfterIndexing) {
    TempDir dir;
    SharedPackIndex index;
    EXPECT_TRUE(index.Build(dir.path() + "\\languages\\ovshared.lng", "GREEK"));
    SectionTexts table;
    EXPECT_FALSE(index.LoadSection("frmOVProgress", table));

    Pack p("[s]\n{GREEK}\n1=x\n", "GREEK");
    std::remove(p.dir.file("languages/ovshared.lng").c_str());
    EXPECT_EQ(p.Text("s", 1), "<not found>");
}
