// The Win32 first-install wizard driven as a user would, over a copy of the
// staged installation (shipped packs, icon and pictures), the fake main
// window and dialogs, and a loopback update server for the name list.

#include "ui/win32/frmZNT_FirstInstall.h"

#include "OVShared/Platform/Yield.h"
#include "app/AppState.h"
#include "app/StartUp.h"
#include "support/AppFakes.h"
#include "support/LoopbackServer.h"
#include "support/RecordingMessageSink.h"
#include "support/TempDir.h"
#include "support/TestStore.h"

#include "ui/win32/Driving.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>

namespace znt::win32 {
namespace {

using win32test::WhenShown;

using testsupport::TempDir;

std::string NameList() {
    std::string list;
    for (int i = 1; i <= 2 * kNameTableSize; ++i) {
        list += std::to_string(i) + "=Product " + std::to_string(i) + "\r\n";
    }
    return list;
}

constexpr std::pair<const char*, int> kCaptions[] = {
    {"fmStep1", 701},  {"lblStep", 702},   {"fmStep2", 712},  {"lblStep2", 703},  {"fmStep3", 718},
    {"lblStep3", 715}, {"cmdUpdate", 711}, {"cmdClose", 710}, {"cmdLanguage", 29}};

class Win32FirstInstall : public ::testing::Test {
protected:
    void SetUp() override {
        if (!apptest::CopyStagedInstallation(install)) GTEST_SKIP() << "no staged build";
        server.Serve("/ovw2010/pnames.txt", NameList());
    }

    // Start-up as far as the launch mode, then the wizard, created (hidden).
    frmZNT_FirstInstall& Open(const std::string& commandLine = "/ENG") {
        wizard.reset();
        context.reset();
        state.reset();  // lets go of the single-instance lock
        state = std::make_unique<AppState>(ParseLaunchOptions(commandLine),
                                           install.file("core/zntr.exe"), sink, store);
        context.reset(new MainContext{*state, window, dialogs, [this](AppState&) {
                                          ++catalogueFetches;
                                          return true;
                                      }});
        EXPECT_TRUE(LoadMainWindow(*context).showMainWindow);
        state->serverBase = server.Url();
        wizard = std::make_unique<frmZNT_FirstInstall>(*context);
        return *wizard;
    }

    AppTexts Pack(const char* setting) const {
        AppTexts texts;
        EXPECT_EQ(LoadLanguagePack(texts, install.path(), setting), PackLoadResult::Ok);
        return texts;
    }

    void ExpectPage(int step) {
        EXPECT_EQ(wizard->Step(), step);
        const char* pages[][2] = {
            {"fmStep1", "lblStep"}, {"fmStep2", "lblStep2"}, {"fmStep3", "lblStep3"}};
        for (int n = 1; n <= 3; ++n) {
            for (const char* control : pages[n - 1]) {
                EXPECT_EQ(wizard->Visible(control), n == step) << control;
            }
        }
        EXPECT_EQ(wizard->Visible("cmdUpdate"), step != 3);
        for (const char* name : {"cmdUpdate", "cmdClose", "cmdLanguage"}) {
            EXPECT_TRUE(wizard->Enabled(name)) << name;
        }
    }

    void ExpectCaptions(const AppTexts& t) {
        EXPECT_EQ(wizard->Caption(), t[700]);
        for (const auto& [name, index] : kCaptions) {
            EXPECT_FALSE(t[index].empty()) << "pack text " << index;
            EXPECT_EQ(wizard->Text(name), t[index]) << name;
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

// Step 1 to 3 with a failed fetch and language switches on the way: a
// failure keeps the step usable, a switch changes every caption (the
// language button's too) and keeps the step.
TEST_F(Win32FirstInstall, StepsFollowTheFetchesAndTheLanguageSwitchKeepsTheStep) {
    Open();
    wizard->Show();
    ExpectPage(1);
    ExpectCaptions(Pack("ENGLISH.LNG"));
    EXPECT_EQ(wizard->Text("cmdLanguage"), "Ελληνικά");

    state->serverBase =
        "http://127.0.0.1:" + std::to_string(testsupport::LoopbackServer::UnusedPort());
    wizard->Click("cmdUpdate");
    ASSERT_EQ(sink.messages.size(), 1u);
    EXPECT_EQ(sink.messages[0].text, Pack("ENGLISH.LNG")[600]);
    EXPECT_EQ(sink.messages[0].icon, ov::MsgIcon::Critical);
    EXPECT_FALSE(window.progress.shown);
    ExpectPage(1);

    state->serverBase = server.Url();
    wizard->Click("cmdUpdate");
    ExpectPage(2);
    EXPECT_EQ(window.progress.bars, (std::vector<int>{5, 30, 5, 30}));

    wizard->Click("cmdLanguage");
    EXPECT_EQ(state->languageSetting(), "Greek.lng");
    ExpectCaptions(Pack("Greek.lng"));
    EXPECT_EQ(wizard->Text("cmdLanguage"), "English");
    ExpectPage(2);

    dialogs.sources = {{true, install.path()}};
    wizard->Click("cmdUpdate");
    EXPECT_EQ(dialogs.opened, (std::vector<std::string>{"source", "install"}));
    EXPECT_EQ(catalogueFetches, 1);
    ExpectPage(3);
    LRESULT defaultButton = SendMessageW(wizard->Handle(), DM_GETDEFID, 0, 0);
    EXPECT_EQ(LOWORD(defaultButton), GetDlgCtrlID(wizard->Control("cmdClose")));
    EXPECT_EQ(sink.messages.size(), 1u);
}

// Close, Esc and the close box each end the program once and return from
// the modal run; so does a language switch whose pack cannot be read, with
// a failure.
TEST_F(Win32FirstInstall, EveryWayOutEndsTheProgramOnceAndTheModalRun) {
    const std::pair<const char*, std::function<void(frmZNT_FirstInstall&)>> ways[] = {
        {"Close", [](frmZNT_FirstInstall& w) { w.Click("cmdClose"); }},
        {"Esc", [](frmZNT_FirstInstall& w) { w.PressEscape(); }},
        {"close box", [](frmZNT_FirstInstall& w) { w.PressCloseBox(); }},
    };
    for (const auto& [way, act] : ways) {
        Open();
        WhenShown([&, act = act] { act(*wizard); });
        wizard->ShowModal();
        EXPECT_TRUE(state->closing) << way;
        EXPECT_EQ(state->exitCode, kExitOk) << way;
        EXPECT_FALSE(IsWindowVisible(wizard->Handle())) << way;

        state->closing = false;
        wizard->PressCloseBox();
        EXPECT_FALSE(state->closing) << way << ": the end ran twice";
    }

    Open();
    std::filesystem::remove(install.file("Languages/GR-ZNT.lng"));
    WhenShown([&] { wizard->Click("cmdLanguage"); });
    wizard->ShowModal();
    ASSERT_EQ(sink.messages.size(), 1u);
    EXPECT_EQ(sink.messages[0].text, kPackErrorText);
    EXPECT_EQ(state->exitCode, kExitFailed);
    EXPECT_TRUE(state->closing);
}

// The close box while the name list is on its way: the transfer stops at
// once, nothing more is shown and the modal run returns.
TEST_F(Win32FirstInstall, ClosingDuringTheNameListFetchStopsItQuietly) {
    testsupport::LoopbackResponse slow;
    slow.body = NameList();
    slow.delay = std::chrono::seconds(20);
    server.Serve("/ovw2010/pnames.txt", slow);
    Open();
    ov::SetYieldHook(PumpMessages);
    WhenShown([&] {
        WhenShown([&] { wizard->PressCloseBox(); });
        wizard->Click("cmdUpdate");
    });
    auto started = std::chrono::steady_clock::now();
    wizard->ShowModal();
    ov::SetYieldHook(nullptr);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
    EXPECT_TRUE(state->closing);
    EXPECT_EQ(wizard->Step(), 1);
    EXPECT_TRUE(sink.messages.empty());
}

// Pixels that text needs in control's font, wrapped to width when wrap.
SIZE Needed(HWND control, const std::string& text, int width, bool wrap) {
    HDC dc = GetDC(control);
    auto font = reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0));
    HGDIOBJ old = SelectObject(dc, font);
    RECT r{0, 0, width, 0};
    std::wstring wide = Wide(text);
    DrawTextW(dc, wide.c_str(), -1, &r,
              DT_CALCRECT | DT_NOPREFIX | (wrap ? DT_WORDBREAK : DT_SINGLELINE));
    SelectObject(dc, old);
    ReleaseDC(control, dc);
    return {r.right - r.left, r.bottom - r.top};
}

// A window of its own (no owner, taskbar button, minimize box, the
// installation's icon) whose fixed pages and buttons hold every text of
// either pack.
TEST_F(Win32FirstInstall, IsAWindowOfItsOwnWhoseControlsHoldEveryTextOfEitherPack) {
    Open();
    HWND form = wizard->Handle();
    EXPECT_EQ(GetWindow(form, GW_OWNER), nullptr);
    EXPECT_TRUE(GetWindowLongW(form, GWL_EXSTYLE) & WS_EX_APPWINDOW);
    EXPECT_TRUE(GetWindowLongW(form, GWL_STYLE) & WS_MINIMIZEBOX);
    EXPECT_NE(SendMessageW(form, WM_GETICON, ICON_BIG, 0), 0);

    // The page's frame lets the window's face show through inside it.
    wizard->Show();
    PumpMessages();
    UpdateWindow(form);
    RECT frame{};
    GetWindowRect(wizard->Control("fmStep1"), &frame);
    MapWindowPoints(nullptr, form, reinterpret_cast<POINT*>(&frame), 2);
    HDC dc = GetDC(form);
    EXPECT_EQ(GetPixel(dc, frame.left + Scaled(6), frame.bottom - Scaled(6)),
              GetSysColor(COLOR_BTNFACE));
    ReleaseDC(form, dc);

    for (const char* pack : {"ENGLISH.LNG", "Greek.lng"}) {
        if (std::string(pack) != "ENGLISH.LNG") wizard->Click("cmdLanguage");
        for (const auto& [name, index] : kCaptions) {
            HWND control = wizard->Control(name);
            RECT box{};
            GetClientRect(control, &box);
            const bool label = std::string(name).rfind("lbl", 0) == 0;
            SIZE need = Needed(control, wizard->Text(name), box.right, label);
            EXPECT_LE(need.cx, box.right - (label ? 0 : 16)) << pack << " " << name;
            if (label) {
                EXPECT_LE(need.cy, box.bottom) << pack << " " << name;
            }
        }
    }
}

}  // namespace
}  // namespace znt::win32
