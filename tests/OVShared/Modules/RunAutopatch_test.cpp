#include "OVShared/Modules/modOVCoreRun.h"

#include "OVShared/Modules/RunnerScript.h"
#include "OVShared/Platform/FileSystem.h"

#include "support/FakeProgram.h"
#include "support/RecordingMessageSink.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <thread>

using ov::CoreSectionTable;
using testsupport::ReadFile;
using testsupport::RecordingMessageSink;
using testsupport::TempDir;
namespace fs = std::filesystem;

namespace {

// A fake patcher: writes its folder and the arguments it received, one per
// line, to args.txt beside itself.
#ifdef _WIN32
std::string WriteFakePatcher(const TempDir& root, const std::string& path) {
    return testsupport::CopyAsFakeProgram(root.file(path));
}
#else
constexpr const char* kFakePatcher =
    "#!/bin/sh\n"
    "{ pwd; for a in \"$@\"; do printf '%s\\n' \"$a\"; done; } > args.txt\n";

std::string WriteFakePatcher(const TempDir& root, const std::string& path) {
    std::string patcher = root.write(path, kFakePatcher);
    ::chmod(patcher.c_str(), 0755);
    return patcher;
}
#endif

std::string Lines(const std::vector<std::string>& lines) {
    std::string text;
    for (const auto& l : lines) text += l + "\n";
    return text;
}

// An installation with the patcher in "<root>/<folder>/" and a shared pack.
struct Installation {
    TempDir root;
    std::string core;
    znt::SharedPackIndex pack;
    CoreSectionTable texts{&pack};
    RecordingMessageSink sink;
    testsupport::FakeProgramRole role{"args.txt"};  // Windows: copies of this program record

    explicit Installation(const std::string& folder = "R&D it's $HOME/core",
                          const std::string& patcherName = "Autopatch.exe") {
        core = root.file(folder);
        WriteFakePatcher(root, folder + "/" + patcherName);
        WritePack("4=The file to run is missing.");
    }
    void WritePack(const std::string& text4) {
        root.write("languages/ovshared.lng",
                   "[modOVCoreFunctions]\r\n{ENGLISH}\r\n" + text4 + "\r\n");
        pack.Build(root.file("languages/ovshared.lng"), "ENGLISH");
    }
    // The updater path as the install pipeline builds it, with "\".
    std::string Updater(const std::string& name = "Autopatch.exe") const {
        return root.path() + "\\" + fs::relative(core, root.path()).string() + "\\" + name;
    }
    void Run(const std::string& arguments) { ov::RunAutopatch(Updater(), arguments, texts, sink); }
};

}  // namespace

#ifndef _WIN32  // Windows writes runner.bat (RunnerScript_test)
TEST(RunAutopatch, WritesTheTwoLineShellRunnerBesideThePatcher) {
    Installation inst;
    inst.Run("-O /x/a.dll -N /c/a.dll -C Pack -L E");
    EXPECT_EQ(ReadFile(inst.core + "/runner.sh"),
              "cd -- '" + inst.root.path() +
                  "/R&D it'\\''s $HOME/core' || exit 1\n"
                  "exec './Autopatch.exe' '-O' '/x/a.dll' '-N' '/c/a.dll' '-C' 'Pack' '-L' 'E'\n");
    EXPECT_TRUE(inst.sink.messages.empty());
}
#endif

TEST(RunAutopatch, ThePatcherReceivesItsWordsExactlyAndWaitsForIt) {
    Installation inst;
    inst.Run(" -O C:\\ovw2010\\bin\\a.dll -N /cache/a.dll  -C Pack -L G");
    EXPECT_EQ(ReadFile(inst.core + "/args.txt"),
              Lines({inst.core, "-O", "C:\\ovw2010\\bin\\a.dll", "-N", "/cache/a.dll", "-C", "Pack",
                     "-L", "G"}));
}

TEST(RunAutopatch, PackageNamesStayTextAndNeverRunAsCommands) {
    Installation inst;
    fs::create_directory(inst.core + "/x");
    std::string name =
        "x & del * $(touch pwned) ; rm -rf x `touch tick` 'q' \"dq\" | >redir %PATH%";
    inst.Run("-C " + name + " -L E");
    EXPECT_EQ(ReadFile(inst.core + "/args.txt"),
              Lines({inst.core, "-C", "x",  "&",      "del",    "*",      "$(touch",
                     "pwned)",  ";",  "rm", "-rf",    "x",      "`touch", "tick`",
                     "'q'",     "dq", "|",  ">redir", "%PATH%", "-L",     "E"}));
    EXPECT_TRUE(fs::exists(inst.core + "/x"));
    EXPECT_FALSE(fs::exists(inst.core + "/pwned"));
    EXPECT_FALSE(fs::exists(inst.core + "/tick"));
    EXPECT_FALSE(fs::exists(inst.core + "/redir"));
}

TEST(RunAutopatch, PathsWithBlanksAndQuotesReachThePatcherAsOneWordEach) {
    Installation inst;
    std::string target = inst.root.path() + "/inst dir/bin/a \"b\" $(touch pwned).dll";
    std::string newFile = inst.root.path() + "/inst dir/core/cache/a.dll";
    inst.Run(ov::AutopatchArguments(target, newFile, "My \"Pack\" 'x", true));
    EXPECT_EQ(ReadFile(inst.core + "/args.txt"), Lines({inst.core, "-O", target, "-N", newFile,
                                                        "-C", "My", "\"Pack\"", "'x", "-L", "E"}));
    EXPECT_FALSE(fs::exists(inst.core + "/pwned"));
}

TEST(RunAutopatch, FindsThePatcherWhateverTheCaseOfItsName) {
    Installation inst("core", "autopatch.EXE");
    inst.Run("-L E");
    EXPECT_EQ(ReadFile(inst.core + "/args.txt"), Lines({inst.core, "-L", "E"}));
}

TEST(RunAutopatch, AlwaysRunsAutopatchWhateverTheUpdaterIsCalled) {
    Installation inst("core");
#ifdef _WIN32
    inst.root.write("core/Other.exe", "not a program");  // fails to start if it is ever run
#else
    std::string other = inst.root.write("core/Other.exe", "#!/bin/sh\ntouch other-ran\n");
    ::chmod(other.c_str(), 0755);
#endif
    ov::RunAutopatch(inst.Updater("Other.exe"), "-L E", inst.texts, inst.sink);
    EXPECT_FALSE(fs::exists(inst.core + "/other-ran"));
    EXPECT_EQ(ReadFile(inst.core + "/args.txt"), Lines({inst.core, "-L", "E"}));
}

TEST(RunAutopatch, AMissingPatcherShowsCoreTextFourAndRunsNothing) {
    Installation inst("core");
    ov::RunAutopatch(inst.Updater("Missing.exe"), "-L E", inst.texts, inst.sink);
    ASSERT_EQ(inst.sink.messages.size(), 1u);
    EXPECT_EQ(inst.sink.messages[0].text, "The file to run is missing.");
    EXPECT_EQ(inst.sink.messages[0].icon, ov::MsgIcon::Critical);
    EXPECT_FALSE(fs::exists(inst.core + "/runner.sh"));
    EXPECT_FALSE(fs::exists(inst.core + "/args.txt"));
}

TEST(RunAutopatch, WithoutTheSectionTheMessageNamesTheMissingFile) {
    Installation inst("core");
    CoreSectionTable noPack(nullptr);
    ov::RunAutopatch(inst.Updater("Missing.exe"), "", noPack, inst.sink);
    ASSERT_EQ(inst.sink.messages.size(), 1u);
    // The path as the system spells it, not the "\" text the pipeline built.
#ifdef _WIN32
    const std::string shown = ov::NativePath(inst.Updater("Missing.exe"));
#else
    const std::string shown = inst.core + "/Missing.exe";
#endif
    EXPECT_EQ(inst.sink.messages[0].text, "File not found: " + shown);
    EXPECT_TRUE(noPack.attempted());
    EXPECT_FALSE(noPack.found());
}

TEST(CoreSectionTable, IsLoadedOnFirstUseOnlyOncePerRun) {
    Installation inst("core");
    EXPECT_FALSE(inst.texts.attempted());
    ov::RunAutopatch(inst.Updater("Missing.exe"), "", inst.texts, inst.sink);
    EXPECT_TRUE(inst.texts.found());
    inst.WritePack("4=Changed text, not read again");
    ov::RunAutopatch(inst.Updater("Missing.exe"), "", inst.texts, inst.sink);
    ASSERT_EQ(inst.sink.messages.size(), 2u);
    EXPECT_EQ(inst.sink.messages[1].text, "The file to run is missing.");
}

TEST(CoreSectionTable, AFailedLoadIsNotRetried) {
    Installation inst("core");
    inst.WritePack("9=no text four here");
    inst.root.write("languages/ovshared.lng", "[other]\r\n{ENGLISH}\r\n4=x\r\n");
    inst.pack.Build(inst.root.file("languages/ovshared.lng"), "ENGLISH");
    inst.texts.EnsureLoaded();
    EXPECT_FALSE(inst.texts.found());
    inst.WritePack("4=Now present");  // the index has it now, the table does not look again
    inst.texts.EnsureLoaded();
    EXPECT_FALSE(inst.texts.found());
    EXPECT_EQ(inst.texts.MissingFileText("/p"), "File not found: /p");
}

TEST(OpenWithShell, StartsAnExistingProgramWithItsParameters) {
    Installation inst("core");
    std::string out = inst.root.file("opened.txt");
#ifdef _WIN32
    std::string prog = testsupport::CopyAsFakeProgram(inst.root.file("Setup.exe"));
    testsupport::FakeProgramRole role(out);
    const std::string expected = "C:\\\n/S\nfast\n";  // started in "C:\"
#else
    std::string prog = inst.root.write("Setup.run", "#!/bin/sh\necho \"$1 $2\" > '" + out + "'\n");
    ::chmod(prog.c_str(), 0755);
    const std::string expected = "/S fast\n";
#endif
    ov::OpenWithShell(prog, "/S  fast", inst.texts, inst.sink);
    for (int i = 0; i < 300 && ReadFile(out).empty(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(ReadFile(out), expected);
    EXPECT_TRUE(inst.sink.messages.empty());
    EXPECT_TRUE(inst.texts.attempted());
}

TEST(OpenWithShell, AMissingFileShowsCoreTextFour) {
    Installation inst("core");
    ov::OpenWithShell(inst.root.file("nothing.pdf"), "", inst.texts, inst.sink);
    ASSERT_EQ(inst.sink.messages.size(), 1u);
    EXPECT_EQ(inst.sink.messages[0].text, "The file to run is missing.");
    EXPECT_EQ(inst.sink.messages[0].icon, ov::MsgIcon::Critical);
}
