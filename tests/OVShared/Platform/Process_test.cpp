#include "OVShared/Platform/Process.h"
#include "OVShared/Platform/ShellOpen.h"

#include "support/Env.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <thread>

#ifdef _WIN32
#include "OVShared/Platform/CommandLine.h"
#include "OVShared/Platform/FileSystem.h"
#endif

using ov::ChildProcess;
using ov::StartDetached;
using ov::WindowStyle;
using testsupport::ReadFile;
using testsupport::TempDir;

namespace {

#ifndef _WIN32
std::string Script(const TempDir& dir, const std::string& name, const std::string& body,
                   mode_t mode = 0755) {
    std::string path = dir.write(name, "#!/bin/sh\n" + body);
    ::chmod(path.c_str(), mode);
    return path;
}
#endif

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

#ifndef _WIN32
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
    std::string prog = Script(dir, "prog",
                              "{ pwd; for a in \"$@\"; do echo \"$a\"; done; } > \"$OUT.part\" && "
                              "mv \"$OUT.part\" \"$OUT\"\n");
    std::string out = dir.file("out.txt");
    testsupport::SetEnv("OUT", out);
    std::filesystem::create_directory(dir.file("work"));
    EXPECT_TRUE(StartDetached({prog, "a b", "$(x)"}, WindowStyle::NormalFocus, dir.file("work")));
    testsupport::UnsetEnv("OUT");
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
    std::string prog = Script(dir, "bin/Prog",
                              "{ pwd; echo \"$#:$1:$2\"; } > '" + out + ".part' && mv '" + out +
                                  ".part' '" + out + "'\n");
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
#else
// Windows has no shell scripts to start: the test program starts itself, and
// $ZNT_PROCESS_CHILD tells the copy what to do: "exit:<n>" ends at once with
// n, "slow-exit:<n>" after 300 ms; "record:<file>" writes its working folder
// and then its arguments to the file, a line each.
namespace {

[[maybe_unused]] const bool kChildRan = [] {
    const char* role = std::getenv("ZNT_PROCESS_CHILD");
    if (!role) return false;
    std::string_view r = role;
    if (r.starts_with("slow-exit:")) std::this_thread::sleep_for(std::chrono::milliseconds(300));
    if (r.starts_with("record:")) {
        std::string text = std::filesystem::current_path().string() + "\n";
        for (const std::string& a : ov::ProgramArguments(0, nullptr)) text += a + "\n";
        ov::WriteFileAtomic(std::string(r.substr(7)), text);
        std::_Exit(0);
    }
    std::_Exit(std::atoi(role + r.find(':') + 1));
}();

std::string Self() { return ov::ExecutablePath(); }

// The recorded working folder is the same folder as expected, and the arguments follow.
void ExpectRecorded(const std::string& out, const std::string& folder, const std::string& args) {
    std::string text = WaitForFile(out);
    size_t end = text.find('\n');
    ASSERT_NE(end, std::string::npos) << text;
    EXPECT_TRUE(std::filesystem::equivalent(text.substr(0, end), folder)) << text;
    EXPECT_EQ(text.substr(end + 1), args);
}

}  // namespace

TEST(ChildProcess, AnswersStillActiveWhileRunningThenTheExitCode) {
    testsupport::ScopedEnv role("ZNT_PROCESS_CHILD", "slow-exit:3");
    ChildProcess child;
    ASSERT_TRUE(child.Start(std::vector<std::string>{Self()}, WindowStyle::Hidden));
    EXPECT_EQ(child.Poll(), ov::kStillActive);
    EXPECT_EQ(PollUntilEnd(child), 3);
    EXPECT_EQ(child.Poll(), 3);  // stays answered
    // An exit code that reads like STILL_ACTIVE still ends the child.
    testsupport::SetEnv("ZNT_PROCESS_CHILD", "exit:259");
    ChildProcess odd;
    ASSERT_TRUE(odd.Start(ov::QuoteArgument(Self()), WindowStyle::Hidden));
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_EQ(PollUntilEnd(odd), 259);
}

TEST(ChildProcess, ACommandThatCannotStartReportsNotStarted) {
    TempDir dir;
    std::string empty = dir.write("empty.exe", "");
    std::string text = dir.write("plain.exe", "exit 0\r\n");
    for (const std::string& cmd :
         {ov::QuoteArgument(dir.file("missing.exe")), ov::QuoteArgument(empty),
          ov::QuoteArgument(text), std::string("no-such-program-xyz")}) {
        ChildProcess child;
        EXPECT_FALSE(child.Start(cmd, WindowStyle::Hidden)) << cmd;
        EXPECT_EQ(child.Poll(), ov::kNotStarted) << cmd;
    }
    ChildProcess none;
    EXPECT_FALSE(none.Start("", WindowStyle::Hidden));
}

TEST(StartDetached, RunsTheProgramWithItsArgumentsAndWorkingFolder) {
    TempDir dir;
    std::string out = dir.file("out.txt");
    std::filesystem::create_directory(dir.file("work"));
    {
        testsupport::ScopedEnv role("ZNT_PROCESS_CHILD", "record:" + out);
        EXPECT_TRUE(StartDetached({Self(), "a b", "$(x)", "say \"hi\"", "tail\\"},
                                  WindowStyle::NormalFocus, dir.file("work")));
    }
    ExpectRecorded(out, dir.file("work"), "a b\n$(x)\nsay \"hi\"\ntail\\\n");
}

TEST(StartDetached, FailsForMissingAndEmptyFilesAndFolders) {
    TempDir dir;
    std::string empty = dir.write("empty.exe", "");
    EXPECT_FALSE(StartDetached({dir.file("missing.exe")}, WindowStyle::NormalFocus));
    EXPECT_FALSE(StartDetached({empty}, WindowStyle::NormalFocus));
    EXPECT_FALSE(StartDetached({dir.path()}, WindowStyle::NormalFocus));
    EXPECT_FALSE(StartDetached({}, WindowStyle::NormalFocus));
}

TEST(ShellOpen, StartsAProgramWithItsParametersInItsWorkingFolder) {
    TempDir dir;
    std::string out = dir.file("out.txt");
    std::filesystem::create_directory(dir.file("work"));
    {
        testsupport::ScopedEnv role("ZNT_PROCESS_CHILD", "record:" + out);
        EXPECT_TRUE(ov::ShellOpen(Self(), "Open", " one  two ", dir.file("work"),
                                  WindowStyle::NormalFocus));
    }
    ExpectRecorded(out, dir.file("work"), "one\ntwo\n");
}
#endif
