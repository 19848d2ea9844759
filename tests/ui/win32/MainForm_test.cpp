// The Win32 main window and progress window driven as a user would, over a
// copy of the staged installation with the shipped packs.

#include "ui/win32/MainForm.h"

#include "app/AppState.h"
#include "i18n/TextNumbers.h"
#include "support/AppFakes.h"
#include "support/RecordingMessageSink.h"
#include "support/TempDir.h"
#include "support/TestStore.h"
#include "ui/win32/Driving.h"
#include "ui/win32/frmOVProgress.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <functional>
#include <memory>

using testsupport::TempDir;
using win32test::WhenShown;

namespace znt::win32 {
namespace {

class MainFormTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!apptest::CopyStagedInstallation(install)) GTEST_SKIP() << "no staged build";
    }

    MainForm& Open(const std::string& commandLine) { return Open(commandLine, dialogs); }
    MainForm& Open(const std::string& commandLine, AppDialogs& with,
                   CatalogueFetch fetch = FetchFromSource) {
        form.reset();
        state.reset();  // its instance lock too
        state = std::make_unique<AppState>(ParseLaunchOptions(commandLine),
                                           install.file("core/zntr.exe"), sink, store);
        form = std::make_unique<MainForm>(*state, with, std::move(fetch));
        EXPECT_TRUE(form->Load().showMainWindow);
        form->Show();
        return *form;
    }

    // Runs the main loop until the window ends the program; a loop that
    // has not ended after 10 s fails the test (and is ended).
    int RunUntilEnded() {
        static bool timedOut;
        timedOut = false;
        static MainForm* running;
        running = form.get();
        UINT_PTR watchdog = SetTimer(nullptr, 0, 10000, [](HWND, UINT, UINT_PTR id, DWORD) {
            KillTimer(nullptr, id);
            timedOut = true;
            running->PressCloseBox();
        });
        int code = form->Run();
        KillTimer(nullptr, watchdog);
        EXPECT_FALSE(timedOut) << "the main loop did not end";
        return code;
    }

    AppTexts Pack(const char* setting) const {
        AppTexts texts;
        EXPECT_EQ(LoadLanguagePack(texts, install.path(), setting), PackLoadResult::Ok);
        return texts;
    }

    void ExpectCaptions(const AppTexts& t) {
        EXPECT_EQ(form->Caption(), t[kTextTitle] + "...");
        const std::pair<const char*, int> captions[] = {
            {"lblSelect", 20},   {"fmInstall", 24},    {"lblInstall", 25},    {"cmdInstall", 124},
            {"fmUninstall", 26}, {"lblUninstall", 27}, {"cmdUninstall", 125}, {"lblLanguage", 28},
            {"cmdLanguage", 29}, {"cmdOk", 10},        {"cmdCancel", 11}};
        for (const auto& [name, index] : captions) {
            ASSERT_NE(form->Control(name), nullptr) << name;
            EXPECT_FALSE(t[index].empty()) << "pack text " << index;
            EXPECT_EQ(form->Text(name), t[index]) << name;
        }
    }

    // The pack font everywhere but on the language controls; nothing clipped.
    void ExpectFontsAndRoom(int charset) {
        for (const char* name : {"lblSelect", "lblInstall", "cmdInstall", "cmdOk", "cmdCancel"}) {
            EXPECT_EQ(win32test::FontOf(form->Control(name)).lfCharSet, charset) << name;
        }
        EXPECT_GE(win32test::FontOf(form->Control("lblSelect")).lfWeight, FW_BOLD);
        EXPECT_LT(win32test::FontOf(form->Control("lblInstall")).lfWeight, FW_BOLD);
        for (const char* name : {"lblLanguage", "cmdLanguage"}) {
            EXPECT_EQ(win32test::FontOf(form->Control(name)).lfCharSet, kLanguageControlCharset);
        }
        for (const char* name : {"lblSelect", "lblInstall", "lblUninstall"}) {
            EXPECT_TRUE(win32test::TextFits(form->Control(name), true, 0)) << name;
        }
        EXPECT_TRUE(win32test::TextFits(form->Control("lblLanguage"), false, 0));
        for (const char* name : {"cmdInstall", "cmdUninstall", "cmdLanguage", "cmdOk", "cmdCancel",
                                 "fmInstall", "fmUninstall"}) {
            EXPECT_TRUE(win32test::TextFits(form->Control(name), false, 6)) << name;
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
    apptest::FakeDialogs dialogs;
    std::unique_ptr<AppState> state;
    std::unique_ptr<MainForm> form;
};

TEST_F(MainFormTest, CaptionsAndFontsComeFromThePackOfTheStartLanguageAndFit) {
    Open("/ENG");
    ExpectCaptions(Pack("ENGLISH.LNG"));
    EXPECT_EQ(form->Text("cmdLanguage"), "Ελληνικά");
    ExpectFontsAndRoom(0);
    EXPECT_EQ(std::wstring(win32test::FontOf(form->Control("cmdOk")).lfFaceName), L"Verdana");
    EXPECT_NE(SendMessageW(form->Control("imgInstall"), STM_GETIMAGE, IMAGE_BITMAP, 0), 0);
    EXPECT_NE(SendMessageW(form->Control("imgUninstall"), STM_GETIMAGE, IMAGE_BITMAP, 0), 0);
    EXPECT_EQ(GetWindowLongW(form->Control("lblLanguage"), GWL_STYLE) & SS_TYPEMASK, SS_RIGHT);
    // Inside a frame, beside its picture, the form's own colour shows.
    UpdateWindow(form->Handle());
    HDC dc = GetDC(form->Handle());
    RECT frame{};
    GetWindowRect(form->Control("fmInstall"), &frame);
    MapWindowPoints(nullptr, form->Handle(), reinterpret_cast<POINT*>(&frame), 2);
    EXPECT_EQ(GetPixel(dc, frame.left + Scaled(6), (frame.top + frame.bottom) / 2),
              GetSysColor(COLOR_BTNFACE));
    ReleaseDC(form->Handle(), dc);
    // A window of its own: a taskbar button and a minimize box, no owner.
    EXPECT_EQ(GetWindow(form->Handle(), GW_OWNER), nullptr);
    EXPECT_TRUE(GetWindowLongW(form->Handle(), GWL_EXSTYLE) & WS_EX_APPWINDOW);
    EXPECT_TRUE(GetWindowLongW(form->Handle(), GWL_STYLE) & WS_MINIMIZEBOX);

    Open("");
    ExpectCaptions(Pack("GREEK.LNG"));
    ExpectFontsAndRoom(161);
    EXPECT_TRUE(sink.messages.empty());
}

TEST_F(MainFormTest, TwoLanguageTogglesReturnToTheFirstLanguageWithTheirFonts) {
    Open("");
    auto& progress = static_cast<frmOVProgress&>(form->Progress());
    form->Click("cmdLanguage");
    EXPECT_EQ(state->languageSetting(), "English.lng");
    ExpectCaptions(Pack("English.lng"));
    ExpectFontsAndRoom(0);
    EXPECT_EQ(state->appTitle, Pack("English.lng")[kTextTitle]);
    EXPECT_EQ(progress.Caption(), Pack("English.lng")[kTextTitle]);
    form->Click("cmdLanguage");
    EXPECT_EQ(state->languageSetting(), "Greek.lng");
    ExpectCaptions(Pack("Greek.lng"));
    ExpectFontsAndRoom(161);
    EXPECT_EQ(progress.Caption(), Pack("Greek.lng")[kTextTitle]);
    EXPECT_TRUE(IsWindowVisible(form->Handle()));
    EXPECT_FALSE(form->Ended());
}

// Esc and Enter go through the loop's keyboard rule as typed keys.
TEST_F(MainFormTest, EveryWayOutRunsTheClosePathOnceAndEndsTheMessageLoop) {
    const std::pair<const char*, std::function<void(MainForm&)>> ways[] = {
        {"Esc", [](MainForm& f) { win32test::PostKey(f.Handle(), VK_ESCAPE); }},
        {"Enter (OK is the default)",
         [](MainForm& f) { win32test::PostKey(f.Handle(), VK_RETURN); }},
        {"close box", [](MainForm& f) { f.PressCloseBox(); }},
        {"OK", [](MainForm& f) { f.Click("cmdOk"); }},
        {"Cancel", [](MainForm& f) { f.Click("cmdCancel"); }},
        {"a request to quit", [](MainForm&) { PostQuitMessage(0); }},
    };
    for (const auto& [way, press] : ways) {
        SCOPED_TRACE(way);
        Open("/ENG");
        WhenShown([&, press = press] {
            form->Click("cmdLanguage");
            press(*form);
        });
        EXPECT_EQ(RunUntilEnded(), kExitOk);
        EXPECT_TRUE(form->Ended());
        EXPECT_FALSE(IsWindowVisible(form->Handle()));
        EXPECT_EQ(SavedLanguage(), "Greek.lng") << "the toggled language is saved";

        // Later ways out find the program ended: nothing is saved again.
        state->languageSetting() = "ENGLISH.LNG";
        for (const auto& [other, pressAgain] : ways) pressAgain(*form);
        PumpMessages();
        EXPECT_EQ(SavedLanguage(), "Greek.lng");
        EXPECT_EQ(form->Run(), kExitOk) << "an ended loop returns at once";
        MSG quit;
        while (PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
        }
    }
    EXPECT_TRUE(sink.messages.empty());
}

TEST_F(MainFormTest, MissingPackOnToggleEndsTheProgramWithAFailure) {
    Open("/ENG");
    std::filesystem::remove(install.file("Languages/GR-ZNT.lng"));
    WhenShown([&] { form->Click("cmdLanguage"); });
    EXPECT_EQ(RunUntilEnded(), kExitFailed);
    ASSERT_EQ(sink.messages.size(), 1u);
    EXPECT_EQ(sink.messages[0].text, kPackErrorText);
}

// Both commands are disabled while the source dialog is open and come back
// when it is cancelled; the close path taken while a fetch waits ends the
// command and the main loop without a message.
TEST_F(MainFormTest, CommandsWaitForTheirDialogAndClosingDuringAFetchEndsQuietly) {
    Open("/ENG");
    dialogs.commandsEnabled = [this] { return form->Enabled("cmdInstall"); };
    for (const char* command : {"cmdInstall", "cmdUninstall"}) {
        form->Click(command);
        EXPECT_TRUE(form->Enabled("cmdInstall") && form->Enabled("cmdUninstall")) << command;
    }
    EXPECT_EQ(dialogs.opened, (std::vector<std::string>{"source", "source"}));
    EXPECT_EQ(dialogs.enabledDuringSource, (std::vector<bool>{false, false}));

    apptest::FakeDialogs fake;
    fake.sources = {{true, install.path()}};
    bool progressShown = false;
    Open("/ENG", fake, [&](AppState&) {
        progressShown = IsWindowVisible(static_cast<frmOVProgress&>(form->Progress()).Handle());
        form->Click("cmdCancel");
        return false;
    });
    WhenShown([&] { form->Click("cmdInstall"); });
    EXPECT_EQ(RunUntilEnded(), kExitOk);
    EXPECT_TRUE(progressShown);
    EXPECT_FALSE(IsWindowVisible(static_cast<frmOVProgress&>(form->Progress()).Handle()));
    EXPECT_TRUE(sink.messages.empty());
    EXPECT_EQ(fake.opened, std::vector<std::string>{"source"});
    EXPECT_EQ(SavedLanguage(), "ENGLISH.LNG");
}

class ProgressTest : public MainFormTest {};

TEST_F(ProgressTest, CancelRaisesTheFlagOnceUntilTheWindowLoadsAgain) {
    Open("/ENG");
    auto& progress = static_cast<frmOVProgress&>(form->Progress());
    EXPECT_EQ(GetWindow(progress.Handle(), GW_OWNER), form->Handle());
    progress.SetLabel("Fetching");
    progress.Show();
    progress.SetBar(20);
    EXPECT_TRUE(IsWindowVisible(progress.Handle()));
    EXPECT_TRUE(IsWindowEnabled(form->Handle())) << "modeless";
    EXPECT_EQ(progress.Text("LabeL"), "Fetching");
    EXPECT_EQ(progress.Bar(), 20);
    progress.SetBar(250);
    EXPECT_EQ(progress.Bar(), 100);
    EXPECT_EQ(progress.Text("cmdCancel"), "Cancel");

    EXPECT_FALSE(progress.CancelRequested());
    progress.Click("cmdCancel");
    EXPECT_TRUE(progress.CancelRequested());
    EXPECT_FALSE(progress.Enabled("cmdCancel"));

    progress.Close();
    EXPECT_FALSE(IsWindowVisible(progress.Handle()));
    progress.SetLabel("Again");
    EXPECT_FALSE(progress.CancelRequested());
    EXPECT_TRUE(progress.Enabled("cmdCancel"));
    EXPECT_EQ(progress.Bar(), 0);
}

TEST_F(ProgressTest, GreekLoadTakesTheGreekCaptionAndEscOrCloseBoxAskToCancel) {
    Open("");
    auto& progress = static_cast<frmOVProgress&>(form->Progress());
    progress.Show();
    EXPECT_EQ(progress.Text("cmdCancel"), "Άκυρο");
    EXPECT_EQ(win32test::FontOf(progress.Control("LabeL")).lfCharSet, 161);
    win32test::PostKey(progress.Handle(), VK_ESCAPE);
    PumpMessages();
    EXPECT_TRUE(progress.CancelRequested()) << "Esc asks to cancel like the button";
    EXPECT_TRUE(IsWindowVisible(progress.Handle())) << "the caller closes the window";

    progress.Close();
    progress.Show();
    progress.PressCloseBox();
    EXPECT_TRUE(progress.CancelRequested());
    EXPECT_TRUE(IsWindowVisible(progress.Handle()));
}

}  // namespace
}  // namespace znt::win32
