#include "app/CommandLine.h"

#include "support/Env.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace znt;

TEST(LaunchWord, IsTheUpperCasedFirstWord) {
    EXPECT_EQ(LaunchWord("setup /eng"), "SETUP");
    EXPECT_EQ(LaunchWord("UPDATE"), "UPDATE");
    EXPECT_EQ(LaunchWord("/ENG"), "/ENG");
    EXPECT_EQ(LaunchWord(""), "");
    EXPECT_EQ(LaunchWord(" setup"), "");
    EXPECT_EQ(LaunchWord("FirstInstall x"), "FIRSTINSTALL");
}

TEST(EnglishSwitch, IsFoundAnywhereInAnyCase) {
    EXPECT_TRUE(HasEnglishSwitch("setup /eng"));
    EXPECT_TRUE(HasEnglishSwitch("a /Eng b"));
    EXPECT_TRUE(HasEnglishSwitch("/ENG"));
    EXPECT_FALSE(HasEnglishSwitch("setup"));
    EXPECT_FALSE(HasEnglishSwitch("ENG"));
}

TEST(EnglishSwitch, CountsOnlyAsAWholeWordOutsideSwitchValues) {
    const char* argv[] = {"zntr.exe", "LIST", "/SOURCE=/data/Engineering", "/SERVER=http://h/eng"};
    EXPECT_FALSE(HasEnglishSwitch(JoinArguments(4, argv)));
    EXPECT_FALSE(HasEnglishSwitch("LIST /SOURCE=\"/media/x /ENG\""));
    EXPECT_FALSE(HasEnglishSwitch("setup /ENGLISH"));
    EXPECT_FALSE(HasEnglishSwitch("setup/eng"));
    EXPECT_TRUE(HasEnglishSwitch("LIST /SOURCE=\"/media/x y\"\t/eng"));
    // A value holding a blank and another switch is still one value.
    const char* quoted[] = {"zntr.exe", "LIST", "/SOURCE=/a /SERVER=ftp://x"};
    EXPECT_FALSE(SwitchValue(JoinArguments(3, quoted), "/SERVER=").has_value());
}

TEST(SwitchValue, TakesTheWordOrQuotedTextAfterTheSwitch) {
    EXPECT_EQ(SwitchValue("LIST /server=http://127.0.0.1:8080 /ENG", "/SERVER=").value(),
              "http://127.0.0.1:8080");
    EXPECT_EQ(SwitchValue("LIST /SOURCE=\"/media/cd rom/setup\" /ENG", "/SOURCE=").value(),
              "/media/cd rom/setup");
    EXPECT_EQ(SwitchValue("/SOURCE=", "/SOURCE=").value(), "");
    EXPECT_FALSE(SwitchValue("LIST /ENG", "/SERVER=").has_value());
    // Inside another word it is not a switch.
    EXPECT_FALSE(SwitchValue("x/SERVER=http://a", "/SERVER=").has_value());
}

TEST(JoinArguments, QuotesArgumentsWithBlanks) {
    const char* argv[] = {"zntr.exe", "LIST", "/SOURCE=/a b", "/ENG", "two words"};
    const std::string line = JoinArguments(5, argv);
    EXPECT_EQ(line, "LIST /SOURCE=\"/a b\" /ENG \"two words\"");
    EXPECT_EQ(SwitchValue(line, "/SOURCE=").value(), "/a b");
    EXPECT_TRUE(HasEnglishSwitch(line));
}

TEST(ServerAddress, AcceptsOnlyHttpAddressesWithAHost) {
    EXPECT_EQ(ParseServerAddress("http://127.0.0.1:8080/").value(), "http://127.0.0.1:8080");
    EXPECT_EQ(ParseServerAddress("HTTPS://example.org").value(), "HTTPS://example.org");
    EXPECT_FALSE(ParseServerAddress("ftp://x").has_value());
    EXPECT_FALSE(ParseServerAddress("http://").has_value());
    EXPECT_FALSE(ParseServerAddress("http://a b").has_value());
    EXPECT_FALSE(ParseServerAddress("127.0.0.1").has_value());
}

TEST(ServerBase, SwitchBeatsEnvironmentBeatsDefault) {
    testsupport::UnsetEnv("ZNT_UPDATE_SERVER");
    EXPECT_EQ(UpdateServerBase("").url, ZNT_DEFAULT_SERVER);
    testsupport::SetEnv("ZNT_UPDATE_SERVER", "http://127.0.0.1:9/");
    EXPECT_EQ(UpdateServerBase("").url, "http://127.0.0.1:9");
    EXPECT_EQ(UpdateServerBase("/SERVER=http://127.0.0.1:8").url, "http://127.0.0.1:8");
    auto bad = UpdateServerBase("/SERVER=file:///etc");
    EXPECT_EQ(bad.url, ZNT_DEFAULT_SERVER);
    EXPECT_NE(bad.problem.find("/SERVER="), std::string::npos);
    testsupport::UnsetEnv("ZNT_UPDATE_SERVER");
}
