#include "install/FetchFromSource.h"

#include "InstallFixture.h"
#include "install/PartFileTransfer.h"

#include <algorithm>
#include <cstdint>
#include <limits>

using installtest::InstallTest;
using testsupport::LoopbackResponse;
using testsupport::ReadFile;
using znt::DownloadControl;

namespace {

std::string Pattern(std::size_t size) {
    std::string s(size, '\0');
    for (std::size_t i = 0; i < size; ++i) s[i] = testsupport::PatternByte(i);
    return s;
}

using FetchFromSource = InstallTest;

}  // namespace

TEST_F(FetchFromSource, ArchiveArrivesInKilobyteChunksWithStateTextsAndBars) {
    std::string body = Pattern(3000);
    AddPackage({{"bin\\a.dll", body}});
    c.run.bytes.total = 6000;

    ASSERT_TRUE(znt::FetchFromSource(c, 1, 1));
    EXPECT_TRUE(packages.Package(1).File(1).Fetched);
    EXPECT_EQ(ReadFile(tmp.file("inst dir/core/cache/a.dll.zip")), body);
    EXPECT_EQ(CacheEntries(), std::vector<std::string>{"a.dll.zip"});  // no part file left
    EXPECT_EQ(view.Values(DownloadControl::PBAR), (std::vector<int>{0, 34, 68, 100}));
    EXPECT_EQ(view.Values(DownloadControl::PTOTAL), (std::vector<int>{17, 34, 50}));
    EXPECT_EQ(view.Last(DownloadControl::lblCurrent), "T205 a.dll...");
    std::vector<std::string> states = view.texts[DownloadControl::lblResponse];
    ASSERT_FALSE(states.empty());
    EXPECT_EQ(states.front(), "T621");
    EXPECT_EQ(states.back(), "T632");
    EXPECT_EQ(std::count(states.begin(), states.end(), "T631"), 0);
}

TEST_F(FetchFromSource, PercentNeverOverflowsNorDividesByZero) {
    constexpr std::int64_t kMax32 = std::numeric_limits<std::int32_t>::max();
    EXPECT_EQ(znt::Percent(kMax32 - 1, kMax32), 99);
    EXPECT_EQ(znt::Percent(kMax32, kMax32), 100);
    EXPECT_EQ(znt::Percent(kMax32 * 1000, kMax32 * 3000), 33);
    EXPECT_EQ(znt::Percent(500, 0), 0);
    EXPECT_EQ(znt::Percent(700, 600), 100);
}

TEST_F(FetchFromSource, ArchiveOfAnyOtherLengthIsRefusedAndNothingStays) {
    AddPackage({{"short.bin", Pattern(3000)},
                {"long.bin", Pattern(3000)},
                {"cut.bin", Pattern(3000)},
                {"missing.bin", Pattern(3000)}});
    server.Serve(ArchivePath("short.bin.zip"), Pattern(2999));
    LoopbackResponse longer;
    longer.generatedSize = 16u << 20;
    server.Serve(ArchivePath("long.bin.zip"), longer);
    LoopbackResponse cut;
    cut.body = Pattern(3000);
    cut.sendOnly = 2000;
    server.Serve(ArchivePath("cut.bin.zip"), cut);
    server.Remove(ArchivePath("missing.bin.zip"));
    // A stale archive of another length must not count as fetched.
    tmp.write("inst dir/core/cache/short.bin.zip", Pattern(2500));
    std::uintmax_t largest = 0;
    ov::SetYieldHook([&] {
        for (const auto& e : std::filesystem::directory_iterator(tmp.file("inst dir/core/cache"))) {
            largest = std::max(largest, std::filesystem::file_size(e.path()));
        }
    });

    for (int j = 1; j <= 4; ++j) {
        EXPECT_FALSE(znt::FetchFromSource(c, 1, j)) << j;
        EXPECT_FALSE(packages.Package(1).File(j).Fetched) << j;
    }
    EXPECT_LE(largest, 3000u);  // the long body never grew past ArchiveSize on disk
    EXPECT_TRUE(CacheEntries().empty());
    EXPECT_EQ(view.Last(DownloadControl::lblResponse), "T631");  // the 404
}

TEST_F(FetchFromSource, LocalSourceCopiesOnlyARegularFileOfTheRightLength) {
    AddPackage({{"a.dll", Pattern(3000)},
                {"b.dll", Pattern(3000)},
                {"dir.dll", "x"},
                {"gone.dll", "x"},
                {"big.dll", Pattern(3000)}},
               true, false);
    c.source = {false, tmp.path() + "\\cd", ""};
    tmp.write("cd/files/a.dll.zip", Pattern(3000));
    tmp.write("cd/files/b.dll.zip", Pattern(2999));
    tmp.write("cd/files/big.dll.zip", Pattern(100000));
    std::filesystem::create_directories(tmp.file("cd/files/dir.dll.zip"));

    EXPECT_TRUE(znt::FetchFromSource(c, 1, 1));
    EXPECT_EQ(ReadFile(tmp.file("inst dir/core/cache/a.dll.zip")), Pattern(3000));
    for (int j = 2; j <= 5; ++j) EXPECT_FALSE(znt::FetchFromSource(c, 1, j)) << j;
    EXPECT_EQ(CacheEntries(), std::vector<std::string>{"a.dll.zip"});
    EXPECT_TRUE(view.Values(DownloadControl::PBAR).empty());
    EXPECT_TRUE(view.Values(DownloadControl::PTOTAL).empty());
}

TEST_F(FetchFromSource, UnsafeEntryOrIndexIsNeverFetched) {
    AddPackage({{"ok.txt", "abc"}});
    packages.Package(1).Files.push_back(Entry("..\\escape.txt", "abc"));
    packages.Package(1).Files.push_back(Entry("x.txt", "abc"));
    packages.Package(1).Files.back().ArchiveName = "..\\x.zip";
    packages.Package(1).FileCount = 3;

    EXPECT_FALSE(znt::FetchFromSource(c, 1, 2));
    EXPECT_FALSE(znt::FetchFromSource(c, 1, 3));
    EXPECT_FALSE(znt::FetchFromSource(c, 1, 4));
    EXPECT_FALSE(znt::FetchFromSource(c, 2, 1));
    EXPECT_EQ(server.RequestCount(ArchivePath("escape.txt.zip")), 0);
    EXPECT_TRUE(CacheEntries().empty());
    EXPECT_TRUE(view.texts[DownloadControl::lblCurrent].empty());
}
