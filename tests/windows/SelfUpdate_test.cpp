// The program's own executable while it runs: an install leaves the new copy
// staged in core\cache\, and the staged copy's start waits, asking for the
// old program to be closed, until it has ended and the copy can be renamed
// over it.

#include "app/MainCommands.h"
#include "app/StagedUpdate.h"
#include "install/InstallRun.h"

#include "WindowsFixture.h"
#include "support/Env.h"

#include <stdexcept>

namespace {

using wintest::RunningProgram;
using SelfUpdateOnWindows = wintest::WindowsInstall;

// Answers every message box; after the given number of "please close"
// notices it ends the old program, as the user would.
class ClosingUser : public testsupport::RecordingMessageSink {
public:
    ClosingUser(RunningProgram& old, int closeAfter) : old_(old), closeAfter_(closeAfter) {}
    ov::MsgResult Show(const std::string& text, const std::string& title, ov::MsgIcon icon,
                       ov::MsgButtons buttons) override {
        if (text == znt::kCloseOldCopyNotice && ++closeNotices == closeAfter_) old_.Stop();
        if (messages.size() > kPatience) throw std::runtime_error("the old program never let go");
        return RecordingMessageSink::Show(text, title, icon, buttons);
    }
    int closeNotices = 0;

private:
    static constexpr size_t kPatience = 200;
    RunningProgram& old_;
    int closeAfter_;
};

}  // namespace

TEST_F(SelfUpdateOnWindows, RunningProgramIsStagedAndItsStagedCopyWaitsUntilItEnds) {
    const std::string own = inst + "\\core\\zntr.exe";
    ASSERT_TRUE(wintest::CopyInto(wintest::Built("znt_test_helper.exe"), own));
    const std::string oldBytes = Read(own);
    RunningProgram old(own, wintest::Backslashes(tmp.path()));
    ASSERT_TRUE(old.started());
    // The new program: another real executable, so that the staged copy could run.
    const std::string newBytes = Read(wintest::Built("znt_fake_autopatch.exe"));
    AddPackage("Orvantis live update", "core\\zntr.exe", newBytes);

    EXPECT_EQ(znt::RunInstall(c), znt::InstallOutcome::Restart);
    EXPECT_TRUE(Reported(znt::InstallEventKind::OwnExecutableStaged, own));
    EXPECT_EQ(Read(own), oldBytes);
    EXPECT_EQ(Read(inst + "\\core\\cache\\zntr.exe"), newBytes);
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0].text, "T609");

    // The staged copy's start, while the old program still runs.
    ClosingUser user(old, 2);
    EXPECT_EQ(znt::RunStagedCopy(inst + "\\core\\cache", "Title", user), znt::kExitOk);
    EXPECT_GE(user.closeNotices, 2);  // refused while it ran, renamed once it had ended
    EXPECT_EQ(user.messages.front().text, znt::kSelfUpdateNotice);
    EXPECT_EQ(Read(own), newBytes);
    EXPECT_FALSE(wintest::PathExists(own + ".new"));
    EXPECT_EQ(Read(inst + "\\core\\cache\\mess.txt"), "KILL ALL\r\n");

    // The start after that finds the marker and empties the cache folder.
    EXPECT_EQ(znt::CheckStagedExecutable(inst), znt::StagedCheck::Completed);
    EXPECT_FALSE(wintest::PathExists(inst + "\\core\\cache\\zntr.exe"));
    EXPECT_FALSE(wintest::PathExists(inst + "\\core\\cache\\mess.txt"));
}

TEST_F(SelfUpdateOnWindows, StagedConsoleProgramWaitsForTheOldOneThenTakesItsPlace) {
    const std::string own = inst + "\\core\\zntr.exe";
    const std::string staged = inst + "\\core\\cache\\zntr.exe";
    ASSERT_TRUE(wintest::CopyInto(wintest::Built("znt_test_helper.exe"), own));
    ASSERT_TRUE(wintest::CopyInto(wintest::Built("..\\stage\\core\\zntr.exe"), staged));
    const std::string oldBytes = Read(own);
    RunningProgram old(own, wintest::Backslashes(tmp.path()));
    ASSERT_TRUE(old.started());

    // The staged copy is the windowed program: its notices go to standard
    // error, answered, as in any headless run of the windows.
    testsupport::ScopedEnv unattended("ZNT_UNATTENDED", "1");
    ov::ChildProcess copy;
    ASSERT_TRUE(copy.Start(std::vector<std::string>{staged}, ov::WindowStyle::Hidden));
    std::this_thread::sleep_for(std::chrono::seconds(2));
    EXPECT_EQ(copy.Poll(), ov::kStillActive) << "the staged copy did not wait";
    EXPECT_EQ(Read(own), oldBytes);

    EXPECT_EQ(old.Stop(), 0);
    EXPECT_EQ(wintest::Finish(copy), znt::kExitOk);
    EXPECT_EQ(Read(own), Read(staged));
    EXPECT_EQ(Read(inst + "\\core\\cache\\mess.txt"), "KILL ALL\r\n");
}
