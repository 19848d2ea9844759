// The fetch pass with several downloads at once: the same outcomes as one at
// a time, over connections that are reused rather than opened per archive.

#include "install/FetchPass.h"
#include "install/InstallRun.h"

#include "InstallFixture.h"
#include "catalogue/Signature.h"
#include "support/FarServer.h"

#include <algorithm>
#include <string>
#include <vector>

using installtest::InstallTest;
using testsupport::FarServer;
using testsupport::ReadFile;
using znt::DownloadControl;
using znt::InstallOutcome;

namespace {

// Runs each case one at a time and four at once.
class ParallelFetch : public InstallTest, public testing::WithParamInterface<int> {
protected:
    ParallelFetch() {
        c.parallel = GetParam();
        c.source.serverBase = far.Url();
        Text(651);
    }

    // A marked package whose archives the far server serves.
    void AddServed(const std::vector<std::pair<std::string, std::string>>& files) {
        AddPackage(files, true, false);
        for (const auto& [name, content] : files) far.Serve(ArchivePath(name + ".zip"), content);
    }

    std::vector<std::string> Fetched() const {
        std::vector<std::string> fetched;
        for (const std::string& e : events) {
            if (e.rfind("fetched ", 0) == 0 || e.rfind("failed ", 0) == 0) fetched.push_back(e);
        }
        return fetched;
    }

    FarServer far;
};

std::string Content(int k, std::size_t size = 0) {
    std::string text = "file " + std::to_string(k);
    if (size > text.size()) text.resize(size, static_cast<char>('a' + k % 26));
    return text;
}

}  // namespace

INSTANTIATE_TEST_SUITE_P(OneAndFour, ParallelFetch, testing::Values(1, 4));

TEST_P(ParallelFetch, ManyArchivesReuseAtMostOneConnectionPerDownloadAndReportInOrder) {
    std::vector<std::pair<std::string, std::string>> files;
    // The first archive is the largest, so four at once end it last.
    files.emplace_back("f000.bin", Content(0, 1 << 20));
    for (int k = 1; k < 300; ++k) {
        char name[16];
        std::snprintf(name, sizeof name, "f%03d.bin", k);
        files.emplace_back(name, Content(k));
    }
    AddServed(files);

    EXPECT_EQ(znt::RunInstall(c), InstallOutcome::Finished);

    std::vector<std::string> expected;
    for (const auto& f : files) expected.push_back("fetched " + f.first + ".zip");
    EXPECT_EQ(Fetched(), expected);
    EXPECT_EQ(ReadFile(Installed("f000.bin")), files[0].second);
    EXPECT_EQ(ReadFile(Installed("f299.bin")), files[299].second);
    EXPECT_EQ(far.Requests(), 300);
    EXPECT_LE(far.Connections(), GetParam());
    EXPECT_EQ(far.PeakConnections() > 1, GetParam() > 1);
    // The window follows the oldest archive in flight: it names archives in
    // the catalogue's order, starting with the first.
    const auto& shown = view.texts[DownloadControl::lblCurrent];
    ASSERT_FALSE(shown.empty());
    EXPECT_EQ(shown.front(), "T205 f000.bin...");
    EXPECT_TRUE(std::is_sorted(shown.begin(), shown.end()));
    EXPECT_EQ(view.Values(DownloadControl::PTOTAL).back(), 100);
}

TEST_P(ParallelFetch, AFailingACutAndResumedAndATwiceNamedArchiveEndAsOneAtATime) {
    tmp.write("inst dir/keep.txt", "old");
    AddServed({{"big.bin", Content(1, 300000)},
               {"gone.txt", "gone"},
               {"cut.bin", Content(2, 200000)},
               {"a.txt", "new a"},
               {"b.txt", "new b"}});
    far.NotFound(ArchivePath("gone.txt.zip"));
    far.CutShort(ArchivePath("cut.bin.zip"), 120000);      // the first try gets 120000 bytes
    AddPackage({{"again\\a.txt", "new a"}}, true, false);  // a.txt.zip once more
    AddServed({{"keep.txt", "new keep"}});

    EXPECT_EQ(znt::RunInstall(c), InstallOutcome::Finished);

    EXPECT_EQ(Fetched(), (std::vector<std::string>{"fetched big.bin.zip", "failed gone.txt.zip",
                                                   "fetched cut.bin.zip", "fetched a.txt.zip",
                                                   "fetched b.txt.zip", "fetched a.txt.zip",
                                                   "fetched keep.txt.zip"}));
    EXPECT_EQ(reasons, (std::vector<std::string>{"failed gone.txt.zip: HTTP 404"}));
    EXPECT_EQ(ReadFile(Installed("cut.bin")), Content(2, 200000));
    EXPECT_EQ(ReadFile(Installed("again/a.txt")), "new a");
    EXPECT_EQ(ReadFile(Installed("keep.txt")), "new keep");
    EXPECT_FALSE(std::filesystem::exists(Installed("gone.txt")));
    EXPECT_EQ(waits.size(), 1u);  // the cut transfer's one retry
    EXPECT_EQ(std::count(extractor.calls.begin(), extractor.calls.end(), "a.txt.zip"), 1);
    EXPECT_EQ(c.run.notInstalled, std::vector<std::string>{installFolder + "\\gone.txt"});
}

TEST_P(ParallelFetch, AnArchiveRefusedByItsSignedHashInstallsNothing) {
    AddServed({{"a.txt", "new a"}, {"b.txt", "new b"}, {"c.txt", "new c"}, {"d.txt", "new d"}});
    c.archiveHashes.required = true;
    for (const char* name : {"a.txt", "b.txt", "d.txt"}) {
        c.archiveHashes.hexByName[std::string(name) + ".zip"] =
            znt::Sha256Hex(std::string("new ") + name[0]);
    }
    c.archiveHashes.hexByName["c.txt.zip"] = znt::Sha256Hex("other bytes");

    EXPECT_EQ(znt::RunInstall(c), InstallOutcome::Cancelled);

    EXPECT_EQ(messages.messages.front().text, "T651");
    EXPECT_TRUE(CacheEntries().empty());
    EXPECT_TRUE(extractor.calls.empty());
    for (const char* name : {"a.txt", "b.txt", "c.txt", "d.txt"}) {
        EXPECT_FALSE(std::filesystem::exists(Installed(name))) << name;
    }
}

TEST_P(ParallelFetch, CancelWhileArchivesAreInFlightInstallsNothingAndEmptiesTheCache) {
    // The first archive is held open half sent; the others arrive at once.
    AddPackage({{"held.bin", ""}, {"a.txt", "new a"}, {"b.txt", "new b"}}, true, false);
    znt::PackageFileEntry& held = packages.entries.back().File(1);
    held.ArchiveSize = held.SizeBytes = 2 << 20;
    testsupport::LoopbackResponse hold;
    hold.generatedSize = 2u << 20;
    hold.sendOnly = 1u << 20;
    hold.holdOpenAfterSending = true;
    server.Serve(ArchivePath("held.bin.zip"), hold);
    server.Serve(ArchivePath("a.txt.zip"), std::string("new a"));
    server.Serve(ArchivePath("b.txt.zip"), std::string("new b"));
    c.source.serverBase = server.Url();
    int idleTurns = 0;
    ov::SetYieldHook([&] {
        std::vector<int> bar = view.Values(DownloadControl::PBAR);
        if (bar.empty() || bar.back() != 50 || ++idleTurns != 3) return;
        view.ClickCancel();
    });

    EXPECT_EQ(znt::RunInstall(c), InstallOutcome::Cancelled);

    EXPECT_TRUE(CacheEntries().empty());
    EXPECT_TRUE(extractor.calls.empty());
    EXPECT_FALSE(std::filesystem::exists(Installed("a.txt")));
    for (const auto& f : packages.entries.back().Files) EXPECT_FALSE(f.Fetched);
    // Nothing is reported past the archive in flight that Cancel stopped.
    EXPECT_TRUE(Fetched().empty());
}
