#include "app/MainCommands.h"

#include "app/AppState.h"
#include "app/StartUp.h"
#include "catalogue/Retrieval.h"
#include "i18n/TextNumbers.h"
#include "support/AppFakes.h"
#include "support/RecordingMessageSink.h"
#include "support/TempDir.h"
#include "support/TestStore.h"
#include "support/TestPaths.h"

#include <gtest/gtest.h>

#include <filesystem>

using apptest::FakeDialogs;
using apptest::FakeWindow;
using apptest::PackBytes;
using testsupport::TempDir;

namespace znt {
namespace {

class MainCommandsTest : public ::testing::Test {
protected:
    MainCommandsTest() {
        install.write("Languages/EN-ZNT.lng", PackBytes(0, {{1, "Title EN"},
                                                            {306, "No catalogue in"},
                                                            {600, "Fetch failed"},
                                                            {602, "From the Internet"},
                                                            {614, "From the folder"}}));
        install.write("Languages/GR-ZNT.lng", PackBytes(161, {{1, "Title GR"}}));
        state.appFolder = install.path();
        state.languageSetting() = "ENGLISH.LNG";
        LoadLanguagePack(state.texts, state.appFolder, state.languageSetting());
        state.appTitle = state.texts[kTextTitle];
        dialogs.commandsEnabled = [this] { return window.commandsEnabled; };
    }

    void Run(PackageCommand command) {
        MainContext c{state, window, dialogs, [this](AppState& s) {
                          fetchedFrom.push_back(s.SourceIsInternet ? "internet" : s.SourceFolder);
                          return fetchWorks;
                      }};
        RunPackageCommand(c, command);
    }

    TempDir install;
    TempDir config;
    testsupport::TestStoreLocation storeAt{config};
    ov::RegistryStore store{storeAt.path()};
    testsupport::RecordingMessageSink sink;
    AppState state{LaunchOptions{}, install.file("core/zntr.exe"), sink, store};
    FakeWindow window;
    FakeDialogs dialogs;
    bool fetchWorks = true;
    std::vector<std::string> fetchedFrom;
};

TEST_F(MainCommandsTest, CancelledSourceLeavesTheWindowAsItWas) {
    Run(PackageCommand::Install);
    EXPECT_EQ(dialogs.opened, std::vector<std::string>{"source"});
    EXPECT_EQ(dialogs.enabledDuringSource, std::vector<bool>{false});
    EXPECT_TRUE(window.commandsEnabled);
    EXPECT_TRUE(fetchedFrom.empty());
    EXPECT_FALSE(window.progress.shown);
    EXPECT_TRUE(sink.messages.empty());
}

TEST_F(MainCommandsTest, LocalFolderWithoutCatalogueAsksForTheSourceAgain) {
    dialogs.sources = {{false, install.file("cd")}, {false, install.file("cd")}};
    Run(PackageCommand::Install);
    EXPECT_EQ(dialogs.opened, (std::vector<std::string>{"source", "source", "source"}));
    ASSERT_EQ(sink.messages.size(), 2u);
    EXPECT_EQ(sink.messages[0].text, "No catalogue in: " + install.file("cd"));
    EXPECT_EQ(sink.messages[0].icon, ov::MsgIcon::Critical);
    EXPECT_EQ(sink.messages[0].title, state.appTitle);
    EXPECT_TRUE(fetchedFrom.empty());
    EXPECT_TRUE(window.commandsEnabled);
}

TEST_F(MainCommandsTest, LocalFolderWithCatalogueIsReadUnderTheFolderLabel) {
    install.write("cd/packages.dat", "catalogue");
    dialogs.sources = {{false, install.file("cd")}};
    Run(PackageCommand::Uninstall);
    EXPECT_EQ(fetchedFrom, std::vector<std::string>{install.file("cd")});
    EXPECT_EQ(window.progress.label, "From the folder");
    EXPECT_EQ(window.progress.bars, (std::vector<int>{5, 20}));
    EXPECT_EQ(dialogs.opened, (std::vector<std::string>{"source", "uninstall"}));
    EXPECT_TRUE(window.commandsEnabled);
    EXPECT_TRUE(sink.messages.empty());
}

TEST_F(MainCommandsTest, InternetSourceOpensTheInstallSelection) {
    dialogs.sources = {{true, install.path()}};
    Run(PackageCommand::Install);
    EXPECT_EQ(fetchedFrom, std::vector<std::string>{"internet"});
    EXPECT_EQ(window.progress.label, "From the Internet");
    EXPECT_TRUE(window.progress.shown) << "the selection dialog closes it after the list";
    EXPECT_EQ(dialogs.opened, (std::vector<std::string>{"source", "install"}));
}

TEST_F(MainCommandsTest, FailedFetchEndsBusyAndShowsText600) {
    fetchWorks = false;
    dialogs.sources = {{true, install.path()}};
    Run(PackageCommand::Install);
    EXPECT_FALSE(window.progress.shown);
    EXPECT_EQ(window.progress.closes, 1);
    EXPECT_TRUE(window.commandsEnabled);
    ASSERT_EQ(sink.messages.size(), 1u);
    EXPECT_EQ(sink.messages[0].text, "Fetch failed");
    EXPECT_EQ(sink.messages[0].icon, ov::MsgIcon::Critical);
    EXPECT_EQ(dialogs.opened, std::vector<std::string>{"source"});
}

TEST_F(MainCommandsTest, TwoTogglesReturnToTheFirstLanguageTitlesIncluded) {
    MainContext c{state, window, dialogs};
    ASSERT_TRUE(ToggleLanguage(c));
    EXPECT_EQ(state.languageSetting(), "Greek.lng");
    EXPECT_EQ(state.texts[1], "Title GR");
    EXPECT_EQ(state.appTitle, "Title GR");
    EXPECT_EQ(state.texts.charset, 161);
    EXPECT_EQ(state.texts[600], "Fetch failed") << "texts the new pack lacks stay";
    state.Message("after the toggle", ov::MsgIcon::Information);
    ASSERT_EQ(sink.messages.size(), 1u);
    EXPECT_EQ(sink.messages[0].title, "Title GR");
    ASSERT_TRUE(ToggleLanguage(c));
    EXPECT_EQ(state.languageSetting(), "English.lng");
    EXPECT_EQ(state.texts[1], "Title EN");
    EXPECT_EQ(state.appTitle, "Title EN");
    EXPECT_EQ(window.captions, 2);
}

TEST_F(MainCommandsTest, ToggleToAMissingPackIsFatal) {
    std::filesystem::remove(install.file("Languages/GR-ZNT.lng"));
    MainContext c{state, window, dialogs};
    EXPECT_FALSE(ToggleLanguage(c));
    ASSERT_EQ(sink.messages.size(), 1u);
    EXPECT_EQ(sink.messages[0].text, kPackErrorText);
    EXPECT_EQ(window.captions, 0);
}

// The user closes the main window while the command waits in the transfer:
// the transfer fails (cancelled) or had just succeeded; either way the
// command ends without a message or a dialog.
TEST_F(MainCommandsTest, ClosingDuringTheFetchEndsTheCommandSilently) {
    for (bool fetched : {false, true}) {
        SCOPED_TRACE(fetched ? "fetch succeeded" : "fetch cancelled");
        AppState closing{LaunchOptions{}, install.file("core/zntr.exe"), sink, store};
        closing.texts = state.texts;
        dialogs.opened.clear();
        dialogs.sources = {{true, install.path()}};
        MainContext c{closing, window, dialogs, [&](AppState& s) {
                          CloseProgram(s);
                          return fetched;
                      }};
        RunPackageCommand(c, PackageCommand::Install);
        EXPECT_TRUE(sink.messages.empty());
        EXPECT_EQ(dialogs.opened, std::vector<std::string>{"source"});
        EXPECT_EQ(RunUpdateMode(c), kExitOk);
        EXPECT_TRUE(sink.messages.empty());
        EXPECT_EQ(dialogs.opened, std::vector<std::string>{"source"});
    }
}

TEST_F(MainCommandsTest, ClosingDuringTheSourceDialogFetchesNothingAndMessagesStop) {
    dialogs.sources = {{true, install.path()}};
    dialogs.duringSource = [this] { CloseProgram(state); };
    Run(PackageCommand::Install);
    EXPECT_TRUE(fetchedFrom.empty());
    EXPECT_EQ(dialogs.opened, std::vector<std::string>{"source"});
    EXPECT_EQ(state.Message("late", ov::MsgIcon::Critical), ov::MsgResult::Ok);
    EXPECT_EQ(state.messages.Show("late?", "t", ov::MsgIcon::Question, ov::MsgButtons::YesNo),
              ov::MsgResult::No)
        << "a question after the close gets its cautious answer";
    EXPECT_EQ(state.messages.InputBox("late", "t"), std::nullopt);
    EXPECT_TRUE(sink.messages.empty());
    EXPECT_TRUE(sink.prompts.empty());
}

// The dialogs reach the core section table through the state: it reads the
// shared pack that start-up indexed after the state was made, on first use.
TEST_F(MainCommandsTest, CoreMessagesComeFromTheIndexedPackWithTheProgramTitle) {
    install.write("languages/ovshared.lng", "[modOVCoreFunctions]\r\n{ENGLISH}\r\n4=Missing.\r\n");
    EXPECT_FALSE(state.coreTexts.attempted());
    state.sharedPack.Build(install.file("languages/ovshared.lng"), "ENGLISH");
    ov::OpenWithShell(install.file("nothing.pdf"), "", state.coreTexts, state.messages);
    ASSERT_EQ(sink.messages.size(), 1u);
    EXPECT_EQ(sink.messages[0].text, "Missing.");
    EXPECT_EQ(sink.messages[0].title, "Title EN") << "an untitled box takes the program title";
}

TEST_F(MainCommandsTest, ClosePathSavesLoadedSettingsOnly) {
    CloseProgram(state);
    EXPECT_FALSE(ReadSetting(store, kShellSection, "P_LanguagePack"))
        << "settings that were never read are not written over the stored ones";
    state.settingsLoaded = true;
    CloseProgram(state);
    EXPECT_EQ(ReadSetting(store, kShellSection, "P_LanguagePack"), "ENGLISH.LNG");
}

TEST_F(MainCommandsTest, AnInstallationWithAKeyRefusesAChangedCatalogueWithText650) {
    const std::string cd = apptest::BuildFolder() + "/demo/cd";
    if (!std::filesystem::exists(cd + "/packages.sha256.minisig")) {
        GTEST_SKIP() << "no signed demo tree";
    }
    install.write("core/zntr.pub",
                  testsupport::ReadFile(testsupport::TestSourceDir() + "/demo/keys/demo-zntr.pub"));
    state.texts.text[kTextCatalogueUntrusted] = "Not trusted";
    std::filesystem::copy(cd, install.file("changed"), std::filesystem::copy_options::recursive);
    install.write("changed/packages.dat", testsupport::ReadFile(cd + "/packages.dat") + " ");
    dialogs.sources = {{false, install.file("changed")}};
    MainContext c{state, window, dialogs};  // the real fetch
    RunPackageCommand(c, PackageCommand::Install);
    ASSERT_EQ(sink.messages.size(), 1u);
    EXPECT_EQ(sink.messages[0].text, "Not trusted");
    EXPECT_FALSE(std::filesystem::exists(install.file("packages.dat")));

    dialogs.sources = {{false, cd}};
    RunPackageCommand(c, PackageCommand::Install);
    EXPECT_EQ(sink.messages.size(), 1u);
    EXPECT_EQ(dialogs.opened.back(), "install");
    EXPECT_TRUE(state.archiveHashes.required);
    EXPECT_FALSE(state.archiveHashes.hexByName.empty());
}

}  // namespace
}  // namespace znt
