#include "i18n/SequentialReader.h"

#include <gtest/gtest.h>

using znt::SequentialReader;

TEST(SequentialReader, ReadsItemsAcrossCommasLineBreaksAndBlanks) {
    SequentialReader r("  12,\t\"a, b\"\r\n-7\n\n#TRUE#  ,  #false#\r\n\"last\",\r\n\r\n , \r\n");
    EXPECT_EQ(r.ReadInt(), 12);
    EXPECT_EQ(r.ReadText(), "a, b");
    EXPECT_EQ(r.ReadInt(), -7);
    EXPECT_EQ(r.ReadBool(), true);
    EXPECT_EQ(r.ReadBool(), false);
    EXPECT_FALSE(r.AtEnd());
    EXPECT_EQ(r.ReadText(), "last");
    EXPECT_TRUE(r.AtEnd());
    EXPECT_EQ(r.Remaining(), 0u);
    EXPECT_EQ(r.ReadInt(), std::nullopt);
}

TEST(SequentialReader, TextsWithoutQuotesRunToTheSeparatorAndEmptyItemsAreEmptyTexts) {
    SequentialReader r("plain words  ,,\"\",x\"y\r\nz");
    EXPECT_EQ(r.ReadText(), "plain words");
    EXPECT_EQ(r.ReadText(), "");
    EXPECT_EQ(r.ReadText(), "");
    EXPECT_EQ(r.ReadText(), "x\"y");
    EXPECT_EQ(r.ReadText(), "z");
}

TEST(SequentialReader, FractionsRoundToNearestWithHalvesToEven) {
    SequentialReader r("3.6,3.4,2.5,3.5,-2.5,2.51,+4,.5,7.");
    for (int expected : {4, 3, 2, 4, -2, 3, 4, 0, 7}) EXPECT_EQ(r.ReadInt(), expected);
}

TEST(SequentialReader, NumbersOutside32BitsAreNotNumbers) {
    SequentialReader r(
        "2147483647,-2147483648,2147483648,-2147483649,99999999999999999999,2147483647.5");
    EXPECT_EQ(r.ReadInt(), 2147483647);
    EXPECT_EQ(r.ReadInt(), -2147483648);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(r.ReadInt(), std::nullopt);
    EXPECT_TRUE(r.AtEnd());
}

TEST(SequentialReader, MalformedItemsYieldNothingAndReadingGoesOn) {
    SequentialReader r("12x,\"quoted\",,#YES#,\"ab\"junk,5,\"two\r\nlines\" x\r\n6,1e3,- 1,7");
    EXPECT_EQ(r.ReadInt(), std::nullopt);   // 12x
    EXPECT_EQ(r.ReadInt(), std::nullopt);   // a quoted text is not a number
    EXPECT_EQ(r.ReadInt(), std::nullopt);   // empty item
    EXPECT_EQ(r.ReadBool(), std::nullopt);  // #YES#
    EXPECT_EQ(r.ReadText(), std::nullopt);  // text followed by junk
    EXPECT_EQ(r.ReadInt(), 5);
    EXPECT_EQ(r.ReadText(), std::nullopt);  // junk after a text that spans lines
    EXPECT_EQ(r.ReadInt(), 6);
    EXPECT_EQ(r.ReadInt(), std::nullopt);
    EXPECT_EQ(r.ReadInt(), std::nullopt);
    EXPECT_EQ(r.ReadInt(), 7);
    EXPECT_TRUE(r.AtEnd());
}

TEST(SequentialReader, BareCarriageReturnsSeparateItemsAndAnOpenQuoteEndsTheData) {
    SequentialReader r("1\r2\r\"\xE1\xE2\"\r\"never closed");
    EXPECT_EQ(r.ReadInt(), 1);
    EXPECT_EQ(r.ReadInt(), 2);
    EXPECT_EQ(r.ReadText(), "\xE1\xE2");
    EXPECT_EQ(r.ReadText(), std::nullopt);
    EXPECT_TRUE(r.AtEnd());
}

TEST(SequentialReader, QuotedTextsHoldLineBreaksAndTabsUpToTheClosingQuote) {
    SequentialReader r("\"first line\r\nsecond\tline\",12\r\n\"a\nb\rc\"\r\n\"never closed\r\n7,8");
    EXPECT_EQ(r.ReadText(), "first line\r\nsecond\tline");
    EXPECT_EQ(r.ReadInt(), 12);  // the items after it stay in step
    EXPECT_EQ(r.ReadText(), "a\nb\rc");
    EXPECT_EQ(r.ReadText(), std::nullopt);  // never closes: malformed, and it takes the rest
    EXPECT_TRUE(r.AtEnd());
}
