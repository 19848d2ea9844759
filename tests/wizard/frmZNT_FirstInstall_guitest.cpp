// The first-install wizard driven as a user would, over a copy of the staged
// installation (shipped packs and pictures), the fake main window and
// dialogs, and a loopback update server for the name list.

#include "ui/qt/frmZNT_FirstInstall.h"

#include "OVShared/Modules/modOVCoreFunctions.h"
#include "OVShared/Platform/Yield.h"
#include "app/AppState.h"
#include "app/StartUp.h"
#include "support/AppFakes.h"
#include "support/LoopbackServer.h"
#include "support/QtTestApp.h"
#include "support/RecordingMessageSink.h"
#include "support/TempDir.h"
#include "support/TestStore.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <filesystem>

using testsupport::TempDir;

namespace znt {
namespace {

std::string Caption(QWidget* w) {
    if (auto* label = qobject_cast<QLabel*>(w)) return label->text().toStdString();
    if (auto* button = qobject_cast<QPushButton*>(w)) return button->text().toStdString();
    if (auto* box = qobject_cast<QGroupBox*>(w)) return box->title().toStdString();
    return "?";
}

std::string NameList() {
    std::string list;
    for (int i = 1; i <= 2 * kNameTableSize; ++i) {
        list += std::to_string(i) + "=Product " + std::to_string(i) + "\r\n";
    }
    return list;
}

class FirstInstallWindow : public ::testing::Test {
protected:
    void SetUp() override {
        testsupport::EnsureQApplication();
        if (!apptest::CopyStagedInstallation(install)) GTEST_SKIP() << "no staged build";
        server.Serve("/ovw2010/pnames.txt", NameList());
    }

    // Start-up as far as the launch mode, then the wizard, shown.
    frmZNT_FirstInstall& Open(const std::string& commandLine) {
        state = std::make_unique<AppState>(ParseLaunchOptions(commandLine),
                                           install.file("core/zntr.exe"), sink, store);
        context.reset(new MainContext{*state, window, dialogs, [this](AppState&) {
                                          ++catalogueFetches;
                                          return true;
                                      }});
        EXPECT_TRUE(LoadMainWindow(*context).showMainWindow);
        state->serverBase = server.Url();
        wizard = std::make_unique<frmZNT_FirstInstall>(*context);
        wizard->show();
        return *wizard;
    }

    void OpenAtStep2(const std::string& commandLine) {
        Open(commandLine);
        Click("cmdUpdate");
        ASSERT_EQ(wizard->Step(), 2);
    }

    AppTexts Pack(const char* setting) const {
        AppTexts texts;
        EXPECT_EQ(LoadLanguagePack(texts, install.path(), setting), PackLoadResult::Ok);
        return texts;
    }

    QWidget* Control(const char* name) { return wizard->findChild<QWidget*>(name); }
    void Click(const char* name) { QTest::mouseClick(Control(name), Qt::LeftButton); }
    bool Shown(const char* name) { return Control(name)->isVisible(); }

    void ExpectPage(int step) {
        EXPECT_EQ(wizard->Step(), step);
        EXPECT_EQ(Shown("fmStep1"), step == 1);
        EXPECT_EQ(Shown("fmStep2"), step == 2);
        EXPECT_EQ(Shown("fmStep3"), step == 3);
        EXPECT_EQ(Shown("cmdUpdate"), step != 3);
        EXPECT_TRUE(Control("cmdUpdate")->isEnabled());
        EXPECT_TRUE(Control("cmdClose")->isEnabled());
        EXPECT_TRUE(Control("cmdLanguage")->isEnabled());
    }

    void ExpectCaptions(const AppTexts& t) {
        EXPECT_EQ(wizard->windowTitle().toStdString(), t[700]);
        const std::pair<const char*, int> captions[] = {
            {"fmStep1", 701},   {"lblStep", 702},  {"fmStep2", 712},
            {"lblStep2", 703},  {"fmStep3", 718},  {"lblStep3", 715},
            {"cmdUpdate", 711}, {"cmdClose", 710}, {"cmdLanguage", 29}};
        for (const auto& [name, index] : captions) {
            ASSERT_NE(Control(name), nullptr) << name;
            EXPECT_FALSE(t[index].empty()) << "pack text " << index;
            EXPECT_EQ(Caption(Control(name)), t[index]) << name;
        }
    }

    apptest::RedirectedUser user;
    TempDir install;
    TempDir config;
    testsupport::TestStoreLocation storeAt{config};
    ov::RegistryStore store{storeAt.path()};
    testsupport::RecordingMessageSink sink;
    testsupport::LoopbackServer server;
    apptest::FakeWindow window;
    apptest::FakeDialogs dialogs;
    std::unique_ptr<AppState> state;
    std::unique_ptr<MainContext> context;
    int catalogueFetches = 0;
    std::unique_ptr<frmZNT_FirstInstall> wizard;
};

TEST_F(FirstInstallWindow, NameListFailureShowsTheErrorAndKeepsStepOneUsable) {
    Open("/ENG");
    ExpectPage(1);
    state->serverBase =
        "http://127.0.0.1:" + std::to_string(testsupport::LoopbackServer::UnusedPort());
    Click("cmdUpdate");
    ASSERT_EQ(sink.messages.size(), 1u);
    EXPECT_EQ(sink.messages[0].text, Pack("ENGLISH.LNG")[600]);
    EXPECT_EQ(sink.messages[0].icon, ov::MsgIcon::Critical);
    EXPECT_EQ(window.progress.label, Pack("ENGLISH.LNG")[602]);
    EXPECT_FALSE(window.progress.shown);
    ExpectPage(1);

    state->serverBase = server.Url();
    Click("cmdUpdate");
    ExpectPage(2);
    EXPECT_EQ(window.progress.bars, (std::vector<int>{5, 30, 5, 30}));
    EXPECT_TRUE(ov::FileExists(install.path() + "\\pnames.txt"));
    EXPECT_EQ(sink.messages.size(), 1u);
}

// A folder without packages.dat brings the source dialog back with text 306
// until the user cancels or chooses the Internet; an install dialog that
// closes at once still leads to the last page.
TEST_F(FirstInstallWindow, SourceDialogReturnsUntilCancelledOrInternetThenStepThree) {
    OpenAtStep2("/ENG");
    TempDir empty;
    dialogs.sources = {{false, empty.path()}};
    Click("cmdUpdate");
    ExpectPage(2);
    EXPECT_EQ(catalogueFetches, 0);

    dialogs.sources = {{false, empty.path()}, {true, install.path()}};
    Click("cmdUpdate");
    const std::string expected = Pack("ENGLISH.LNG")[306] + ": " + empty.path();
    ASSERT_EQ(sink.messages.size(), 2u);
    EXPECT_EQ(sink.messages[0].text, expected);
    EXPECT_EQ(sink.messages[1].text, expected);
    EXPECT_EQ(sink.messages[1].icon, ov::MsgIcon::Critical);
    EXPECT_EQ(dialogs.opened,
              (std::vector<std::string>{"source", "source", "source", "source", "install"}));
    EXPECT_EQ(catalogueFetches, 1);
    ExpectPage(3);
    EXPECT_TRUE(qobject_cast<QPushButton*>(Control("cmdClose"))->isDefault());
}

TEST_F(FirstInstallWindow, LanguageSwitchAtStepTwoRecaptionsEverythingAndKeepsTheStep) {
    OpenAtStep2("/ENG");
    ExpectCaptions(Pack("ENGLISH.LNG"));
    EXPECT_EQ(Caption(Control("cmdLanguage")), "Ελληνικά");
    Click("cmdLanguage");
    EXPECT_EQ(state->languageSetting(), "Greek.lng");
    ExpectCaptions(Pack("Greek.lng"));
    EXPECT_EQ(Caption(Control("cmdLanguage")), "English");
    EXPECT_EQ(state->appTitle, Pack("Greek.lng")[1]);
    ExpectPage(2);
    Click("cmdLanguage");
    ExpectCaptions(Pack("English.lng"));
    ExpectPage(2);
    EXPECT_EQ(wizard->font().pointSize(), 8);
    EXPECT_TRUE(sink.messages.empty());
}

// The whole FIRSTINSTALL start: the wizard runs modally inside start-up,
// its Close at step 2 ends the program and nothing is saved.
TEST_F(FirstInstallWindow, CloseAtStepTwoEndsTheStartWithoutSaving) {
    class WizardDialogs : public apptest::FakeDialogs {
    public:
        void ShowFirstInstall(MainContext& c) override {
            frmZNT_FirstInstall wizard(c);
            QTimer::singleShot(0, &wizard, [&] {
                QTest::mouseClick(wizard.findChild<QPushButton*>("cmdUpdate"), Qt::LeftButton);
                stepBeforeClose = wizard.Step();
                QTest::mouseClick(wizard.findChild<QPushButton*>("cmdClose"), Qt::LeftButton);
            });
            wizard.exec();
        }
        int stepBeforeClose = 0;
    } wizardDialogs;
    state =
        std::make_unique<AppState>(ParseLaunchOptions("FIRSTINSTALL /ENG /SERVER=" + server.Url()),
                                   install.file("core/zntr.exe"), sink, store);
    MainContext c{*state, window, wizardDialogs};
    LoadOutcome outcome = LoadMainWindow(c);
    EXPECT_EQ(wizardDialogs.stepBeforeClose, 2);
    EXPECT_FALSE(outcome.showMainWindow);
    EXPECT_EQ(outcome.exitCode, kExitOk);
    EXPECT_TRUE(state->closing);
    EXPECT_FALSE(ReadSetting(store, kShellSection, "P_LanguagePack").has_value());
    EXPECT_TRUE(sink.messages.empty());
}

// Closing the window while the name list is still on its way stops the
// transfer at once; the action shows nothing more.
TEST_F(FirstInstallWindow, ClosingDuringTheNameListFetchStopsItQuietly) {
    testsupport::LoopbackResponse slow;
    slow.body = NameList();
    slow.delay = std::chrono::seconds(20);
    server.Serve("/ovw2010/pnames.txt", slow);
    Open("/ENG");
    ov::SetYieldHook([] { QCoreApplication::processEvents(); });
    QTimer::singleShot(100, wizard.get(), [this] { wizard->close(); });
    QElapsedTimer clock;
    clock.start();
    Click("cmdUpdate");
    ov::SetYieldHook(nullptr);
    EXPECT_LT(clock.elapsed(), 5000);
    EXPECT_FALSE(wizard->isVisible());
    EXPECT_TRUE(state->closing);
    EXPECT_EQ(wizard->Step(), 1);
    EXPECT_TRUE(sink.messages.empty());
}

TEST_F(FirstInstallWindow, UnusablePackOnLanguageSwitchEndsWithAFailure) {
    Open("/ENG");
    std::filesystem::remove(install.file("Languages/GR-ZNT.lng"));
    Click("cmdLanguage");
    ASSERT_EQ(sink.messages.size(), 1u);
    EXPECT_EQ(sink.messages[0].text, kPackErrorText);
    EXPECT_FALSE(wizard->isVisible());
    EXPECT_EQ(state->exitCode, kExitFailed);
}

}  // namespace
}  // namespace znt
