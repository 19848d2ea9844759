// The source dialog driven as a user would: the two choices, the folder
// browser, OK and Cancel, captioned from the shipped packs.

#include "i18n/TextNumbers.h"
#include "support/TestPaths.h"
#include "ui/UiDriver.h"

#include <gtest/gtest.h>

namespace uitest {
namespace {

using namespace znt;

class SourceDialogScenario : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureToolkit();
        stage = testsupport::TestBinDir() + "/stage";
        if (LoadLanguagePack(texts, stage, "ENGLISH.LNG") != PackLoadResult::Ok) {
            GTEST_SKIP() << "no staged packs";
        }
    }

    WindowDriver& Open(std::optional<std::string> browserAnswer = std::nullopt) {
        dialog.reset();
        dialog = OpenSourceDialog(
            SourceValues{internet, folder, confirmed}, texts, stage,
            [this, browserAnswer](const std::string& title, const std::string& start) {
                browserTitles.push_back(title);
                browserStarts.push_back(start);
                return browserAnswer;
            });
        return *dialog;
    }
    bool FolderControlsEnabled() {
        return dialog->Enabled("cmdBrowse") && dialog->Enabled("lblSource") &&
               dialog->Enabled("lblDir");
    }

    std::string stage;
    AppTexts texts;
    bool internet = true;
    std::string folder = "/opt/orvantis";
    bool confirmed = false;
    std::vector<std::string> browserTitles;
    std::vector<std::string> browserStarts;
    std::unique_ptr<WindowDriver> dialog;
};

TEST_F(SourceDialogScenario, CaptionsComeFromThePackInEitherLanguage) {
    for (const char* setting : {"ENGLISH.LNG", "GREEK.LNG"}) {
        ASSERT_EQ(LoadLanguagePack(texts, stage, setting), PackLoadResult::Ok);
        WindowDriver& d = Open();
        EXPECT_EQ(d.Caption(), texts[kTextSourceTitle]);
        EXPECT_EQ(d.Text("fmSettings"), texts[kTextSourceFrame]);
        EXPECT_EQ(d.Text("Option1_0"), texts[kTextSourceInternet]);
        EXPECT_EQ(d.Text("Option1_1"), texts[kTextSourceFolder]);
        EXPECT_EQ(d.Text("lblSource"), texts[kTextSourceFolderLabel]);
        EXPECT_EQ(d.Text("cmdBrowse"), texts[kTextSourceBrowse]);
        EXPECT_EQ(d.Text("cmdOk"), texts[kTextOk]);
        EXPECT_EQ(d.Text("cmdCancel"), texts[kTextCancel]);
    }
}

TEST_F(SourceDialogScenario, ChoiceFollowsTheStateAndGatesTheFolderControls) {
    WindowDriver& d = Open();
    EXPECT_TRUE(d.Checked("Option1_0"));
    EXPECT_FALSE(FolderControlsEnabled());
    EXPECT_EQ(d.Text("lblDir"), folder);
    d.Click("Option1_1");
    EXPECT_TRUE(FolderControlsEnabled());
    d.Click("Option1_0");
    EXPECT_FALSE(FolderControlsEnabled());

    internet = false;
    WindowDriver& local = Open();
    EXPECT_TRUE(local.Checked("Option1_1"));
    EXPECT_TRUE(FolderControlsEnabled());
}

TEST_F(SourceDialogScenario, OkTakesTheBrowsedFolderCompletedWithSetup) {
    WindowDriver& d = Open("/media/cd");
    d.Click("Option1_1");
    d.Click("cmdBrowse");
    ASSERT_EQ(browserStarts.size(), 1u);
    EXPECT_EQ(browserStarts[0], "/opt/orvantis");
    EXPECT_EQ(browserTitles[0], texts[kTextSourceFolderLabel]);
    EXPECT_EQ(d.Text("lblDir"), "/media/cd");
    d.Click("cmdOk");
    EXPECT_TRUE(confirmed);
    EXPECT_FALSE(internet);
    EXPECT_EQ(folder, "/media/cd\\SETUP");
    EXPECT_FALSE(d.IsOpen());
    Open().Click("cmdOk");  // a completed folder is not completed twice
    EXPECT_EQ(folder, "/media/cd\\SETUP");

    // With the server chosen the folder is still completed.
    folder = "/media/Setup/disk1";
    confirmed = false;
    internet = true;
    Open().Click("cmdOk");
    EXPECT_TRUE(confirmed);
    EXPECT_TRUE(internet);
    EXPECT_EQ(folder, "/media/Setup/disk1");
}

TEST_F(SourceDialogScenario, CancelEscapeAndTheCloseBoxConfirmNothingButKeepABrowsedFolder) {
    WindowDriver& d = Open(std::nullopt);
    d.Click("Option1_1");
    d.Click("cmdBrowse");  // the browser is cancelled
    EXPECT_EQ(folder, "/opt/orvantis");
    WindowDriver& again = Open("/media/usb");
    again.Click("Option1_1");
    again.Click("cmdBrowse");
    again.Click("cmdCancel");
    EXPECT_FALSE(confirmed);
    EXPECT_TRUE(internet);
    EXPECT_EQ(folder, "/media/usb");
    EXPECT_FALSE(again.IsOpen());

    WindowDriver& escaped = Open();
    escaped.Click("Option1_1");
    escaped.PressEscape();
    EXPECT_FALSE(escaped.IsOpen());
    WindowDriver& closed = Open();
    closed.Click("Option1_1");
    closed.PressCloseBox();
    EXPECT_FALSE(closed.IsOpen());
    EXPECT_FALSE(confirmed);
    EXPECT_TRUE(internet);
}

}  // namespace
}  // namespace uitest
