// A file in use cannot be replaced on Windows: the install run hands it to
// the patcher through core\runner.bat, which a fake AUTOPATCH.EXE answers by
// recording the words it received.

#include "OVShared/Modules/modOVCoreRun.h"
#include "install/InstallRun.h"

#include "WindowsFixture.h"

#include <sstream>

namespace {

using wintest::WindowsInstall;
using znt::InstallEventKind;

// Holds a file open for reading, sharing reads only: no one may write,
// rename over or delete it while this lives.
class HeldOpen {
public:
    explicit HeldOpen(const std::string& path)
        : handle_(CreateFileW(ov::Widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)) {}
    ~HeldOpen() {
        if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    }
    HeldOpen(const HeldOpen&) = delete;
    HeldOpen& operator=(const HeldOpen&) = delete;
    bool held() const { return handle_ != INVALID_HANDLE_VALUE; }

private:
    HANDLE handle_;
};

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

class PatcherOnWindows : public WindowsInstall {
protected:
    PatcherOnWindows() {
        c.patcher = znt::AutopatchRunner(coreTexts, messages);
        CreateDirectoryW(ov::Widen(inst + "\\bin").c_str(), nullptr);
        Write(inst + "\\bin\\a.dll", "old a");
    }
    ov::CoreSectionTable coreTexts{nullptr};
};

}  // namespace

TEST_F(PatcherOnWindows, FileHeldOpenGoesThroughRunnerBatToThePatcherWithItsWords) {
    ASSERT_TRUE(wintest::CopyInto(wintest::Built("znt_fake_autopatch.exe"),
                                  inst + "\\core\\Autopatch.exe"));
    // Batch metacharacters in the catalogue's name must reach the patcher as text.
    AddPackage("Beam & \"Co\" 100% <x>|y^z", "bin\\a.dll", "new a, longer");
    HeldOpen held(inst + "\\bin\\a.dll");
    ASSERT_TRUE(held.held());

    EXPECT_EQ(znt::RunInstall(c), znt::InstallOutcome::Finished);

    const std::string target = inst + "\\bin\\a.dll";
    const std::string newFile = inst + "\\core\\cache\\a.dll";
    EXPECT_TRUE(Reported(InstallEventKind::FileToPatcher, target));
    EXPECT_EQ(Read(target), "old a");
    EXPECT_EQ(Read(newFile), "new a, longer");  // left for the patcher
    EXPECT_EQ(Read(inst + "\\core\\runner.bat"),
              "CD " + inst +
                  "\\core\r\n"
                  "AUTOPATCH.EXE -O \"" +
                  target + "\" -N \"" + newFile +
                  "\" -C Beam ^& \"\\\"Co\\\"\" 100%% ^<x^>^|y^^z -L E\r\n");
    const auto record = Lines(Read(inst + "\\core\\autopatch-args.txt"));
    ASSERT_FALSE(record.empty()) << "the patcher did not run";
    EXPECT_TRUE(CompareStringOrdinal(ov::Widen(record[0]).c_str(), -1,
                                     ov::Widen(inst + "\\core").c_str(), -1, TRUE) == CSTR_EQUAL)
        << "started in " << record[0];
    EXPECT_EQ(std::vector<std::string>(record.begin() + 1, record.end()),
              (std::vector<std::string>{"-O", target, "-N", newFile, "-C", "Beam", "&", "\"Co\"",
                                        "100%", "<x>|y^z", "-L", "E"}));
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0].text, "T612");
}

TEST_F(PatcherOnWindows, FileNoLongerHeldIsReplacedWithoutThePatcher) {
    ASSERT_TRUE(wintest::CopyInto(wintest::Built("znt_fake_autopatch.exe"),
                                  inst + "\\core\\Autopatch.exe"));
    AddPackage("Beam", "bin\\a.dll", "new a, longer");
    { HeldOpen released(inst + "\\bin\\a.dll"); }

    EXPECT_EQ(znt::RunInstall(c), znt::InstallOutcome::Finished);

    EXPECT_EQ(Read(inst + "\\bin\\a.dll"), "new a, longer");
    EXPECT_TRUE(Reported(InstallEventKind::FilePlaced, inst + "\\bin\\a.dll"));
    EXPECT_FALSE(wintest::PathExists(inst + "\\core\\runner.bat"));
    EXPECT_FALSE(wintest::PathExists(inst + "\\core\\autopatch-args.txt"));
}
