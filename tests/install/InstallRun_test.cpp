#include "install/InstallRun.h"

#include "InstallFixture.h"

#include "install/InstallJournal.h"

#include <algorithm>
#include <chrono>
#include <limits>

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
    AddPackage({{"same.txt", "same"}});           // up to date
    AddPackage({{"other.txt", "other"}}, false);  // not marked
    AddPackage({{"mode2.txt", "m"}});
    packages.entries.back().Files.back().CheckMode = 2;  // never fetched by the run
    c.parallel = 1;  // the run's bar moves archive by archive, in the catalogue's order

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
    EXPECT_EQ(patcherCalls[0].arguments, "-O \"" + installFolder + "\\bin\\a.dll\" -N \"" +
                                             installFolder +
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

#ifndef _WIN32  // links need a privilege on Windows
TEST_F(InstallRun, TheProgramsOwnFilesAndPathsThroughLinksAreSkippedWithTheirReason) {
    tmp.write("inst dir/core/zntr.pub", "trusted key");
    const std::string outside = tmp.write("outside/keep.txt", "user's");
    std::filesystem::create_directory_symlink(tmp.file("outside"), Installed("linked"));
    AddPackage({{"ok.txt", "fine"},
                {"CORE\\ZNTR.PUB", "planted key!"},
                {"core/zntr.log", "forged"},
                {"linked\\keep.txt", "evil"}});
    std::vector<znt::InstallEvent> skipped;
    c.report = [&](const znt::InstallEvent& e) {
        if (e.kind == znt::InstallEventKind::FileSkipped) skipped.push_back(e);
    };

    EXPECT_EQ(znt::RunInstall(c), InstallOutcome::Finished);
    EXPECT_EQ(ReadFile(Installed("ok.txt")), "fine");
    EXPECT_EQ(ReadFile(Installed("core/zntr.pub")), "trusted key");
    EXPECT_FALSE(std::filesystem::exists(Installed("core/zntr.log")));
    EXPECT_EQ(ReadFile(outside), "user's");
    ASSERT_EQ(skipped.size(), 3u);
    EXPECT_EQ(skipped[0].name, installFolder + "\\CORE\\ZNTR.PUB");
    EXPECT_EQ(skipped[0].reason, "the program's own file");
    EXPECT_EQ(skipped[1].reason, "the program's own file");
    EXPECT_EQ(skipped[2].name, installFolder + "\\linked\\keep.txt");
    EXPECT_EQ(skipped[2].reason, "path passes a link");
}
#endif
TEST_F(InstallRun, EveryFailureCarriesItsReasonAndASizeCheckedFileIsBoundByItsSize) {
    AddPackage({{"missing.txt", "never served"}}, true, false);
    AddPackage({{"short.txt", "12345"}, {"broken.txt", "BROKEN!"}, {"sized.txt", "abc"}});
    server.Serve(ArchivePath("short.txt.zip"), "123");
    packages.entries.back().File(3).SizeBytes = 4;  // the archive gives 3 bytes
    AddPackage({{"v.txt", "by version"}});
    packages.entries.back().File(1).CheckMode = 0;

    EXPECT_EQ(znt::RunInstall(c), InstallOutcome::Finished);

    EXPECT_EQ(reasons, (std::vector<std::string>{"failed missing.txt.zip: HTTP 404",
                                                 "failed short.txt.zip: length 3, expected 5",
                                                 "not-extracted broken.txt: broken",
                                                 "not-extracted sized.txt: length 3, expected 4"}));
    EXPECT_FALSE(std::filesystem::exists(Installed("sized.txt")));
    EXPECT_EQ(ReadFile(Installed("v.txt")), "by version");
    // Extraction is bound by the catalogue size only where the size is what is checked.
    EXPECT_EQ(extractor.limits,
              (std::vector<std::uint64_t>{7, 4, std::numeric_limits<std::uint64_t>::max()}));
    EXPECT_TRUE(CacheEntries().empty());
}

TEST_F(InstallRun, OneArchiveNamedForTwoTargetsPlacesBothInThePassAndInRecovery) {
    tmp.write("inst dir/system/a.dll", "old");
    AddPackage({{"bin\\a.dll", "shared"}});
    AddPackage({{"system\\a.dll", "shared"}});
    std::optional<std::vector<znt::JournalEntry>> journal;
    files.beforeReplace = [&](const std::string&) {
        if (!journal)
            journal = znt::ParseJournal(ReadFile(Installed("core/cache/install.journal")));
    };

    EXPECT_EQ(znt::RunInstall(c), InstallOutcome::Finished);

    EXPECT_EQ(ReadFile(Installed("bin/a.dll")), "shared");
    EXPECT_EQ(ReadFile(Installed("system/a.dll")), "shared");
    EXPECT_EQ(server.RequestCount(ArchivePath("a.dll.zip")), 1);
    ASSERT_TRUE(journal);
    EXPECT_EQ(*journal,
              (std::vector<znt::JournalEntry>{{"pending\\a.dll.zip\\a.dll", "bin\\a.dll"},
                                              {"pending\\a.dll.zip\\a.dll", "system\\a.dll"}}));
    EXPECT_TRUE(CacheEntries().empty());

    // A pass cut short before either placement: recovery places both too.
    tmp.write("inst dir/core/cache/pending/b.dll.zip/b.dll", "again");
    ASSERT_TRUE(znt::WriteJournal(c.cacheFolder, {{"pending\\b.dll.zip\\b.dll", "bin\\b.dll"},
                                                  {"pending\\b.dll.zip\\b.dll", "system\\b.dll"}}));
    EXPECT_EQ(znt::RecoverInterruptedInstall(installFolder, files).placed.size(), 2u);
    EXPECT_EQ(ReadFile(Installed("bin/b.dll")), "again");
    EXPECT_EQ(ReadFile(Installed("system/b.dll")), "again");
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
    c.parallel = 1;  // one at a time: nothing after the held archive is asked for

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

TEST_F(InstallRun, AnUnwrittenJournalOrAThrowingStepStopsTheRunBeforeAnyFileIsPlaced) {
    Text(656);
    Text(657);
    tmp.write("inst dir/a.txt", "older a");
    AddPackage({{"a.txt", "new a"}, {"b.txt", "new b"}});
    // A folder where the journal goes: its write fails.
    std::filesystem::create_directories(tmp.file("inst dir/core/cache/install.journal"));

    EXPECT_EQ(znt::RunInstall(c), InstallOutcome::Failed);

    EXPECT_EQ(ReadFile(Installed("a.txt")), "older a");
    EXPECT_FALSE(std::filesystem::exists(Installed("b.txt")));
    // The fetched archives wait for the next run; nothing staged is left.
    EXPECT_EQ(Names(tmp.file("inst dir/core/cache")),
              (std::vector<std::string>{"a.txt.zip", "b.txt.zip", "install.journal"}));
    EXPECT_EQ(events, (std::vector<std::string>{"fetched a.txt.zip", "fetched b.txt.zip",
                                                "not-placed a.txt", "not-placed b.txt"}));
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0].text, "T656");

    // A step that throws is not done: the run ends there, and says so.
    std::filesystem::remove(tmp.file("inst dir/core/cache/install.journal"));
    extractor.throws = true;
    events.clear();
    EXPECT_EQ(znt::RunInstall(c), InstallOutcome::Failed);
    EXPECT_EQ(ReadFile(Installed("a.txt")), "older a");
    EXPECT_EQ(events, (std::vector<std::string>{"fetched a.txt.zip", "fetched b.txt.zip"}));
    ASSERT_EQ(messages.messages.size(), 2u);
    EXPECT_EQ(messages.messages[1].text, "T657");
    EXPECT_EQ(messages.messages[1].icon, ov::MsgIcon::Critical);
}

TEST_F(InstallRun, AServerThatStopsAnsweringIsNotAskedAgainAndWhatArrivedIsInstalled) {
    // A stall limit of half a second stands for the real 30 s.
    ov::InetOptions shortStall;
    shortStall.stallTimeout = std::chrono::milliseconds(500);
    ov::InetControl quick(shortStall);
    znt::InstallContext run = ContextFor(quick);
    run.parallel = 1;
    run.report = [this](const znt::InstallEvent& e) {
        events.push_back(EventText(e) + (e.reason.empty() ? "" : " (" + e.reason + ")"));
    };
    AddPackage({{"gone.txt", "gone"}, {"a.txt", "first"}});
    server.Remove(ArchivePath("gone.txt.zip"));  // a 404 is an answer: the run goes on
    std::vector<std::pair<std::string, std::string>> silent;
    for (char k = '1'; k <= '6'; ++k) silent.emplace_back(std::string("s") + k + ".txt", "new");
    AddPackage(silent, true, false);
    LoopbackResponse never;  // accepts the request and never answers
    never.delay = std::chrono::hours(1);
    for (const auto& entry : silent) server.Serve(ArchivePath(entry.first + ".zip"), never);
    // An earlier run's archive without a signed hash is no proof: it is not taken.
    tmp.write("inst dir/core/cache/s4.txt.zip", "new");
    auto started = std::chrono::steady_clock::now();

    EXPECT_EQ(znt::RunInstall(run), InstallOutcome::Finished);

    // One archive's tries and waits, then nothing more from the server: five
    // silent archives would take at least 10 s (four tries of 500 ms each).
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(8));
    EXPECT_EQ(server.RequestCount(ArchivePath("s1.txt.zip")), 4);
    for (const char* name :
         {"s2.txt.zip", "s3.txt.zip", "s4.txt.zip", "s5.txt.zip", "s6.txt.zip"}) {
        EXPECT_EQ(server.RequestCount(ArchivePath(name)), 0) << name;
    }
    EXPECT_EQ(waits.size(), 3u);
    const std::string silence = " (server not answering)";
    EXPECT_EQ(events,
              (std::vector<std::string>{
                  "failed gone.txt.zip (HTTP 404)", "fetched a.txt.zip",
                  "failed s1.txt.zip" + silence, "failed s2.txt.zip" + silence,
                  "failed s3.txt.zip" + silence, "failed s4.txt.zip" + silence,
                  "failed s5.txt.zip" + silence, "failed s6.txt.zip" + silence, "placed a.txt"}));
    EXPECT_FALSE(std::filesystem::exists(Installed("s4.txt")));
    EXPECT_FALSE(std::filesystem::exists(Installed("s1.txt")));
}
