// The built program started as real processes in a temporary copy of the
// staged installation: the three starts of a self-update, a staged copy that
// cannot run, and the second-instance refusal.

#include "i18n/LanguagePack.h"
#include "support/Env.h"
#include "support/AppFakes.h"
#include "support/ChildProcess.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

using testsupport::ReadFile;
using testsupport::TempDir;

namespace {

constexpr auto kPatience = std::chrono::seconds(60);

// Polls until done() holds or the patience runs out.
bool WaitFor(const std::function<bool()>& done) {
    auto deadline = std::chrono::steady_clock::now() + kPatience;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

// One start of the program with its standard error kept in a file.
class Start {
public:
    Start(const std::string& program, const std::vector<std::string>& args, std::string errFile)
        : errFile_(std::move(errFile)), child_(program, args, errFile_ + ".out", errFile_) {}
    ~Start() { Terminate(); }

    bool Started() const { return child_.Started(); }
    bool Running() { return child_.Running(); }
    // The exit code once the process has ended; -1 when it did not end in time.
    int Wait() { return child_.Wait(kPatience); }
    void Terminate() { child_.Terminate(); }
    std::string Errors() const { return ReadFile(errFile_); }
    bool SaysWindowOpen() const { return Errors().find("main window open") != std::string::npos; }

private:
    std::string errFile_;
    testsupport::ChildProcess child_;
};

class RealStartTest : public ::testing::Test {
protected:
    void SetUp() override {
#ifdef _WIN32
        GTEST_SKIP() << "these starts open the main window: the Windows build has no windows yet";
#endif
        if (!apptest::CopyStagedInstallation(install)) GTEST_SKIP() << "no staged build";
        program = install.file("core/zntr.exe");
        testsupport::SetEnv("ZNT_UNATTENDED", "1");
        testsupport::SetEnv("QT_QPA_PLATFORM", "offscreen");
    }

    std::unique_ptr<Start> Launch(const std::vector<std::string>& args = {}) {
        std::string err = user.home.file("stderr-" + std::to_string(++starts) + ".txt");
        auto start = std::make_unique<Start>(program, args, err);
        EXPECT_TRUE(start->Started());
        return start;
    }

    bool Exists(const std::string& relative) const {
        return std::filesystem::exists(install.file(relative));
    }

    apptest::RedirectedUser user;
    TempDir install;
    std::string program;
    int starts = 0;
};

TEST_F(RealStartTest, SelfUpdateCompletesOverThreeStarts) {
    // A distinguishable new copy: the program with bytes appended.
    const std::string staged = ReadFile(program) + "\nnew build";
    install.write("core/cache/zntr.exe", staged);  // without execute permission, as unzipped

    auto first = Launch();
    EXPECT_EQ(first->Wait(), 0) << first->Errors();
    EXPECT_FALSE(first->SaysWindowOpen());

    // The second start is the staged copy the first one started.
    ASSERT_TRUE(
        WaitFor([&] { return ReadFile(install.file("core/cache/mess.txt")) == "KILL ALL\r\n"; }));
    EXPECT_EQ(ReadFile(program), staged);

    auto third = Launch();
    ASSERT_TRUE(WaitFor([&] { return third->SaysWindowOpen() || !third->Running(); }));
    EXPECT_TRUE(third->Running()) << third->Errors();
    EXPECT_FALSE(Exists("core/cache/zntr.exe"));
    EXPECT_FALSE(Exists("core/cache/mess.txt"));
    EXPECT_TRUE(std::filesystem::is_directory(install.file("core/cache")));
}

TEST_F(RealStartTest, EmptyStagedCopyIsDroppedAndTheWindowOpens) {
    install.write("core/cache/zntr.exe", "");
    std::filesystem::permissions(install.file("core/cache/zntr.exe"),
                                 std::filesystem::perms::owner_all);
    auto start = Launch({"/ENG"});
    ASSERT_TRUE(WaitFor([&] { return start->SaysWindowOpen() || !start->Running(); }));
    EXPECT_TRUE(start->Running()) << start->Errors();
    EXPECT_FALSE(Exists("core/cache/zntr.exe"));
    EXPECT_EQ(ReadFile(program).size(), std::filesystem::file_size(program));
}

TEST_F(RealStartTest, SecondStartIsRefusedWhileTheFirstRuns) {
    znt::AppTexts texts;
    ASSERT_EQ(znt::LoadLanguagePack(texts, install.path(), "ENGLISH.LNG"), znt::PackLoadResult::Ok);

    auto first = Launch({"/ENG"});
    ASSERT_TRUE(WaitFor([&] { return first->SaysWindowOpen() || !first->Running(); }));
    ASSERT_TRUE(first->Running()) << first->Errors();

    auto second = Launch({"/eng"});
    EXPECT_EQ(second->Wait(), 1);
    EXPECT_NE(second->Errors().find(texts[4]), std::string::npos) << second->Errors();
    EXPECT_FALSE(second->SaysWindowOpen());
    EXPECT_TRUE(first->Running()) << "the first copy is not touched";

    // Another installation is another program as far as the lock goes.
    TempDir other;
    ASSERT_TRUE(apptest::CopyStagedInstallation(other));
    program = other.file("core/zntr.exe");
    auto elsewhere = Launch({"/ENG"});
    ASSERT_TRUE(WaitFor([&] { return elsewhere->SaysWindowOpen() || !elsewhere->Running(); }));
    EXPECT_TRUE(elsewhere->Running()) << elsewhere->Errors();
}

}  // namespace
