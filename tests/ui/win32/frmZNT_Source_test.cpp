// The source dialog driven as a user would inside its modal loop: the two
// choices, the folder browser, OK, Cancel, Esc and the close box, captioned
// from the shipped packs.

#include "i18n/TextNumbers.h"
#include "install/SourceChoice.h"
#include "ui/win32/frmZNT_Source.h"
#include "support/TestPaths.h"
#include "support/Win32Timers.h"

#include <gtest/gtest.h>

#include <memory>

namespace znt::win32 {
namespace {

using testsupport::LoopTimer;

class SourceDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        stage = testsupport::TestBinDir() + "/stage";
        if (LoadLanguagePack(texts, stage, "ENGLISH.LNG") != PackLoadResult::Ok) {
            GTEST_SKIP() << "no staged packs";
        }
    }

    frmZNT_Source& Open(std::optional<std::string> browserAnswer = std::nullopt) {
        dialog.reset();
        dialog = std::make_unique<frmZNT_Source>(
            SourceValues{internet, folder, confirmed}, texts, stage, nullptr,
            [this, browserAnswer](HWND owner, const std::string& title, const std::string& start) {
                browserOwners.push_back(owner);
                browserTitles.push_back(title);
                browserStarts.push_back(start);
                return browserAnswer;
            });
        return *dialog;
    }
    // Shows the dialog modally; drive runs inside its loop and must close it.
    void ShowAndDrive(const std::function<void()>& drive) {
        bool shown = false;
        bool leftOpen = false;
        LoopTimer timer(10, [&] {
            shown = IsWindowVisible(dialog->Handle()) != FALSE;
            drive();
        });
        LoopTimer failsafe(3000, [&] {
            leftOpen = true;
            dialog->PressCloseBox();
        });
        dialog->ShowModal();
        EXPECT_TRUE(shown);
        EXPECT_FALSE(leftOpen);
        EXPECT_FALSE(IsWindowVisible(dialog->Handle()));
    }
    bool FolderControlsEnabled() const {
        return dialog->Enabled("cmdBrowse") && dialog->Enabled("lblSource") &&
               dialog->Enabled("lblDir");
    }
    bool Checked(const char* radio) const {
        return SendMessageW(dialog->Control(radio), BM_GETCHECK, 0, 0) == BST_CHECKED;
    }

    std::string stage;
    AppTexts texts;
    bool internet = true;
    std::string folder = "C:\\Orvantis";
    bool confirmed = false;
    std::vector<HWND> browserOwners;
    std::vector<std::string> browserTitles;
    std::vector<std::string> browserStarts;
    std::unique_ptr<frmZNT_Source> dialog;
};

TEST_F(SourceDialogTest, CaptionsComeFromThePackInEitherLanguage) {
    for (const char* setting : {"ENGLISH.LNG", "GREEK.LNG"}) {
        ASSERT_EQ(LoadLanguagePack(texts, stage, setting), PackLoadResult::Ok);
        Open();
        ASSERT_FALSE(texts[kTextSourceTitle].empty());
        EXPECT_EQ(dialog->Caption(), texts[kTextSourceTitle]);
        EXPECT_EQ(dialog->Text("fmSettings"), texts[kTextSourceFrame]);
        EXPECT_EQ(dialog->Text("Option1_0"), texts[kTextSourceInternet]);
        EXPECT_EQ(dialog->Text("Option1_1"), texts[kTextSourceFolder]);
        EXPECT_EQ(dialog->Text("lblSource"), texts[kTextSourceFolderLabel]);
        EXPECT_EQ(dialog->Text("cmdBrowse"), texts[kTextSourceBrowse]);
        EXPECT_EQ(dialog->Text("cmdOk"), texts[kTextOk]);
        EXPECT_EQ(dialog->Text("cmdCancel"), texts[kTextCancel]);
        EXPECT_NE(SendMessageW(dialog->Control("Picture1"), STM_GETIMAGE, IMAGE_BITMAP, 0), 0);
    }
}

TEST_F(SourceDialogTest, ChoiceFollowsTheStateAndGatesTheFolderControls) {
    Open();
    EXPECT_TRUE(Checked("Option1_0"));
    EXPECT_FALSE(Checked("Option1_1"));
    EXPECT_FALSE(FolderControlsEnabled());
    EXPECT_EQ(dialog->Text("lblDir"), folder);
    ShowAndDrive([this] {
        dialog->Click("Option1_1");
        EXPECT_TRUE(Checked("Option1_1"));
        EXPECT_TRUE(FolderControlsEnabled());
        dialog->Click("Option1_0");
        EXPECT_FALSE(Checked("Option1_1"));
        EXPECT_FALSE(FolderControlsEnabled());
        dialog->Click("cmdCancel");
    });

    internet = false;
    Open();
    EXPECT_TRUE(Checked("Option1_1"));
    EXPECT_TRUE(FolderControlsEnabled());
}

TEST_F(SourceDialogTest, OkConfirmsTheChoiceAndCompletesTheFolderOnce) {
    Open("D:\\Packages");
    ShowAndDrive([this] {
        dialog->Click("Option1_1");
        dialog->Click("cmdBrowse");
        EXPECT_EQ(dialog->Text("lblDir"), "D:\\Packages");
        dialog->Click("cmdOk");
    });
    ASSERT_EQ(browserStarts.size(), 1u);
    EXPECT_EQ(browserOwners[0], dialog->Handle());
    EXPECT_EQ(browserTitles[0], texts[kTextSourceFolderLabel]);
    EXPECT_EQ(browserStarts[0], "C:\\Orvantis");
    EXPECT_TRUE(confirmed);
    EXPECT_FALSE(internet);
    EXPECT_EQ(folder, "D:\\Packages\\SETUP");

    // Again with the Internet choice: the folder is already complete.
    Open();
    ShowAndDrive([this] {
        dialog->Click("Option1_0");
        dialog->Click("cmdOk");
    });
    EXPECT_TRUE(internet);
    EXPECT_EQ(folder, "D:\\Packages\\SETUP");
}

TEST_F(SourceDialogTest, CancelEscAndCloseBoxConfirmNothingButKeepABrowsedFolder) {
    Open(std::nullopt);  // the browser is cancelled
    ShowAndDrive([this] {
        dialog->Click("Option1_1");
        dialog->Click("cmdBrowse");
        EXPECT_EQ(dialog->Text("lblDir"), "C:\\Orvantis");
        dialog->Click("cmdCancel");
    });
    EXPECT_EQ(folder, "C:\\Orvantis");

    Open("E:\\");
    ShowAndDrive([this] {
        dialog->Click("Option1_1");
        dialog->Click("cmdBrowse");
        dialog->PressEscape();
    });
    EXPECT_EQ(folder, "E:\\");
    Open();
    ShowAndDrive([this] {
        dialog->Click("Option1_1");
        dialog->PressCloseBox();
    });
    EXPECT_FALSE(confirmed);
    EXPECT_TRUE(internet);
    EXPECT_EQ(folder, "E:\\");
}

}  // namespace
}  // namespace znt::win32
