// The main window and the progress window driven as a user would, over a
// copy of the staged installation with the shipped packs.

#include "app/AppState.h"
#include "ui/qt/MainForm.h"
#include "ui/qt/QtAppDialogs.h"
#include "ui/qt/frmOVProgress.h"
#include "support/AppFakes.h"
#include "support/QtTestApp.h"
#include "support/RecordingMessageSink.h"
#include "support/TempDir.h"
#include "support/TestStore.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDeadlineTimer>
#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

using testsupport::TempDir;

#if defined(__SANITIZE_ADDRESS__)
// fontconfig keeps its configuration until the process ends; that is not a
// leak of ours.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }
#endif

namespace znt {
namespace {

std::string Text(QWidget* w) {
    if (auto* label = qobject_cast<QLabel*>(w)) return label->text().toStdString();
    if (auto* button = qobject_cast<QPushButton*>(w)) return button->text().toStdString();
    if (auto* box = qobject_cast<QGroupBox*>(w)) return box->title().toStdString();
    return "?";
}

class MainFormTest : public ::testing::Test {
protected:
    void SetUp() override {
        testsupport::EnsureQApplication();
        if (!apptest::CopyStagedInstallation(install)) GTEST_SKIP() << "no staged build";
    }

    MainForm& Open(const std::string& commandLine) { return Open(commandLine, dialogs); }
    MainForm& Open(const std::string& commandLine, AppDialogs& with,
                   CatalogueFetch fetch = FetchFromSource) {
        state = std::make_unique<AppState>(ParseLaunchOptions(commandLine),
                                           install.file("core/zntr.exe"), sink, store);
        form = std::make_unique<MainForm>(*state, with, std::move(fetch));
        EXPECT_TRUE(form->Load().showMainWindow);
        form->show();
        return *form;
    }

    AppTexts Pack(const char* setting) const {
        AppTexts texts;
        EXPECT_EQ(LoadLanguagePack(texts, install.path(), setting), PackLoadResult::Ok);
        return texts;
    }

    QWidget* Control(const char* name) { return form->findChild<QWidget*>(name); }

    void ExpectCaptions(const AppTexts& t) {
        EXPECT_EQ(form->windowTitle().toStdString(), t[1] + "...");
        const std::pair<const char*, int> captions[] = {
            {"lblSelect", 20},   {"fmInstall", 24},    {"lblInstall", 25},    {"cmdInstall", 124},
            {"fmUninstall", 26}, {"lblUninstall", 27}, {"cmdUninstall", 125}, {"lblLanguage", 28},
            {"cmdLanguage", 29}, {"cmdOk", 10},        {"cmdCancel", 11}};
        for (const auto& [name, index] : captions) {
            ASSERT_NE(Control(name), nullptr) << name;
            EXPECT_FALSE(t[index].empty()) << "pack text " << index;
            EXPECT_EQ(Text(Control(name)), t[index]) << name;
        }
    }

    std::optional<std::string> SavedLanguage() const {
        return ReadSetting(store, kShellSection, "P_LanguagePack");
    }

    apptest::RedirectedUser user;
    TempDir install;
    TempDir config;
    testsupport::TestStoreLocation storeAt{config};
    ov::RegistryStore store{storeAt.path()};
    testsupport::RecordingMessageSink sink;
    QtAppDialogs dialogs;
    std::unique_ptr<AppState> state;
    std::unique_ptr<MainForm> form;
};

TEST_F(MainFormTest, CaptionsComeFromThePackOfTheStartLanguage) {
    Open("/ENG");
    ExpectCaptions(Pack("ENGLISH.LNG"));
    EXPECT_EQ(Text(Control("cmdLanguage")), "Ελληνικά");
    EXPECT_EQ(form->font().families().value(0), "Verdana");
    EXPECT_EQ(form->font().pointSize(), 8);
    auto* ok = qobject_cast<QPushButton*>(Control("cmdOk"));
    EXPECT_TRUE(ok->isDefault());
    EXPECT_EQ(qobject_cast<QLabel*>(Control("lblLanguage"))->alignment() & Qt::AlignRight,
              Qt::AlignRight);
    EXPECT_FALSE(qobject_cast<QLabel*>(Control("imgInstall"))->pixmap().isNull());
    form.reset();
    state.reset();

    Open("");
    ExpectCaptions(Pack("GREEK.LNG"));
    EXPECT_TRUE(sink.messages.empty());
}

TEST_F(MainFormTest, TwoLanguageTogglesReturnToTheFirstLanguage) {
    Open("");
    auto& progress = static_cast<frmOVProgress&>(form->Progress());
    QTest::mouseClick(Control("cmdLanguage"), Qt::LeftButton);
    EXPECT_EQ(state->languageSetting(), "English.lng");
    ExpectCaptions(Pack("English.lng"));
    EXPECT_EQ(state->appTitle, Pack("English.lng")[1]);
    EXPECT_EQ(progress.windowTitle().toStdString(), Pack("English.lng")[1]);
    QTest::mouseClick(Control("cmdLanguage"), Qt::LeftButton);
    EXPECT_EQ(state->languageSetting(), "Greek.lng");
    ExpectCaptions(Pack("Greek.lng"));
    EXPECT_EQ(progress.windowTitle().toStdString(), Pack("Greek.lng")[1]);
    EXPECT_TRUE(form->isVisible());
}

TEST_F(MainFormTest, EscEndsThroughTheClosePathAndSavesSettings) {
    Open("/ENG");
    QSignalSpy ended(form.get(), &MainForm::programEnded);
    QTest::keyClick(form.get(), Qt::Key_Escape);
    EXPECT_EQ(ended.count(), 1);
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(SavedLanguage(), "ENGLISH.LNG");
    EXPECT_EQ(form->exitCode(), kExitOk);
}

TEST_F(MainFormTest, CancelAndOkEndOnceAndSaveTheToggledLanguage) {
    Open("/ENG");
    QSignalSpy ended(form.get(), &MainForm::programEnded);
    QTest::mouseClick(Control("cmdLanguage"), Qt::LeftButton);
    QTest::mouseClick(Control("cmdCancel"), Qt::LeftButton);
    EXPECT_EQ(ended.count(), 1);
    EXPECT_EQ(SavedLanguage(), "Greek.lng");
    form->close();
    EXPECT_EQ(ended.count(), 1) << "the close path runs once";

    form.reset();
    state.reset();
    Open("/ENG");
    QSignalSpy endedAgain(form.get(), &MainForm::programEnded);
    QTest::mouseClick(Control("cmdOk"), Qt::LeftButton);
    EXPECT_EQ(endedAgain.count(), 1);
    EXPECT_EQ(SavedLanguage(), "ENGLISH.LNG");
}

// The real source dialog opens over the main window; cancelling it gives
// both commands back.
TEST_F(MainFormTest, CancellingTheSourceDialogGivesTheButtonsBack) {
    Open("/ENG");
    for (const char* command : {"cmdInstall", "cmdUninstall"}) {
        std::string dialogName;
        bool buttonsDisabled = false;
        QTimer::singleShot(0, form.get(), [&] {
            QWidget* dialog = QApplication::activeModalWidget();
            ASSERT_NE(dialog, nullptr);
            dialogName = dialog->objectName().toStdString();
            buttonsDisabled = !Control("cmdInstall")->isEnabled();
            dialog->findChild<QPushButton*>("cmdCancel")->click();
        });
        QTest::mouseClick(Control(command), Qt::LeftButton);
        EXPECT_EQ(dialogName, "frmZNT_Source");
        EXPECT_TRUE(buttonsDisabled);
        EXPECT_TRUE(Control("cmdInstall")->isEnabled());
        EXPECT_TRUE(Control("cmdUninstall")->isEnabled());
    }
    EXPECT_TRUE(sink.messages.empty());
    EXPECT_TRUE(form->isVisible());
}

TEST_F(MainFormTest, MissingPackOnToggleEndsTheProgram) {
    Open("/ENG");
    std::filesystem::remove(install.file("Languages/GR-ZNT.lng"));
    QSignalSpy ended(form.get(), &MainForm::programEnded);
    QTest::mouseClick(Control("cmdLanguage"), Qt::LeftButton);
    ASSERT_EQ(sink.messages.size(), 1u);
    EXPECT_EQ(sink.messages[0].text, kPackErrorText);
    EXPECT_EQ(ended.count(), 1);
    EXPECT_EQ(form->exitCode(), kExitFailed);
}

// The user presses the main window's Cancel while Install waits in the
// transfer; the transfer ends as cancelled.
TEST_F(MainFormTest, ClosingDuringAFetchEndsTheCommandWithoutMessagesOrDialogs) {
    apptest::FakeDialogs fake;
    fake.sources = {{true, install.path()}};
    Open("/ENG", fake, [this](AppState&) {
        QTimer::singleShot(0, [this] { QTest::mouseClick(Control("cmdCancel"), Qt::LeftButton); });
        QDeadlineTimer deadline(5000);
        while (form->isVisible() && !deadline.hasExpired()) QCoreApplication::processEvents();
        return false;
    });
    QSignalSpy ended(form.get(), &MainForm::programEnded);
    QTest::mouseClick(Control("cmdInstall"), Qt::LeftButton);
    EXPECT_EQ(ended.count(), 1);
    EXPECT_FALSE(form->isVisible());
    EXPECT_FALSE(static_cast<frmOVProgress&>(form->Progress()).isVisible());
    EXPECT_TRUE(sink.messages.empty());
    EXPECT_EQ(fake.opened, std::vector<std::string>{"source"});
    EXPECT_EQ(SavedLanguage(), "ENGLISH.LNG");
}

TEST_F(MainFormTest, ClosingDuringTheLoadNeverShowsTheWindow) {
    apptest::FakeDialogs fake;
    fake.sources = {{true, install.path()}};
    state = std::make_unique<AppState>(ParseLaunchOptions("SETUP /ENG"),
                                       install.file("core/zntr.exe"), sink, store);
    form = std::make_unique<MainForm>(*state, fake);
    fake.duringSource = [this] { form->close(); };
    QSignalSpy ended(form.get(), &MainForm::programEnded);
    LoadOutcome outcome = form->Load();
    EXPECT_FALSE(outcome.showMainWindow) << "the program has ended; no event loop may start";
    EXPECT_EQ(outcome.exitCode, kExitOk);
    EXPECT_EQ(ended.count(), 1);
    EXPECT_TRUE(sink.messages.empty());
}

class ProgressTest : public MainFormTest {};

TEST_F(ProgressTest, CancelRaisesTheFlagOnceUntilTheWindowLoadsAgain) {
    Open("/ENG");
    auto& progress = static_cast<frmOVProgress&>(form->Progress());
    progress.SetLabel("Fetching");
    progress.Show();
    progress.SetBar(20);
    EXPECT_TRUE(progress.isVisible());
    EXPECT_EQ(progress.findChild<QLabel*>("LabeL")->text(), "Fetching");
    EXPECT_EQ(progress.findChild<QProgressBar*>("ProgressBar")->value(), 20);
    auto* cancel = progress.findChild<QPushButton*>("cmdCancel");
    EXPECT_EQ(cancel->text(), "Cancel");

    EXPECT_FALSE(progress.CancelRequested());
    QTest::mouseClick(cancel, Qt::LeftButton);
    EXPECT_TRUE(progress.CancelRequested());
    EXPECT_FALSE(cancel->isEnabled());

    progress.Close();
    EXPECT_FALSE(progress.isVisible());
    progress.SetLabel("Again");
    EXPECT_FALSE(progress.CancelRequested());
    EXPECT_TRUE(cancel->isEnabled());
}

TEST_F(ProgressTest, GreekStartTakesTheGreekCancelCaption) {
    Open("");
    auto& progress = static_cast<frmOVProgress&>(form->Progress());
    progress.Show();
    EXPECT_EQ(progress.findChild<QPushButton*>("cmdCancel")->text(), "Άκυρο");
    QTest::keyClick(&progress, Qt::Key_Escape);
    EXPECT_TRUE(progress.CancelRequested()) << "Esc asks to cancel like the button";
    EXPECT_TRUE(progress.isVisible()) << "the caller closes the window";
}

}  // namespace
}  // namespace znt
