#include "OVShared/Platform/CommandLine.h"

#include <gtest/gtest.h>

using ov::JoinCommandLine;
using ov::QuoteArgument;
using ov::SplitAtBlanks;
using ov::SplitCommandLine;
using Words = std::vector<std::string>;

TEST(SplitCommandLine, KeepsBackslashesAndQuotedBlanksAsWindowsDoes) {
    EXPECT_EQ(SplitCommandLine(R"(C:\core\runner.bat)"), Words{R"(C:\core\runner.bat)"});
    EXPECT_EQ(SplitCommandLine(R"(  "C:\Program Files\x.exe"  -a   b )"),
              (Words{R"(C:\Program Files\x.exe)", "-a", "b"}));
    EXPECT_EQ(SplitCommandLine(R"(/bin/sh -c "sleep 0.3; exit 3")"),
              (Words{"/bin/sh", "-c", "sleep 0.3; exit 3"}));
}

TEST(SplitCommandLine, BackslashesBeforeAQuoteFollowTheRuntimeRules) {
    EXPECT_EQ(SplitCommandLine(R"(a\\"b c" d)"), (Words{R"(a\b c)", "d"}));
    EXPECT_EQ(SplitCommandLine(R"(a\"b)"), Words{R"(a"b)"});
    EXPECT_EQ(SplitCommandLine(R"("" x)"), (Words{"", "x"}));
    EXPECT_EQ(SplitCommandLine(""), Words{});
}

TEST(QuoteArgument, RoundTripsThroughSplit) {
    for (std::string word : {"plain", "", "with blank", R"(trail\)", R"(q"uote)", R"(C:\a b\)",
                             R"(\\"x\")", "tab\there"}) {
        EXPECT_EQ(SplitCommandLine(QuoteArgument(word)), Words{word}) << word;
    }
    Words words{"prog", "a b", "", R"(c\")"};
    EXPECT_EQ(SplitCommandLine(JoinCommandLine(words)), words);
}

TEST(SplitAtBlanks, SplitsAtRunsOfBlanksWithoutQuoting) {
    EXPECT_EQ(SplitAtBlanks(R"( -O "C:\a b" -L  E )"),
              (Words{"-O", R"("C:\a)", R"(b")", "-L", "E"}));
    EXPECT_EQ(SplitAtBlanks("   "), Words{});
}
