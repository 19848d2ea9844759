#include "app/StartUp.h"

#include "OVShared/Platform/FileSystem.h"
#include "OVShared/Platform/InstanceLock.h"
#include "app/AppState.h"
#include "app/StagedUpdate.h"
#include "support/AppFakes.h"
#include "support/RecordingMessageSink.h"
#include "support/TempDir.h"
#include "support/TestStore.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>

using apptest::FakeDialogs;
using apptest::FakeWindow;
using apptest::PackBytes;
using testsupport::ReadFile;
using testsupport::TempDir;

namespace znt {
namespace {

TEST(SharedPack, FollowsTheLanguageSetting) {
    EXPECT_EQ(SharedPackLanguage("english.lng"), "ENGLISH");
    EXPECT_EQ(SharedPackLanguage("Greek.lng"), "GREEK");
}

TEST(StagedCopyRun, IsRunningFromTheInstallationsCoreCacheFolder) {
    EXPECT_TRUE(IsStagedCopyRun("C:\\ovw2010\\core\\cache"));
    EXPECT_TRUE(IsStagedCopyRun("/opt/ovw/CORE/Cache/"));
    EXPECT_TRUE(IsStagedCopyRun("/home/u/.cache/ovw/core\\cache\\"));
    EXPECT_TRUE(IsStagedCopyRun("core/cache"));
    // An installation that merely lives below a folder named like a cache.
    EXPECT_FALSE(IsStagedCopyRun("/home/u/.cache/ovw2010/core"));
    EXPECT_FALSE(IsStagedCopyRun("D:\\MyCacheFiles\\core"));
    EXPECT_FALSE(IsStagedCopyRun("C:\\ovw2010\\core\\cache\\old"));
    EXPECT_FALSE(IsStagedCopyRun("C:\\ovw2010\\notcore\\cache"));
    EXPECT_FALSE(IsStagedCopyRun("cache"));
    EXPECT_FALSE(IsStagedCopyRun(""));
}

// An installation with both packs, a stand-in program file and a settings
// store, all in temporary folders.
class StartUpTest : public ::testing::Test {
protected:
    StartUpTest() {
        install.write("core/zntr.exe", "not run by these tests");
        WritePack("EN", 0, "Live Update");
        WritePack("GR", 161, "Live Update GR");
    }

    void WritePack(const std::string& code, int charset, const std::string& title) {
        install.write("Languages/" + code + "-ZNT.lng",
                      PackBytes(charset, {{1, title},
                                          {4, code + " already running"},
                                          {306, "No catalogue"},
                                          {600, code + " fetch failed"},
                                          {602, "Fetching"},
                                          {614, "Reading"},
                                          {650, code + " not trusted"},
                                          {660, code + " no lock"}}));
    }

    LoadOutcome Load(const std::string& commandLine) {
        state = std::make_unique<AppState>(ParseLaunchOptions(commandLine),
                                           install.file("core/zntr.exe"), sink, store);
        MainContext c{*state, window, dialogs, [this](AppState& s) {
                          ++fetches;
                          s.catalogueUntrusted = fetchUntrusted;
                          return fetchWorks;
                      }};
        return LoadMainWindow(c);
    }

    std::optional<std::string> StoredLanguage() const {
        return ReadSetting(store, kShellSection, "P_LanguagePack");
    }

    apptest::RedirectedUser user;
    TempDir install;
    TempDir config;
    testsupport::TestStoreLocation storeAt{config};
    ov::RegistryStore store{storeAt.path()};
    testsupport::RecordingMessageSink sink;
    FakeWindow window;
    FakeDialogs dialogs;
    bool fetchWorks = true;
    bool fetchUntrusted = false;  // the failed fetch was a refused signature
    int fetches = 0;
    std::unique_ptr<AppState> state;
};

TEST_F(StartUpTest, NormalStartFixesFoldersLanguageAndShowsTheMainWindow) {
    install.write("system/MENU/ZNT.ico", "icon");
    LoadOutcome outcome = Load("/eng");
    EXPECT_TRUE(outcome.showMainWindow);
    EXPECT_TRUE(sink.messages.empty());
    EXPECT_EQ(state->appFolder, install.path());
    EXPECT_TRUE(std::filesystem::is_directory(install.file("core/cache")));
    EXPECT_EQ(state->languageSetting(), "ENGLISH.LNG");
    EXPECT_EQ(state->appTitle, "Live Update");
    EXPECT_TRUE(state->SourceIsInternet);
    EXPECT_EQ(state->SourceFolder, install.path());
    EXPECT_TRUE(state->settingsLoaded);
    EXPECT_EQ(window.captions, 1);
    EXPECT_EQ(window.icon, install.file("system/MENU/ZNT.ico"));
    EXPECT_TRUE(dialogs.opened.empty());
    EXPECT_TRUE(state->instance.held());
}

TEST_F(StartUpTest, StoredLanguageNeverOverridesTheCommandLine) {
    WriteSetting(store, kShellSection, "P_LanguagePack", "ENGLISH.LNG");
    ASSERT_TRUE(Load("").showMainWindow);
    EXPECT_EQ(state->languageSetting(), "GREEK.LNG");
    EXPECT_EQ(state->appTitle, "Live Update GR");
}

TEST_F(StartUpTest, UnusablePackEndsWithoutTouchingStoredSettings) {
    WriteSetting(store, kShellSection, "P_Dir", "C:\\kept");
    std::filesystem::remove(install.file("Languages/GR-ZNT.lng"));
    LoadOutcome outcome = Load("");
    EXPECT_FALSE(outcome.showMainWindow);
    EXPECT_EQ(outcome.exitCode, kExitFailed);
    ASSERT_EQ(sink.messages.size(), 1u);
    EXPECT_EQ(sink.messages[0].text, kPackErrorText);
    EXPECT_EQ(sink.messages[0].title, kPackErrorTitle);
    EXPECT_EQ(sink.messages[0].icon, ov::MsgIcon::Critical);
    EXPECT_EQ(ReadSetting(store, kShellSection, "P_Dir"), "C:\\kept");
    EXPECT_FALSE(StoredLanguage());

    install.write("Languages/GR-ZNT.lng", "161,\"Broken\"\r\n7\r\n");
    EXPECT_FALSE(Load("").showMainWindow) << "a corrupt pack ends the start too";
}

TEST_F(StartUpTest, EmptyTitleIsAPackProblem) {
    install.write("Languages/EN-ZNT.lng", PackBytes(0, {{4, "running"}}));
    LoadOutcome outcome = Load("/ENG");
    EXPECT_FALSE(outcome.showMainWindow);
    ASSERT_EQ(sink.messages.size(), 1u);
    EXPECT_EQ(sink.messages[0].text, kPackProblemText);
    EXPECT_EQ(sink.messages[0].icon, ov::MsgIcon::Critical);
}

TEST_F(StartUpTest, SecondInstanceOfTheSameInstallationIsRefused) {
    ov::InstanceLock first;
    ASSERT_TRUE(first.TryAcquire(install.path()));
    LoadOutcome outcome = Load("/ENG");
    EXPECT_FALSE(outcome.showMainWindow);
    ASSERT_EQ(sink.messages.size(), 1u);
    EXPECT_EQ(sink.messages[0].text, "EN already running");
    EXPECT_EQ(sink.messages[0].icon, ov::MsgIcon::Exclamation);
    EXPECT_TRUE(first.held());

    first.Release();
    sink.messages.clear();
    EXPECT_TRUE(Load("/ENG").showMainWindow);

    // No lock to be had is no reason to run unguarded.
    state.reset();
    sink.messages.clear();
    std::filesystem::remove(install.file("core/zntr.lock"));
    std::filesystem::create_directories(install.file("core/zntr.lock"));
    EXPECT_FALSE(Load("/ENG").showMainWindow);
    ASSERT_EQ(sink.messages.size(), 1u);
    EXPECT_EQ(sink.messages[0].text, "EN no lock");
}

#ifndef _WIN32  // links need a privilege on Windows
TEST_F(StartUpTest, TheCacheIsEmptiedOnlyUnderTheLockAndALinkedCacheIsReplacedNotEmptied) {
    install.write("core/cache/zntr.exe", "new program");
    install.write("core/cache/mess.txt", kMarkerText);
    {
        ov::InstanceLock other;  // another copy at work on the installation
        ASSERT_TRUE(other.TryAcquire(install.path()));
        EXPECT_FALSE(Load("").showMainWindow);
        EXPECT_TRUE(std::filesystem::exists(install.file("core/cache/zntr.exe")));
    }
    state.reset();
    TempDir user;
    user.write("zntr.exe", "the user's");
    user.write("mess.txt", kMarkerText);
    std::filesystem::remove_all(install.file("core/cache"));
    std::filesystem::create_directory_symlink(user.path(), install.file("core/cache"));
    EXPECT_TRUE(Load("").showMainWindow);
    EXPECT_FALSE(std::filesystem::is_symlink(install.file("core/cache")));
    EXPECT_TRUE(std::filesystem::is_directory(install.file("core/cache")));
    EXPECT_EQ(ReadFile(user.file("zntr.exe")), "the user's");
    EXPECT_EQ(ReadFile(user.file("mess.txt")), kMarkerText);
    EXPECT_TRUE(state->instance.held());
}
#endif

TEST_F(StartUpTest, FinishedUpdateEmptiesTheCache) {
    install.write("core/cache/zntr.exe", "new program");
    install.write("core/cache/mess.txt", kMarkerText);
    install.write("core/cache/other.zip", "left over");
    install.write("core/cache/keep/sub.txt", "folders stay");
    EXPECT_TRUE(Load("").showMainWindow);
    EXPECT_FALSE(std::filesystem::exists(install.file("core/cache/zntr.exe")));
    EXPECT_FALSE(std::filesystem::exists(install.file("core/cache/mess.txt")));
    EXPECT_FALSE(std::filesystem::exists(install.file("core/cache/other.zip")));
    EXPECT_TRUE(std::filesystem::exists(install.file("core/cache/keep/sub.txt")));
}

TEST_F(StartUpTest, InterruptedInstallIsFinishedUnderTheLockBeforeTheCacheIsEmptied) {
    install.write("core/cache/zntr.exe", "new program");
    install.write("core/cache/mess.txt", kMarkerText);
    install.write("bin/a.dll", "old a");
    install.write("core/cache/pending/a.dll.zip/a.dll", "new a");
    const std::string cache = install.path() + "\\core\\cache\\";
    ASSERT_TRUE(WriteJournal(cache, {{"pending\\a.dll.zip\\a.dll", "bin\\a.dll"}}));
    {
        // Another copy at work on the installation keeps its journal and cache.
        ov::InstanceLock other;
        ASSERT_TRUE(other.TryAcquire(install.path()));
        EXPECT_FALSE(Load("").showMainWindow);
        EXPECT_EQ(ReadFile(install.file("bin/a.dll")), "old a");
        EXPECT_TRUE(JournalPending(cache));
        EXPECT_TRUE(std::filesystem::exists(install.file("core/cache/mess.txt")));
    }
    EXPECT_TRUE(Load("").showMainWindow);
    EXPECT_EQ(ReadFile(install.file("bin/a.dll")), "new a");
    EXPECT_EQ(state->recovery.placed, std::vector<std::string>{install.path() + "\\bin\\a.dll"});
    EXPECT_TRUE(std::filesystem::is_empty(install.file("core/cache")));
    EXPECT_TRUE(state->instance.held());
    EXPECT_NE(ReadFile(install.file("core/zntr.log")).find("\tRECOVERED\tbin\\a.dll\n"),
              std::string::npos);
}

TEST_F(StartUpTest, StagedCopyThatCannotStartIsDroppedAndTheStartGoesOn) {
    install.write("core/cache/zntr.exe", "");
    EXPECT_EQ(CheckStagedExecutable(install.path()), StagedCheck::Discarded);
    EXPECT_FALSE(std::filesystem::exists(install.file("core/cache/zntr.exe")));

    install.write("core/cache/zntr.exe",
                  "\x7f"
                  "ELF cut short");
    std::filesystem::permissions(install.file("core/cache/zntr.exe"),
                                 std::filesystem::perms::owner_all);
    EXPECT_EQ(CheckStagedExecutable(install.path()), StagedCheck::Discarded) << "damaged";

    install.write("core/cache/zntr.exe", "");
    EXPECT_TRUE(Load("").showMainWindow);
    EXPECT_FALSE(std::filesystem::exists(install.file("core/cache/zntr.exe")));
    EXPECT_EQ(CheckStagedExecutable(install.path()), StagedCheck::NothingStaged);
}

TEST_F(StartUpTest, StagedCopyReplacesTheProgramAndLeavesTheMarker) {
    install.write("core/cache/zntr.exe", "new program");
    ASSERT_EQ(RunStagedCopy(install.file("core/cache"), "zntr", sink), kExitOk);
    EXPECT_EQ(ReadFile(install.file("core/zntr.exe")), "new program");
    EXPECT_EQ(ReadFile(install.file("core/cache/mess.txt")), "KILL ALL\r\n");
    ASSERT_EQ(sink.messages.size(), 1u);
    EXPECT_EQ(sink.messages[0].text, kSelfUpdateNotice);
    EXPECT_EQ(sink.messages[0].icon, ov::MsgIcon::Information);
}

// A copy that fails (nothing readable to copy, a folder that takes no new
// file) leaves the old program runnable and no marker: the next start tries again.
TEST_F(StartUpTest, AFailedStagedCopyKeepsTheOldProgramAndWritesNoMarker) {
    const std::string old = ReadFile(install.file("core/zntr.exe"));
    ASSERT_FALSE(old.empty());
    EXPECT_EQ(RunStagedCopy(install.file("core/cache"), "zntr", sink), kExitFailed);
    std::filesystem::create_directories(install.file("core/cache/zntr.exe"));
    EXPECT_EQ(RunStagedCopy(install.file("core/cache"), "zntr", sink), kExitFailed);
#ifndef _WIN32              // a read-only attribute does not keep files out of a Windows folder
    if (::getuid() != 0) {  // root writes into any folder
        std::filesystem::remove(install.file("core/cache/zntr.exe"));
        install.write("core/cache/zntr.exe", "new program");
        std::filesystem::permissions(install.file("core"), std::filesystem::perms(0555));
        EXPECT_EQ(RunStagedCopy(install.file("core/cache"), "zntr", sink), kExitFailed);
        std::filesystem::permissions(install.file("core"), std::filesystem::perms(0755));
    }
#endif
    EXPECT_EQ(ReadFile(install.file("core/zntr.exe")), old);
    EXPECT_FALSE(std::filesystem::exists(install.file("core/cache/mess.txt")));
    EXPECT_FALSE(std::filesystem::exists(install.file("core/zntr.exe.new")));
}

TEST_F(StartUpTest, LoadFromTheCacheFolderRunsTheStagedCopyAndEnds) {
    install.write("core/cache/zntr.exe", "new program");
    state = std::make_unique<AppState>(LaunchOptions{}, install.file("core/cache/zntr.exe"), sink,
                                       store);
    MainContext c{*state, window, dialogs};
    LoadOutcome outcome = LoadMainWindow(c);
    EXPECT_FALSE(outcome.showMainWindow);
    EXPECT_EQ(outcome.exitCode, kExitOk);
    EXPECT_EQ(ReadFile(install.file("core/zntr.exe")), "new program");
    EXPECT_EQ(window.captions, 0);
    EXPECT_FALSE(StoredLanguage()) << "no settings are saved by the staged copy";
}

TEST_F(StartUpTest, UpdateModeFailureShowsItsReasonSavesAndEnds) {
    fetchWorks = false;
    LoadOutcome outcome = Load("UPDATE /ENG");
    EXPECT_FALSE(outcome.showMainWindow);
    EXPECT_EQ(outcome.exitCode, kExitFailed);
    EXPECT_EQ(fetches, 1);
    EXPECT_EQ(window.progress.label, "Fetching");
    EXPECT_EQ(window.progress.bars, (std::vector<int>{5, 20}));
    EXPECT_FALSE(window.progress.shown);
    EXPECT_TRUE(window.commandsEnabled);
    ASSERT_EQ(sink.messages.size(), 1u);
    EXPECT_EQ(sink.messages[0].text, "EN fetch failed");
    EXPECT_EQ(sink.messages[0].icon, ov::MsgIcon::Critical);
    EXPECT_EQ(StoredLanguage(), "ENGLISH.LNG");
    EXPECT_TRUE(dialogs.opened.empty());

    // A catalogue refused by its signature says so, as the Install command does.
    state.reset();  // lets go of the installation's lock
    fetchUntrusted = true;
    EXPECT_EQ(Load("UPDATE /ENG").exitCode, kExitFailed);
    ASSERT_EQ(sink.messages.size(), 2u);
    EXPECT_EQ(sink.messages[1].text, "EN not trusted");
    EXPECT_EQ(sink.messages[1].icon, ov::MsgIcon::Critical);
}

TEST_F(StartUpTest, UpdateModeOpensTheInstallSelectionThenEnds) {
    LoadOutcome outcome = Load("update");
    EXPECT_FALSE(outcome.showMainWindow);
    EXPECT_EQ(outcome.exitCode, kExitOk);
    EXPECT_EQ(dialogs.opened, std::vector<std::string>{"install"});
    EXPECT_EQ(StoredLanguage(), "GREEK.LNG");
}

TEST_F(StartUpTest, SetupKeepsTheMainWindowAndTheWizardsCloseEndsTheProgram) {
    EXPECT_TRUE(Load("SETUP /ENG").showMainWindow);
    EXPECT_EQ(dialogs.opened, std::vector<std::string>{"source"});
    EXPECT_TRUE(window.commandsEnabled);
    state.reset();

    dialogs.opened.clear();
    LoadOutcome outcome = Load("FIRSTINSTALL");
    EXPECT_FALSE(outcome.showMainWindow);
    EXPECT_EQ(outcome.exitCode, kExitOk);
    EXPECT_EQ(dialogs.opened, std::vector<std::string>{"firstinstall"});
    EXPECT_FALSE(StoredLanguage().has_value()) << "the wizard saves nothing";
}

}  // namespace
}  // namespace znt
