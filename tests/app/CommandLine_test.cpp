#include "app/CommandLine.h"

#include "install/InstallContext.h"
#include "settings/Settings.h"
#include "support/Env.h"
#include "support/TempDir.h"
#include "support/TestStore.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace znt;

namespace {

LaunchWord WordOf(std::string_view line) { return ParseLaunchOptions(line).word; }
bool English(std::string_view line) { return ParseLaunchOptions(line).english; }
std::optional<std::string> Source(std::string_view line) {
    return ParseLaunchOptions(line).sourceFolder;
}

}  // namespace

TEST(LaunchWord, IsTheFirstWordInAnyCase) {
    EXPECT_EQ(WordOf("setup /eng"), LaunchWord::Setup);
    EXPECT_EQ(WordOf("UPDATE"), LaunchWord::Update);
    EXPECT_EQ(WordOf("FirstInstall x"), LaunchWord::FirstInstall);
    EXPECT_EQ(WordOf("list /ENG"), LaunchWord::List);
    EXPECT_EQ(WordOf("Uninstall /QUIET"), LaunchWord::Uninstall);
    EXPECT_EQ(WordOf("/?"), LaunchWord::Usage);
    EXPECT_EQ(WordOf("/ENG"), LaunchWord::None);
    EXPECT_EQ(WordOf(""), LaunchWord::None);
    EXPECT_EQ(WordOf(" setup"), LaunchWord::None);
    EXPECT_EQ(WordOf("UPDATES"), LaunchWord::None);
    EXPECT_EQ(StartLanguageSetting(ParseLaunchOptions("setup /eng")), "ENGLISH.LNG");
    EXPECT_EQ(StartLanguageSetting(ParseLaunchOptions("")), "GREEK.LNG");
}

TEST(EnglishSwitch, IsFoundAnywhereInAnyCase) {
    EXPECT_TRUE(English("setup /eng"));
    EXPECT_TRUE(English("a /Eng b"));
    EXPECT_TRUE(English("/ENG"));
    EXPECT_FALSE(English("setup"));
    EXPECT_FALSE(English("ENG"));
}

TEST(EnglishSwitch, CountsOnlyAsAWholeWordOutsideSwitchValues) {
    const char* argv[] = {"zntr.exe", "LIST", "/SOURCE=/data/Engineering", "/SERVER=http://h/eng"};
    EXPECT_FALSE(English(JoinArguments(4, argv)));
    EXPECT_FALSE(English("LIST /SOURCE=\"/media/x /ENG\""));
    EXPECT_FALSE(English("setup /ENGLISH"));
    EXPECT_FALSE(English("setup/eng"));
    EXPECT_TRUE(English("LIST /SOURCE=\"/media/x y\"\t/eng"));
    // A value holding a blank and another switch is still one value.
    testsupport::UnsetEnv("ZNT_UPDATE_SERVER");
    const char* quoted[] = {"zntr.exe", "LIST", "/SOURCE=/a /SERVER=ftp://x"};
    LaunchOptions options = ParseLaunchOptions(JoinArguments(3, quoted));
    EXPECT_EQ(options.sourceFolder.value(), "/a /SERVER=ftp://x");
    EXPECT_EQ(options.server.problem, "");
}

TEST(SwitchValue, TakesTheWordOrQuotedTextAfterTheSwitch) {
    EXPECT_EQ(ParseLaunchOptions("LIST /server=http://127.0.0.1:8080 /ENG").server.url,
              "http://127.0.0.1:8080");
    EXPECT_EQ(Source("LIST /SOURCE=\"/media/cd rom/setup\" /ENG").value(), "/media/cd rom/setup");
    EXPECT_EQ(Source("/SOURCE=").value(), "");
    EXPECT_FALSE(Source("LIST /ENG").has_value());
    // Inside another word it is not a switch.
    EXPECT_FALSE(Source("x/SOURCE=/a").has_value());
}

TEST(JoinArguments, QuotesArgumentsWithBlanks) {
    const char* argv[] = {"zntr.exe", "LIST", "/SOURCE=/a b", "/ENG", "two words"};
    const std::string line = JoinArguments(5, argv);
    EXPECT_EQ(line, "LIST /SOURCE=\"/a b\" /ENG \"two words\"");
    EXPECT_EQ(Source(line).value(), "/a b");
    EXPECT_TRUE(English(line));
}

TEST(LaunchOptions, ReadsTheUnattendedSwitches) {
    LaunchOptions update = ParseLaunchOptions("UPDATE /quiet /LOG=\"/var/log/z n.log\"");
    EXPECT_TRUE(update.quiet);
    EXPECT_EQ(update.logPath.value(), "/var/log/z n.log");
    EXPECT_FALSE(update.packageCodes.has_value());
    EXPECT_FALSE(ParseLaunchOptions("UPDATE /QUIETLY").quiet);
    EXPECT_EQ(ParseLaunchOptions("UPDATE /LOG=").logPath.value(), "");

    auto codes = [](std::string_view line) { return ParseLaunchOptions(line).packageCodes; };
    EXPECT_EQ(codes("UNINSTALL /PACKAGE=30,-7,30").value(), (std::set<std::int32_t>{-7, 30}));
    EXPECT_EQ(codes("UNINSTALL /package=2147483647").value(), std::set<std::int32_t>{INT32_MAX});
    for (const char* bad : {"/PACKAGE=", "/PACKAGE=30,", "/PACKAGE=3x", "/PACKAGE=,1",
                            "/PACKAGE=2147483648", "/PACKAGE=99999999999999999999"}) {
        EXPECT_FALSE(codes(std::string("UNINSTALL ") + bad).has_value()) << bad;
    }
}

TEST(ParallelDownloads, SwitchBeatsSettingBeatsDefaultAndOddValuesAreRefused) {
    testsupport::TempDir tmp;
    testsupport::TestStoreLocation storeAt{tmp};
    ov::RegistryStore store{storeAt.path()};
    auto count = [&](std::string_view line) {
        return ParallelDownloads(ParseLaunchOptions(line), store);
    };
    EXPECT_EQ(count("UPDATE /QUIET"), kDefaultParallel);
    EXPECT_EQ(count("UPDATE /QUIET /parallel=1"), 1);
    EXPECT_EQ(count("UPDATE /PARALLEL=16"), 16);
    WriteSetting(store, "Downloads", "Parallel", "2");
    EXPECT_EQ(count("UPDATE /QUIET"), 2);
    EXPECT_EQ(count("UPDATE /QUIET /PARALLEL=7"), 7);
    for (const char* odd : {"0", "17", "-1", "4x", "", " 4", "99999999999", "\x01"}) {
        LaunchOptions options = ParseLaunchOptions(std::string("UPDATE /PARALLEL=") + odd);
        EXPECT_FALSE(options.parallel.count.has_value()) << odd;
        EXPECT_EQ(options.parallel.problem, "/PARALLEL= takes a whole number from 1 to 16") << odd;
        EXPECT_EQ(ParallelDownloads(options, store), 2) << odd;  // the setting stands
        WriteSetting(store, "Downloads", "Parallel", odd);
        EXPECT_EQ(count("UPDATE"), kDefaultParallel) << odd;  // so does the default
        WriteSetting(store, "Downloads", "Parallel", "2");
    }
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
    auto server = [](std::string_view line) { return ParseLaunchOptions(line).server; };
    testsupport::UnsetEnv("ZNT_UPDATE_SERVER");
    EXPECT_EQ(server("").url, ZNT_DEFAULT_SERVER);
    testsupport::SetEnv("ZNT_UPDATE_SERVER", "http://127.0.0.1:9/");
    EXPECT_EQ(server("").url, "http://127.0.0.1:9");
    EXPECT_EQ(server("/SERVER=http://127.0.0.1:8").url, "http://127.0.0.1:8");
    auto bad = server("/SERVER=file:///etc");
    EXPECT_EQ(bad.url, ZNT_DEFAULT_SERVER);
    EXPECT_NE(bad.problem.find("/SERVER="), std::string::npos);
    testsupport::UnsetEnv("ZNT_UPDATE_SERVER");
}
