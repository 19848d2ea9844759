// The download window over the real install run: its captions, its bars
// while an archive arrives, Cancel pressed while a transfer waits, and the
// rate and time left under the run bar.

#include "OVShared/Modules/modOVCoreRun.h"
#include "OVShared/Platform/Inet.h"
#include "OVShared/Platform/Yield.h"
#include "i18n/TextNumbers.h"
#include "install/InstallOnDisk.h"
#include "support/LoopbackServer.h"
#include "support/RecordingMessageSink.h"
#include "support/TempDir.h"
#include "ui/UiDriver.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

namespace uitest {
namespace {

using namespace znt;

class DownloadWindowScenario : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureToolkit();
        ov::SetYieldHook(PumpToolkit);
        for (int i : {11, 201, 202, 204, 205, 206, 612}) texts.text[i] = "T" + std::to_string(i);
        std::filesystem::create_directories(install.file("core/cache"));
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
    }
    void TearDown() override { ov::SetYieldHook(nullptr); }

    std::unique_ptr<DownloadDriver> Open() {
        return OpenDownloadWindow(texts, [this](DownloadView& view) {
            return InstallOnDisk(InstallRequest{.installFolder = install.path(),
                                                .packages = packages,
                                                .english = true,
                                                .texts = texts,
                                                .messages = sink,
                                                .title = "T",
                                                .inet = inet,
                                                .source = {true, "", server.Url()},
                                                .coreTexts = coreTexts},
                                 view);
        });
    }

    testsupport::TempDir install;
    testsupport::LoopbackServer server;
    testsupport::RecordingMessageSink sink;
    ov::InetControl inet;
    ov::CoreSectionTable coreTexts{nullptr};
    Packages packages;
    AppTexts texts;
};

TEST_F(DownloadWindowScenario, CancelWhileATransferWaitsEndsTheRunAndEmptiesTheCache) {
    testsupport::LoopbackResponse held;
    held.generatedSize = 4 << 20;
    held.sendOnly = 1 << 20;  // a quarter, then nothing more
    held.holdOpenAfterSending = true;
    server.Serve("/ovw2010/files/big.bin.zip", held);

    auto window = Open();
    EXPECT_EQ(window->Caption(), "T201");
    EXPECT_EQ(window->Text("fmProgress"), "T202");
    EXPECT_EQ(window->Text("lblTotal"), "T204");
    EXPECT_EQ(window->Text("cmdCancel"), "T11");

    int barSeen = 0;
    std::string current;
    bool escapedWhileRunning = false;
    EXPECT_EQ(window->RunModal([&] {
        barSeen = std::max(barSeen, window->Value("PBAR"));
        current = window->Text("lblCurrent");
        if (barSeen >= 20 && window->Enabled("cmdCancel")) {
            // Esc while the run goes on is Cancel; the window stays until the run ends.
            window->PressEscape();
            escapedWhileRunning = window->IsOpen() && !window->Enabled("cmdCancel");
        }
    }),
              InstallOutcome::Cancelled);

    EXPECT_TRUE(escapedWhileRunning);
    EXPECT_GE(barSeen, 20);  // the bar moved while the archive arrived
    EXPECT_EQ(current, "T205 big.bin...");
    EXPECT_TRUE(std::filesystem::is_empty(install.file("core/cache")));
    EXPECT_FALSE(std::filesystem::exists(install.file("big.bin")));
    EXPECT_TRUE(sink.messages.empty());  // no "finished" after Cancel
}

TEST_F(DownloadWindowScenario, RateAndTimeLeftAppearUnderTheRunBarOnceThereIsARate) {
    texts.text[kTextRateKilobytes] = "%1 K";
    texts.text[kTextRateMegabytes] = "%1 M";
    texts.text[kTextTimeLeft] = "%1 L";
    texts.text[kTextRateAndTimeLeft] = "%1|%2";
    testsupport::LoopbackResponse drip;
    drip.generatedSize = 4 << 20;
    drip.dripInterval = std::chrono::milliseconds(10);
    drip.dripBytes = 8 << 10;  // at most 800 KB/s: the archive takes seconds
    server.Serve("/ovw2010/files/big.bin.zip", drip);

    auto window = Open();
    EXPECT_EQ(window->Text("lblSpeed"), "");
    std::string shown;
    int polls = 0;
    EXPECT_EQ(window->RunModal([&] {
        shown = window->Text("lblSpeed");
        if ((!shown.empty() || ++polls > 1000) && window->Enabled("cmdCancel")) {
            window->Click("cmdCancel");
        }
    }),
              InstallOutcome::Cancelled);

    const std::regex rateAndTimeLeft(R"(\d+(\.\d)? [KM]\|\d+:\d\d L)");
    EXPECT_TRUE(std::regex_match(shown, rateAndTimeLeft)) << shown;
    EXPECT_GT(window->Top("lblSpeed"), window->Top("PTOTAL"));
}

}  // namespace
}  // namespace uitest
