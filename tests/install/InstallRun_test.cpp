#include "install/InstallRun.h"

#include "InstallFixture.h"

#include <algorithm>
#include <chrono>

using installtest::InstallTest;
using testsupport::LoopbackResponse;
using testsupport::ReadFile;
using znt::DownloadControl;
using znt::InstallOutcome;

namespace {

using InstallRun = InstallTest;

std::vector<std::string> Names(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(folder)) {
        names.push_back(e.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace

TEST_F(InstallRun, PlacesNewFilesReplacesOldOnesAndCreatesFolders) {
    tmp.write("inst dir/b.txt", "old b");
    tmp.write("inst dir/same.txt", "same");
    AddPackage({{"bin\\\\sub\\a.dll", "new a 2"}, {"b.txt", "new b!"}});
    AddPackage({{"same.txt", "same"}});              // up to date
    AddPackage({{"other.txt", "other"}}, false);     // not marked
    AddPackage({{"mode2.txt", "m"}});
    packages.entries.back().Files.back().CheckMode = 2;  // never fetched by the run

    EXPECT_EQ(znt::RunInstall(c), InstallOutcome::Finished);

    EXPECT_EQ(ReadFile(Installed("bin/sub/a.dll")), "new a 2");
    EXPECT_EQ(ReadFile(Installed("b.txt")), "new b!");
    for (const char* name : {"same.txt.zip", "other.txt.zip", "mode2.txt.zip"}) {
        EXPECT_EQ(server.RequestCount(ArchivePath(name)), 0) << name;
    }
    EXPECT_FALSE(std::filesystem::exists(Installed("other.txt")));
    EXPECT_FALSE(std::filesystem::exists(Installed("mode2.txt")));
    EXPECT_EQ(extractor.calls, (std::vector<std::string>{"a.dll.zip", "b.txt.zip"}));
    EXPECT_TRUE(CacheEntries().empty());  // archives and new files deleted
    EXPECT_TRUE(patcherCalls.empty());
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0].text, "T612");
    EXPECT_EQ(messages.messages[0].icon, ov::MsgIcon::Information);
    EXPECT_FALSE(view.enabled[DownloadControl::cmdCancel]);
    EXPECT_FALSE(view.visible[DownloadControl::lblCurrent]);
    EXPECT_FALSE(view.visible[DownloadControl::PBAR]);
    EXPECT_FALSE(view.visible[DownloadControl::lblSpeed]);
    EXPECT_EQ(view.Last(DownloadControl::lblTotal), "T206");
    EXPECT_EQ(events, (std::vector<std::string>{"fetched a.dll.zip", "fetched b.txt.zip",
                                                "placed bin\\sub\\a.dll", "placed b.txt"}));
    // Fetches: 7 and 13 of the 18 marked bytes; then one more per marked file.
    EXPECT_EQ(view.Values(DownloadControl::PTOTAL), (std::vector<int>{0, 38, 72, 73, 74, 75, 76}));
}

TEST_F(InstallRun, FilesNotInstalledAreCountedOnceAndNeverReportedAsFinished) {
    texts.text[652] = "one missing, see %2";
    texts.text[653] = "%1 missing, see %2";
    AddPackage({{"gone.dll", "never served"}}, true, false);  // archive not fetched
    AddPackage({{"bad.dll", "BROKEN archive"}, {"denied.dll", "new"}, {"fine.dll", "fine"}});
    packages.entries.back().Files.push_back(Entry("gone.dll", "never served"));  // once more
    packages.entries.back().FileCount = 4;
    files.refused.insert(Installed("denied.dll"));  // a new file that cannot be written

    EXPECT_EQ(znt::RunInstall(c), InstallOutcome::Finished);

    EXPECT_EQ(ReadFile(Installed("fine.dll")), "fine");
    const std::string log = tmp.file("inst dir/core/zntr.log");
    ASSERT_EQ(messages.messages.size(), 1u);  // no "finished" message
    EXPECT_EQ(messages.messages[0].text, "3 missing, see " + log);
    EXPECT_EQ(messages.messages[0].icon, ov::MsgIcon::Exclamation);

    // One file and a log named by the caller; the count starts afresh.
    packages.entries.erase(packages.entries.begin() + 1);
    c.logPath = tmp.file("elsewhere.log");
    EXPECT_EQ(znt::RunInstall(c), InstallOutcome::Finished);
    ASSERT_EQ(messages.messages.size(), 2u);
    EXPECT_EQ(messages.messages[1].text, "one missing, see " + c.logPath);

    // A run that also staged the program's own copy still says so before it ends.
    tmp.write("inst dir/core/zntr.exe", "old exe");
    AddPackage({{"core\\zntr.exe", "new exe 2"}});
    files.refused.insert(Installed("core/zntr.exe"));
    EXPECT_EQ(znt::RunInstall(c), InstallOutcome::Restart);
    ASSERT_EQ(messages.messages.size(), 4u);
    EXPECT_EQ(messages.messages[2].text, "T609");
    EXPECT_EQ(messages.messages[3].text, "one missing, see " + c.logPath);
}

TEST_F(InstallRun, OwnExecutableThatCannotBeReplacedIsStagedForTheNextStart) {
    tmp.write("inst dir/core/zntr.exe", "old exe");
    AddPackage({{"core\\zntr.exe", "new exe 2"}});
    files.refused.insert(Installed("core/zntr.exe"));

    EXPECT_EQ(znt::RunInstall(c), InstallOutcome::Restart);

    ASSERT_EQ(messages.messages.size(), 1u);  // no "finished" message
    EXPECT_EQ(messages.messages[0].text, "T609");
    EXPECT_EQ(messages.messages[0].icon, ov::MsgIcon::Information);
    EXPECT_EQ(ReadFile(Installed("core/zntr.exe")), "old exe");
    EXPECT_EQ(CacheEntries(), std::vector<std::string>{"zntr.exe"});
    EXPECT_EQ(ReadFile(Installed("core/cache/zntr.exe")), "new exe 2");
    EXPECT_TRUE(patcherCalls.empty());
    EXPECT_EQ(events.back(), "staged core\\zntr.exe");
}

TEST_F(InstallRun, FileThatCannotBeReplacedGoesToThePatcherWithQuotedPaths) {
    tmp.write("inst dir/bin/a.dll", "old a");
    AddPackage({{"bin\\a.dll", "new a 2"}});
    files.refused.insert(Installed("bin/a.dll"));

    EXPECT_EQ(znt::RunInstall(c), InstallOutcome::Finished);
    c.english = false;
    EXPECT_EQ(znt::RunInstall(c), InstallOutcome::Finished);

    ASSERT_EQ(patcherCalls.size(), 2u);
    EXPECT_EQ(patcherCalls[0].updater, installFolder + "\\core\\Autopatch.exe");
    EXPECT_EQ(patcherCalls[0].arguments,
              "-O \"" + installFolder + "\\bin\\a.dll\" -N \"" + installFolder +
                  "\\core\\cache\\a.dll\" -C Beam Designer -L E");
    EXPECT_EQ(patcherCalls[1].arguments.substr(patcherCalls[1].arguments.size() - 5), " -L G");
    EXPECT_EQ(ReadFile(Installed("bin/a.dll")), "old a");  // the old file is never lost
    EXPECT_EQ(ReadFile(Installed("core/cache/a.dll")), "new a 2");
}

TEST_F(InstallRun, ArchiveThatYieldsNoFileLeavesTheInstalledFileAlone) {
    tmp.write("inst dir/bin/a.dll", "old a");
    AddPackage({{"bin\\a.dll", "BROKEN archive"}});

    EXPECT_EQ(znt::RunInstall(c), InstallOutcome::Finished);

    EXPECT_EQ(ReadFile(Installed("bin/a.dll")), "old a");
    EXPECT_TRUE(patcherCalls.empty());
    EXPECT_TRUE(CacheEntries().empty());
}

TEST_F(InstallRun, TargetDifferingOnlyInCaseIsReplacedInPlace) {
    tmp.write("inst dir/core/zntr.exe", "old exe");
    tmp.write("inst dir/Languages/EN-ZNT.lng", "old pack");
    AddPackage({{"core\\ZNTR.EXE", "new exe 2"}, {"LANGUAGES\\en-znt.LNG", "new pack 2"}});

    EXPECT_EQ(znt::RunInstall(c), InstallOutcome::Finished);

    EXPECT_EQ(Names(Installed("core")), (std::vector<std::string>{"cache", "zntr.exe"}));
    EXPECT_EQ(ReadFile(Installed("core/zntr.exe")), "new exe 2");
    EXPECT_EQ(Names(Installed("")), (std::vector<std::string>{"Languages", "core"}));
    EXPECT_EQ(Names(Installed("Languages")), std::vector<std::string>{"EN-ZNT.lng"});
    EXPECT_EQ(ReadFile(Installed("Languages/EN-ZNT.lng")), "new pack 2");
}

TEST_F(InstallRun, HostileEntriesAreNeverFetchedNorPlaced) {
    AddPackage({{"ok.txt", "fine"}});
    znt::PackageEntry& p = packages.entries.back();
    p.Files.push_back(Entry("..\\outside.txt", "evil"));
    p.Files.push_back(Entry("/tmp/abs.txt", "evil"));
    p.Files.push_back(Entry("x.txt", "evil"));
    p.Files.back().ArchiveName = "..\\x.txt.zip";
    p.FileCount = static_cast<std::int32_t>(p.Files.size());
    server.Serve(ArchivePath("outside.txt.zip"), "evil");
    server.Serve(ArchivePath("abs.txt.zip"), "evil");

    EXPECT_EQ(znt::RunInstall(c), InstallOutcome::Finished);

    EXPECT_EQ(ReadFile(Installed("ok.txt")), "fine");
    EXPECT_EQ(server.RequestCount(ArchivePath("outside.txt.zip")), 0);
    EXPECT_EQ(server.RequestCount(ArchivePath("abs.txt.zip")), 0);
    EXPECT_EQ(Names(tmp.path()), std::vector<std::string>{"inst dir"});
    EXPECT_EQ(Names(installFolder), (std::vector<std::string>{"core", "ok.txt"}));
    EXPECT_EQ(extractor.calls, std::vector<std::string>{"ok.txt.zip"});
}

TEST_F(InstallRun, CancelDuringAHeldTransferStopsTheRunAndEmptiesTheCache) {
    AddPackage({{"a.txt", "first"}, {"big.bin", ""}, {"c.txt", "third"}});
    znt::PackageFileEntry& big = packages.entries.back().File(2);
    big.ArchiveSize = big.SizeBytes = 4 << 20;
    LoopbackResponse held;
    held.generatedSize = 4u << 20;
    held.sendOnly = 2u << 20;
    held.holdOpenAfterSending = true;
    server.Serve(ArchivePath("big.bin.zip"), held);
    // Cancel once the sent half has been read and the transfer waits for more
    // (several turns of the event loop without a new chunk).
    int idleTurns = 0;
    ov::SetYieldHook([&] {
        std::vector<int> bar = view.Values(DownloadControl::PBAR);
        if (bar.empty() || bar.back() != 50 || ++idleTurns != 3) return;
        view.ClickCancel();
    });
    auto started = std::chrono::steady_clock::now();

    EXPECT_EQ(znt::RunInstall(c), InstallOutcome::Cancelled);

    // Cancel ended the wait for data, not the 30 s stall limit.
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
    EXPECT_TRUE(view.cancel.Pressed());
    EXPECT_TRUE(CacheEntries().empty());  // a.txt's archive and big.bin's part file removed
    EXPECT_EQ(server.RequestCount(ArchivePath("a.txt.zip")), 1);
    EXPECT_EQ(server.RequestCount(ArchivePath("c.txt.zip")), 0);
    EXPECT_FALSE(std::filesystem::exists(Installed("a.txt")));
    EXPECT_TRUE(extractor.calls.empty());
    EXPECT_TRUE(messages.messages.empty());
    for (const auto& f : packages.entries.back().Files) EXPECT_FALSE(f.Fetched);
}
