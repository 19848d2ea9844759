// The download window over the real install run and a loopback server:
// its captions, its bar while an archive arrives, and Cancel, Esc or the
// close box while a transfer waits, each of which ends the run and closes
// the window.

#include "OVShared/Modules/modOVCoreRun.h"
#include "OVShared/Platform/Inet.h"
#include "OVShared/Platform/Yield.h"
#include "i18n/LanguagePack.h"
#include "install/InstallOnDisk.h"
#include "ui/win32/frmZNT_Downloads.h"
#include "support/LoopbackServer.h"
#include "support/RecordingMessageSink.h"
#include "support/TempDir.h"
#include "support/Win32Timers.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <filesystem>

namespace znt::win32 {
namespace {

using testsupport::LoopTimer;

class DownloadWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ov::SetYieldHook(PumpMessages);
        for (int i : {11, 201, 202, 204, 205, 206, 612}) texts.text[i] = "T" + std::to_string(i);
        std::filesystem::create_directories(install.file("core\\cache"));
        PackageEntry& p = packages.entries.emplace_back();
        p.Marked = true;
        p.SizeBytes = 4 << 20;
        PackageFileEntry& f = p.Files.emplace_back();
        f.FileName = "big.bin";
        f.CheckMode = 1;
        f.SizeBytes = 1;
        f.ArchiveSize = 4 << 20;
        f.ArchiveName = "big.bin.zip";
        p.FileCount = 1;
        // A quarter of the archive, then the connection waits.
        testsupport::LoopbackResponse held;
        held.generatedSize = 4 << 20;
        held.sendOnly = 1 << 20;
        held.holdOpenAfterSending = true;
        server.Serve("/ovw2010/files/big.bin.zip", held);
    }
    void TearDown() override { ov::SetYieldHook(nullptr); }

    InstallRequest Request() {
        return InstallRequest{.installFolder = install.path(),
                              .packages = packages,
                              .english = true,
                              .texts = texts,
                              .messages = sink,
                              .title = "T",
                              .inet = inet,
                              .source = {true, "", server.Url()},
                              .coreTexts = coreTexts};
    }
    frmZNT_Downloads::Run InstallRun() {
        return [this](DownloadView& view) { return InstallOnDisk(Request(), view); };
    }
    static int Bar(const Form& window) {
        return static_cast<int>(SendMessageW(window.Control("PBAR"), PBM_GETPOS, 0, 0));
    }
    void ExpectNothingLeft() {
        EXPECT_TRUE(std::filesystem::is_empty(install.file("core\\cache")));
        EXPECT_FALSE(std::filesystem::exists(install.file("big.bin")));
        EXPECT_TRUE(sink.messages.empty());  // no "finished" after Cancel
    }

    testsupport::TempDir install;
    testsupport::LoopbackServer server;
    testsupport::RecordingMessageSink sink;
    ov::InetControl inet;
    ov::CoreSectionTable coreTexts{nullptr};
    Packages packages;
    AppTexts texts;
};

TEST_F(DownloadWindowTest, CancelWhileATransferWaitsEndsTheRunAndClosesTheWindow) {
    frmZNT_Downloads window(texts, InstallRun());
    EXPECT_EQ(window.Caption(), "T201");
    EXPECT_EQ(window.Text("fmProgress"), "T202");
    EXPECT_EQ(window.Text("lblTotal"), "T204");
    EXPECT_EQ(window.Text("cmdCancel"), "T11");

    int barSeen = 0;
    std::string current;
    LoopTimer poll(
        10,
        [&] {
            barSeen = std::max(barSeen, Bar(window));
            current = window.Text("lblCurrent");
            if (barSeen >= 20 && window.Enabled("cmdCancel")) window.Click("cmdCancel");
        },
        true);
    EXPECT_EQ(window.ShowModal(), InstallOutcome::Cancelled);

    EXPECT_GE(barSeen, 20);  // the bar moved while the archive arrived
    EXPECT_EQ(current, "T205 big.bin...");
    EXPECT_FALSE(IsWindowVisible(window.Handle()));
    ExpectNothingLeft();
}

// Neither closes the window under a running transfer: each presses Cancel,
// and the window closes when the run has stopped.
TEST_F(DownloadWindowTest, EscAndTheCloseBoxWhileRunningActAsCancel) {
    for (auto press : {+[](Form& f) { f.PressEscape(); }, +[](Form& f) { f.PressCloseBox(); }}) {
        frmZNT_Downloads window(texts, InstallRun());
        bool pressed = false;
        bool stayedOpen = false;
        int pollsAfter = 0;
        LoopTimer poll(
            10,
            [&] {
                // A key that did not cancel would leave the transfer waiting
                // for its stall rule: stop it here so that the test fails fast.
                if (pressed && ++pollsAfter > 200) window.Cancel().Press();
                if (pressed || Bar(window) < 10) return;
                pressed = true;
                press(window);
                stayedOpen = window.InModalLoop() && !window.Enabled("cmdCancel");
                EXPECT_TRUE(window.Cancel().Pressed());
            },
            true);
        EXPECT_EQ(window.ShowModal(), InstallOutcome::Cancelled);
        EXPECT_TRUE(pressed);
        EXPECT_TRUE(stayedOpen);
        ExpectNothingLeft();
    }
}

}  // namespace
}  // namespace znt::win32
