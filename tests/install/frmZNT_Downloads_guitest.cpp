// The download window over the real install run: its captions, its bars
// while an archive arrives, Cancel pressed while a transfer waits, and the
// rate and time left under the run bar.

#include "OVShared/Modules/modOVCoreRun.h"
#include "OVShared/Platform/Inet.h"
#include "OVShared/Platform/Yield.h"
#include "i18n/LanguagePack.h"
#include "i18n/TextNumbers.h"
#include "install/InstallOnDisk.h"
#include "install/TransferRate.h"
#include "ui/qt/frmZNT_Downloads.h"
#include "support/LoopbackServer.h"
#include "support/QtTestApp.h"
#include "support/RecordingMessageSink.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include <filesystem>
#include <regex>

namespace znt {
namespace {

class DownloadWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        testsupport::EnsureQApplication();
        ov::SetYieldHook([] { QCoreApplication::processEvents(); });
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

    testsupport::TempDir install;
    testsupport::LoopbackServer server;
    testsupport::RecordingMessageSink sink;
    ov::InetControl inet;
    ov::CoreSectionTable coreTexts{nullptr};
    Packages packages;
    AppTexts texts;
};

TEST_F(DownloadWindowTest, CancelWhileATransferWaitsEndsTheRunAndEmptiesTheCache) {
    testsupport::LoopbackResponse held;
    held.generatedSize = 4 << 20;
    held.sendOnly = 1 << 20;  // a quarter, then nothing more
    held.holdOpenAfterSending = true;
    server.Serve("/ovw2010/files/big.bin.zip", held);

    frmZNT_Downloads window(texts,
                            [&](DownloadView& view) { return InstallOnDisk(Request(), view); });
    EXPECT_EQ(window.windowTitle().toStdString(), "T201");
    EXPECT_EQ(window.findChild<QGroupBox*>("fmProgress")->title().toStdString(), "T202");
    EXPECT_EQ(window.findChild<QLabel*>("lblTotal")->text().toStdString(), "T204");
    auto* cancel = window.findChild<QPushButton*>("cmdCancel");
    EXPECT_EQ(cancel->text().toStdString(), "T11");

    int barSeen = 0;
    std::string current;
    auto* poll = new QTimer(&window);
    QObject::connect(poll, &QTimer::timeout, [&] {
        barSeen = std::max(barSeen, window.findChild<QProgressBar*>("PBAR")->value());
        current = window.findChild<QLabel*>("lblCurrent")->text().toStdString();
        if (barSeen >= 20 && cancel->isEnabled()) cancel->click();
    });
    poll->start(10);
    EXPECT_EQ(window.ShowModal(), InstallOutcome::Cancelled);

    EXPECT_GE(barSeen, 20);  // the bar moved while the archive arrived
    EXPECT_EQ(current, "T205 big.bin...");
    EXPECT_TRUE(std::filesystem::is_empty(install.file("core/cache")));
    EXPECT_FALSE(std::filesystem::exists(install.file("big.bin")));
    EXPECT_TRUE(sink.messages.empty());  // no "finished" after Cancel
}

TEST_F(DownloadWindowTest, RateAndTimeLeftAppearUnderTheRunBarOnceThereIsARate) {
    texts.text[kTextRateKilobytes] = "%1 K";
    texts.text[kTextRateMegabytes] = "%1 M";
    texts.text[kTextTimeLeft] = "%1 L";
    texts.text[kTextRateAndTimeLeft] = "%1|%2";
    testsupport::LoopbackResponse drip;
    drip.generatedSize = 4 << 20;
    drip.dripInterval = std::chrono::milliseconds(10);
    drip.dripBytes = 8 << 10;  // at most 800 KB/s: the archive takes seconds
    server.Serve("/ovw2010/files/big.bin.zip", drip);

    frmZNT_Downloads window(texts,
                            [&](DownloadView& view) { return InstallOnDisk(Request(), view); });
    auto* speed = window.findChild<QLabel*>("lblSpeed");
    ASSERT_NE(speed, nullptr);
    EXPECT_EQ(speed->text(), "");
    std::string shown;
    int polls = 0;
    auto* poll = new QTimer(&window);
    QObject::connect(poll, &QTimer::timeout, [&] {
        shown = speed->text().toStdString();
        auto* cancel = window.findChild<QPushButton*>("cmdCancel");
        if ((!shown.empty() || ++polls > 1000) && cancel->isEnabled()) cancel->click();
    });
    poll->start(10);
    EXPECT_EQ(window.ShowModal(), InstallOutcome::Cancelled);

    const std::regex rateAndTimeLeft(R"(\d+(\.\d)? [KM]\|\d+:\d\d L)");
    EXPECT_TRUE(std::regex_match(shown, rateAndTimeLeft)) << shown;
    EXPECT_GT(speed->geometry().top(), window.findChild<QProgressBar*>("PTOTAL")->geometry().top());
}

}  // namespace
}  // namespace znt
