// The window driver of the end-to-end runs (tests/windows/helpers), started
// as its own process against a window of this one: it finds the window by
// its title and controls by caption or class and place, presses buttons
// and options, selects a list, closes, and fails clearly on what is not
// there.

#include "ui/win32/Win32Form.h"

#include "support/ChildProcess.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace znt::win32 {
namespace {

const std::string kTitle = "Δοκιμή οδηγού";

class DriverTarget : public Form {
public:
    DriverTarget() : Form("frmDriverTarget") {
        Create(nullptr, 320, 220);
        AddLabel("lblState", 8, 8, 300, 20);
        AddButton("cmdGo", 8, 36, 100, 26);
        AddRadio("optA", 8, 70, 100, 20, true);
        AddRadio("optB", 120, 70, 100, 20, false);
        AddListBox("List1", 8, 100, 200, 80, LBS_EXTENDEDSEL);
        AddButton("cmdHidden", 220, 36, 90, 26);
        SetCaption(kTitle);
        SetText("lblState", "Έτοιμο");
        SetText("cmdGo", "&Ενέργεια");
        SetText("optA", "Alpha");
        SetText("optB", "Beta");
        SetText("cmdHidden", "Hidden");
        SetVisible("cmdHidden", false);
        for (const wchar_t* row : {L"one", L"two", L"three"}) {
            SendMessageW(Control("List1"), LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(row));
        }
    }
    void OnClick(const std::string& control) override {
        if (control == "cmdGo") SetText("lblState", "Πατήθηκε");
    }
    void OnListChange(const std::string&) override { ++listChanges; }
    int listChanges = 0;
};

struct DriverRun {
    int status = -1;
    std::string out;
    std::string err;
};

std::string DriverPath() {
    wchar_t self[MAX_PATH * 2] = {};
    std::wstring path(self, GetModuleFileNameW(nullptr, self, MAX_PATH * 2));
    return Utf8(path.substr(0, path.find_last_of(L'\\') + 1)) + "window_driver.exe";
}

// Each command in turn, as its own process; what each answered.
std::vector<DriverRun> Drive(const std::vector<std::vector<std::string>>& commands,
                             const testsupport::TempDir& dir) {
    std::vector<DriverRun> runs(commands.size());
    for (size_t i = 0; i < commands.size(); ++i) {
        DriverRun& run = runs[i];
        testsupport::ChildProcess driver(DriverPath(), commands[i], dir.file("out.txt"),
                                         dir.file("err.txt"));
        run.status = driver.Wait(std::chrono::seconds(60));
        run.out = testsupport::ReadFile(dir.file("out.txt"));
        run.err = testsupport::ReadFile(dir.file("err.txt"));
    }
    return runs;
}

TEST(WindowDriver, DrivesAnotherProcesssWindowByTitleAndCaptionAndFailsOnWhatIsMissing) {
    DriverTarget target;
    testsupport::TempDir dir;
    const std::vector<std::vector<std::string>> commands{
        {"wait-window", kTitle, "20"},
        {"text", "Δοκιμή*"},
        {"click", kTitle, "Ενέργεια"},
        {"wait-text", kTitle, "Πατήθηκε", "10"},
        {"click", kTitle, "[Button:3]"},
        {"select-all-list", kTitle},
        {"click", kTitle, "Hidden", "1"},
        {"wait-window", "No such window", "1"},
        {"close", kTitle},
    };
    std::vector<DriverRun> runs;
    std::thread driving([&] {
        runs = Drive(commands, dir);
        // Whatever happened, the modal run below must end.
        if (IsWindowVisible(target.Handle())) PostMessageW(target.Handle(), WM_CLOSE, 0, 0);
    });
    target.RunModal();
    driving.join();

    ASSERT_EQ(runs.size(), commands.size());
    for (size_t i = 0; i < runs.size(); ++i) {
        const bool missing = i == 6 || i == 7;
        EXPECT_EQ(runs[i].status, missing ? 1 : 0)
            << commands[i][0] << " " << commands[i].back() << ": " << runs[i].err;
    }
    EXPECT_EQ(runs[1].out.rfind(kTitle + "\n", 0), 0u) << runs[1].out;
    EXPECT_NE(runs[1].out.find("Button\t&Ενέργεια\n"), std::string::npos) << runs[1].out;
    EXPECT_NE(runs[1].out.find("Static\tΈτοιμο\n"), std::string::npos) << runs[1].out;
    EXPECT_EQ(runs[1].out.find("Hidden"), std::string::npos) << runs[1].out;
    EXPECT_NE(runs[6].err.find("no control \"Hidden\""), std::string::npos) << runs[6].err;
    EXPECT_NE(runs[7].err.find("No such window"), std::string::npos) << runs[7].err;

    EXPECT_EQ(target.Text("lblState"), "Πατήθηκε");
    EXPECT_EQ(SendMessageW(target.Control("optB"), BM_GETCHECK, 0, 0), BST_CHECKED);
    EXPECT_EQ(SendMessageW(target.Control("List1"), LB_GETSELCOUNT, 0, 0), 3);
    EXPECT_GE(target.listChanges, 1);
    EXPECT_FALSE(IsWindowVisible(target.Handle()));
}

}  // namespace
}  // namespace znt::win32
