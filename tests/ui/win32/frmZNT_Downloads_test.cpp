// The download window over the real install run and a loopback server: its
// captions, its bar while an archive arrives, and Cancel, Esc or the close
// box while a transfer waits.

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

    testsupport::TempDir install;
    testsupport::LoopbackServer server;
    testsupport::RecordingMessageSink sink;
    ov::InetControl inet;
    ov::CoreSectionTable coreTexts{nullptr};
    Packages packages;
    AppTexts texts;
};

// Cancel, and Esc and the close box acting as Cancel, once the bar has
// moved: the window stays up until the run has stopped, then closes.
TEST_F(DownloadWindowTest, CancelEscOrCloseBoxWhileATransferWaitsEndsTheRunAndCloses) {
    for (auto press : {+[](Form& f) { f.Click("cmdCancel"); }, +[](Form& f) { f.PressEscape(); },
                       +[](Form& f) { f.PressCloseBox(); }}) {
        frmZNT_Downloads window(texts, InstallRun());
        EXPECT_EQ(window.Caption(), "T201");
        EXPECT_EQ(window.Text("fmProgress"), "T202");
        EXPECT_EQ(window.Text("lblTotal"), "T204");
        EXPECT_EQ(window.Text("cmdCancel"), "T11");
        std::string current;
        bool stayedOpen = false;
        int pollsAfter = 0;
        LoopTimer poll(
            10,
            [&] {
                // A press that did not cancel would leave the transfer to
                // its stall rule: stop it here so that the test fails fast.
                if (pollsAfter > 0 && ++pollsAfter > 200) window.Cancel().Press();
                if (pollsAfter > 0 || Bar(window) < 20) return;
                current = window.Text("lblCurrent");
                press(window);
                pollsAfter = 1;
                stayedOpen = window.InModalLoop() && !window.Enabled("cmdCancel") &&
                             window.Cancel().Pressed();
            },
            true);
        EXPECT_EQ(window.ShowModal(), InstallOutcome::Cancelled);
        EXPECT_EQ(current, "T205 big.bin...");  // the bar moved while the archive arrived
        EXPECT_TRUE(stayedOpen);
        EXPECT_FALSE(IsWindowVisible(window.Handle()));
        EXPECT_TRUE(std::filesystem::is_empty(install.file("core\\cache")));
        EXPECT_FALSE(std::filesystem::exists(install.file("big.bin")));
        EXPECT_TRUE(sink.messages.empty());  // no "finished" after Cancel
    }
}

}  // namespace
}  // namespace znt::win32
