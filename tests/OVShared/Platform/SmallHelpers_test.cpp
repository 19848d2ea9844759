#include "OVShared/Platform/AsciiText.h"
#include "OVShared/Platform/Fnv1a.h"
#include "OVShared/Platform/LocalTime.h"

#include <gtest/gtest.h>

#include <clocale>
#include <ctime>
#include <string>

TEST(SmallHelpers, CaseRulesChangeOnlyAsciiLettersWhateverTheLocale) {
    // Under a single-byte locale the C library would fold 0xC1 (Greek capital
    // alpha in Windows-1253, "A" with acute in Latin-1); these never do.
    const char* previous = std::setlocale(LC_CTYPE, nullptr);
    const std::string saved = previous ? previous : "C";
    if (!std::setlocale(LC_CTYPE, "el_GR.ISO-8859-7")) std::setlocale(LC_CTYPE, "C.UTF-8");
    const std::string mixed = "zNtr.Exe \xC1\xE1 \xCE\xB1 09_/[`{@";
    EXPECT_EQ(ov::AsciiUpper(mixed), "ZNTR.EXE \xC1\xE1 \xCE\xB1 09_/[`{@");
    EXPECT_EQ(ov::AsciiLower(mixed), "zntr.exe \xC1\xE1 \xCE\xB1 09_/[`{@");
    EXPECT_TRUE(ov::EqualsNoCase("Core\\ZNTR.exe", "core\\zntr.EXE"));
    EXPECT_FALSE(ov::EqualsNoCase("\xC1", "\xE1"));
    EXPECT_FALSE(ov::EqualsNoCase("zntr.exe", "zntr.ex"));
    EXPECT_FALSE(ov::EqualsNoCase("[", "{"));  // 0x20 apart, but not letters
    EXPECT_TRUE(ov::StartsWithNoCase("Content-Length: 5", "content-length"));
    EXPECT_FALSE(ov::StartsWithNoCase("Content", "content-length"));
    EXPECT_TRUE(ov::StartsWithNoCase("anything", ""));
    std::setlocale(LC_CTYPE, saved.c_str());
}

TEST(SmallHelpers, Fnv1aGivesTheReferenceValues) {
    EXPECT_EQ(ov::Fnv1a64(""), 0xcbf29ce484222325ull);
    EXPECT_EQ(ov::Fnv1a64("a"), 0xaf63dc4c8601ec8cull);
    EXPECT_EQ(ov::Fnv1a64("foobar"), 0x85944171f73967e8ull);
    EXPECT_EQ(ov::Fnv1a64Hex("a"), "af63dc4c8601ec8c");
    EXPECT_EQ(ov::Fnv1a64Hex(std::string(1, '\0')), "af63bd4c8601b7df");  // a NUL byte counts
}

TEST(SmallHelpers, LocalTimeIsTheMomentInTheLocalZone) {
    for (std::time_t t : {std::time_t{0}, std::time_t{951782400}, std::time(nullptr)}) {
        std::tm local = ov::LocalTime(t);
        EXPECT_EQ(std::mktime(&local), t) << t;
    }
}
