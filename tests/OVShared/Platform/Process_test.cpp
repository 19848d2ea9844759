#include "OVShared/Platform/Process.h"
#include "OVShared/Platform/ShellOpen.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <thread>

using ov::ChildProcess;
using ov::StartDetached;
using ov::WindowStyle;
using testsupport::ReadFile;
using testsupport::TempDir;

namespace {

std::string Script(const TempDir& dir, const std::string& name, const std::string& body,
                   mode_t mode = 0755) {
    std::string path = dir.write(name, "#!/bin/sh\n" + body);
    ::chmod(path.c_str(), mode);
    return path;
}

// Waits up to two seconds for a file that a detached program writes.
std::string WaitForFile(const std::string& path) {
    for (int i = 0; i < 1000; ++i) {
        std::string text = ReadFile(path);
        if (!text.empty() && text.back() == '\n') return text;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return ReadFile(path);
}

int PollUntilEnd(ChildProcess& child) {
    int code = ov::kStillActive;
    for (int i = 0; i < 500 && code == ov::kStillActive; ++i) {
        code = child.Poll();
        if (code == ov::kStillActive) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return code;
}

}  // namespace

TEST(ChildProcess, AnswersStillActiveWhileRunningThenTheExitCode) {
    ChildProcess child;
    ASSERT_TRUE(child.Start(R"(/bin/sh -c "sleep 0.3; exit 3")", WindowStyle::Hidden));
    EXPECT_EQ(child.Poll(), ov::kStillActive);
    EXPECT_EQ(PollUntilEnd(child), 3);
    EXPECT_EQ(child.Poll(), 3);  // stays answered
}

TEST(ChildProcess, ASignalEndingTheChildGivesAnExitCodeToo) {
    ChildProcess child;
    ASSERT_TRUE(
        child.Start(std::vector<std::string>{"/bin/sh", "-c", "kill -9 $$"}, WindowStyle::Hidden));
    EXPECT_EQ(PollUntilEnd(child), 128 + 9);
}

TEST(ChildProcess, ACommandThatCannotStartReportsNotStarted) {
    TempDir dir;
    std::string empty = dir.write("empty", "");
    ::chmod(empty.c_str(), 0755);
    std::string plain = Script(dir, "plain", "exit 0\n", 0644);
    for (const std::string& cmd :
         {dir.file("missing"), empty, plain, std::string("no-such-program-xyz")}) {
        ChildProcess child;
        EXPECT_FALSE(child.Start(cmd, WindowStyle::Hidden)) << cmd;
        EXPECT_EQ(child.Poll(), ov::kNotStarted) << cmd;
    }
    ChildProcess none;
    EXPECT_FALSE(none.Start("", WindowStyle::Hidden));
}

TEST(ChildProcess, BackslashPathsAndThePathSearchFindThePrograms) {
    TempDir dir;
    Script(dir, "Core/Tool.sh", "exit 7\n");
    ChildProcess child;
    ASSERT_TRUE(child.Start(dir.path() + "\\core\\TOOL.sh", WindowStyle::Hidden));
    EXPECT_EQ(PollUntilEnd(child), 7);
    ChildProcess fromPath;
    ASSERT_TRUE(fromPath.Start("sh -c \"exit 5\"", WindowStyle::Hidden));
    EXPECT_EQ(PollUntilEnd(fromPath), 5);
}

TEST(StartDetached, RunsTheProgramWithItsArgumentsAndWorkingFolder) {
    TempDir dir;
    std::string prog =
        Script(dir, "prog",
               "{ pwd; for a in \"$@\"; do echo \"$a\"; done; } > \"$OUT.part\" && "
               "mv \"$OUT.part\" \"$OUT\"\n");
    std::string out = dir.file("out.txt");
    ::setenv("OUT", out.c_str(), 1);
    std::filesystem::create_directory(dir.file("work"));
    EXPECT_TRUE(StartDetached({prog, "a b", "$(x)"}, WindowStyle::NormalFocus, dir.file("work")));
    ::unsetenv("OUT");
    EXPECT_EQ(WaitForFile(out), dir.file("work") + "\na b\n$(x)\n");
}

TEST(StartDetached, FailsForMissingEmptyAndNonExecutableFiles) {
    TempDir dir;
    std::string empty = dir.write("empty", "");
    ::chmod(empty.c_str(), 0755);
    std::string plain = Script(dir, "plain", "exit 0\n", 0644);
    std::string noShebang = dir.write("noshebang", "true\n");
    ::chmod(noShebang.c_str(), 0755);
    EXPECT_FALSE(StartDetached({dir.file("missing")}, WindowStyle::NormalFocus));
    EXPECT_FALSE(StartDetached({empty}, WindowStyle::NormalFocus));
    EXPECT_FALSE(StartDetached({plain}, WindowStyle::NormalFocus));
    EXPECT_FALSE(StartDetached({noShebang}, WindowStyle::NormalFocus));
    EXPECT_FALSE(StartDetached({dir.path()}, WindowStyle::NormalFocus));
    EXPECT_FALSE(StartDetached({}, WindowStyle::NormalFocus));
}

TEST(ShellOpen, StartsAnExecutableFileWithParametersSplitAtBlanks) {
    TempDir dir;
    std::string out = dir.file("out.txt");
    std::string prog = Script(dir, "bin/Prog", "{ pwd; echo \"$#:$1:$2\"; } > '" + out +
                                                   ".part' && mv '" + out + ".part' '" + out + "'\n");
    std::filesystem::create_directory(dir.file("work"));
    EXPECT_TRUE(ov::ShellOpen(dir.path() + "\\BIN\\prog", "Open", " one  two ", dir.file("work"),
                              WindowStyle::NormalFocus));
    EXPECT_EQ(WaitForFile(out), dir.file("work") + "\n2:one:two\n");
}

TEST(ShellOpen, AMissingWorkingFolderKeepsTheCurrentOne) {
    TempDir dir;
    std::string out = dir.file("out.txt");
    std::string prog = Script(dir, "prog", "pwd > '" + out + "'\n");
    EXPECT_TRUE(ov::ShellOpen(prog, "Open", "", "C:\\", WindowStyle::NormalFocus));
    EXPECT_EQ(WaitForFile(out), std::filesystem::current_path().string() + "\n");
}
