// The source dialog driven as a user would: the two choices, the folder
// browser, OK and Cancel, captioned from the shipped packs.

#include "OVShared/Platform/FileSystem.h"
#include "i18n/TextNumbers.h"
#include "install/SourceChoice.h"
#include "ui/qt/frmZNT_Source.h"
#include "support/QtTestApp.h"
#include "support/TestPaths.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>

namespace znt {
namespace {

class SourceDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        testsupport::EnsureQApplication();
        stage = testsupport::TestBinDir() + "/stage";
        if (LoadLanguagePack(texts, stage, "ENGLISH.LNG") != PackLoadResult::Ok) {
            GTEST_SKIP() << "no staged packs";
        }
    }

    frmZNT_Source& Open(std::optional<std::string> browserAnswer = std::nullopt) {
        dialog = std::make_unique<frmZNT_Source>(
            SourceValues{internet, folder, confirmed}, texts, stage, nullptr,
            [this, browserAnswer](QWidget*, const QString& title, const std::string& start) {
                browserTitles.push_back(title.toStdString());
                browserStarts.push_back(start);
                return browserAnswer;
            });
        return *dialog;
    }
    template <typename T>
    T* Control(const char* name) {
        T* control = dialog->findChild<T*>(name);
        EXPECT_NE(control, nullptr) << name;
        return control;
    }
    void Click(const char* name) { Control<QAbstractButton>(name)->click(); }
    bool FolderControlsEnabled() {
        return Control<QWidget>("cmdBrowse")->isEnabled() &&
               Control<QWidget>("lblSource")->isEnabled() &&
               Control<QWidget>("lblDir")->isEnabled();
    }

    std::string stage;
    AppTexts texts;
    bool internet = true;
    std::string folder = "/opt/orvantis";
    bool confirmed = false;
    std::vector<std::string> browserTitles;
    std::vector<std::string> browserStarts;
    std::unique_ptr<frmZNT_Source> dialog;
};

TEST_F(SourceDialogTest, CaptionsComeFromThePackInEitherLanguage) {
    for (const char* setting : {"ENGLISH.LNG", "GREEK.LNG"}) {
        ASSERT_EQ(LoadLanguagePack(texts, stage, setting), PackLoadResult::Ok);
        Open();
        EXPECT_EQ(dialog->windowTitle().toStdString(), texts[kTextSourceTitle]);
        EXPECT_EQ(Control<QGroupBox>("fmSettings")->title().toStdString(), texts[kTextSourceFrame]);
        EXPECT_EQ(Control<QRadioButton>("Option1_0")->text().toStdString(),
                  texts[kTextSourceInternet]);
        EXPECT_EQ(Control<QRadioButton>("Option1_1")->text().toStdString(),
                  texts[kTextSourceFolder]);
        EXPECT_EQ(Control<QLabel>("lblSource")->text().toStdString(),
                  texts[kTextSourceFolderLabel]);
        EXPECT_EQ(Control<QPushButton>("cmdBrowse")->text().toStdString(),
                  texts[kTextSourceBrowse]);
        EXPECT_EQ(Control<QPushButton>("cmdOk")->text().toStdString(), texts[10]);
        EXPECT_EQ(Control<QPushButton>("cmdCancel")->text().toStdString(), texts[11]);
    }
}

TEST_F(SourceDialogTest, ChoiceFollowsTheStateAndGatesTheFolderControls) {
    Open();
    EXPECT_TRUE(Control<QRadioButton>("Option1_0")->isChecked());
    EXPECT_FALSE(FolderControlsEnabled());
    EXPECT_EQ(Control<QLabel>("lblDir")->text().toStdString(), folder);
    Click("Option1_1");
    EXPECT_TRUE(FolderControlsEnabled());
    Click("Option1_0");
    EXPECT_FALSE(FolderControlsEnabled());

    internet = false;
    Open();
    EXPECT_TRUE(Control<QRadioButton>("Option1_1")->isChecked());
    EXPECT_TRUE(FolderControlsEnabled());
}

TEST_F(SourceDialogTest, OkTakesTheBrowsedFolderCompletedWithSetup) {
    Open("/media/cd");
    Click("Option1_1");
    Click("cmdBrowse");
    ASSERT_EQ(browserStarts.size(), 1u);
    EXPECT_EQ(browserStarts[0], "/opt/orvantis");
    EXPECT_EQ(browserTitles[0], texts[kTextSourceFolderLabel]);
    EXPECT_EQ(Control<QLabel>("lblDir")->text().toStdString(), "/media/cd");
    Click("cmdOk");
    EXPECT_TRUE(confirmed);
    EXPECT_FALSE(internet);
    EXPECT_EQ(folder, "/media/cd\\SETUP");
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
}

TEST_F(SourceDialogTest, OkWithTheInternetChoiceStillCompletesTheFolder) {
    folder = "/media/Setup/disk1";
    Open();
    Click("cmdOk");
    EXPECT_TRUE(confirmed);
    EXPECT_TRUE(internet);
    EXPECT_EQ(folder, "/media/Setup/disk1");
}

TEST_F(SourceDialogTest, CancelConfirmsNothingButKeepsABrowsedFolder) {
    Open(std::nullopt);
    Click("Option1_1");
    Click("cmdBrowse");  // the browser is cancelled
    EXPECT_EQ(folder, "/opt/orvantis");
    Open("/media/usb");
    Click("Option1_1");
    Click("cmdBrowse");
    Click("cmdCancel");
    EXPECT_FALSE(confirmed);
    EXPECT_TRUE(internet);
    EXPECT_EQ(folder, "/media/usb");
    EXPECT_EQ(dialog->result(), QDialog::Rejected);
}

}  // namespace
}  // namespace znt
