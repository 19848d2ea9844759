#include "catalogue/FileTests.h"
#include "support/PeWriter.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>

using testsupport::PeFault;
using testsupport::PeOptions;
using testsupport::TempDir;

namespace {

constexpr std::int32_t kLow2173 = (7 << 16) | 3;

}  // namespace

TEST(VersionDiffers, ComparesTheProductVersionLowDoubleWordForEquality) {
    TempDir dir;
    PeOptions options;
    options.productVersion = {2, 1, 7, 3};
    options.fileVersion = {9, 9, 9, 9};  // the file version plays no part
    ASSERT_TRUE(testsupport::WritePe(dir.file("a.dll"), options));
    EXPECT_FALSE(znt::VersionDiffers(kLow2173, dir.file("a.dll")));
    EXPECT_TRUE(znt::VersionDiffers(kLow2173 + 1, dir.file("a.dll")));
    EXPECT_TRUE(znt::VersionDiffers(kLow2173 - 1, dir.file("a.dll")));  // newer counts too
}

TEST(VersionDiffers, HighPartsAboveTheSignedRangeCompareAsTheCatalogueWritesThem) {
    TempDir dir;
    PeOptions options;
    options.productVersion = {1, 0, 0xFFFF, 2};  // low double word 0xFFFF0002
    ASSERT_TRUE(testsupport::WritePe(dir.file("b.dll"), options));
    EXPECT_FALSE(znt::VersionDiffers(static_cast<std::int32_t>(0xFFFF0002u), dir.file("b.dll")));
}

TEST(VersionDiffers, NoResourceOrNoFileAlwaysDiffers) {
    TempDir dir;
    for (PeFault fault : {PeFault::NoResourceSection, PeFault::NoVersionResource,
                          PeFault::Truncated, PeFault::BadVersionSignature}) {
        PeOptions options;
        options.fault = fault;
        ASSERT_TRUE(testsupport::WritePe(dir.file("bad.dll"), options));
        EXPECT_TRUE(znt::VersionDiffers(kLow2173, dir.file("bad.dll")));
    }
    dir.write("text.txt", "plain text");
    EXPECT_TRUE(znt::VersionDiffers(0, dir.file("text.txt")));
    EXPECT_TRUE(znt::VersionDiffers(0, dir.file("missing.dll")));
}

TEST(SizeDiffers, OnlyTheExactLengthMatches) {
    TempDir dir;
    dir.write("f.bin", std::string(1000, 'x'));
    dir.write("empty.bin", "");
    EXPECT_FALSE(znt::SizeDiffers(1000, dir.file("f.bin")));
    EXPECT_TRUE(znt::SizeDiffers(999, dir.file("f.bin")));
    EXPECT_TRUE(znt::SizeDiffers(1001, dir.file("f.bin")));
    EXPECT_FALSE(znt::SizeDiffers(0, dir.file("empty.bin")));
    EXPECT_TRUE(znt::SizeDiffers(0, dir.file("missing.bin")));
    EXPECT_TRUE(znt::SizeDiffers(-1, dir.file("empty.bin")));
    EXPECT_TRUE(znt::SizeDiffers(0, dir.path()));  // a folder is no file
}

TEST(FileNeedsUpdate, ChoosesTheTestByCheckModeBelowTheInstallation) {
    TempDir inst;
    PeOptions options;
    options.overlay = std::string(100, 'o');
    inst.write("Bin/tool.exe", "");  // creates the folder
    ASSERT_TRUE(testsupport::WritePe(inst.file("Bin/tool.exe"), options));
    const auto length = static_cast<std::int32_t>(testsupport::MakePe(options).size());
    inst.write("top.txt", "12345");

    znt::PackageFileEntry versioned{"bin\\TOOL.exe", 0, kLow2173, 1, 1, "tool.exe.zip"};
    EXPECT_FALSE(znt::FileNeedsUpdate(inst.path(), versioned));  // found without regard to case
    versioned.ProductVersionLow += 1;
    EXPECT_TRUE(znt::FileNeedsUpdate(inst.path(), versioned));

    znt::PackageFileEntry sized{"bin\\tool.exe", 1, 0, length, 1, "tool.exe.zip"};
    EXPECT_FALSE(znt::FileNeedsUpdate(inst.path(), sized));
    sized.CheckMode = 7;  // any mode but 0 tests the size
    EXPECT_FALSE(znt::FileNeedsUpdate(inst.path(), sized));

    znt::PackageFileEntry top{"top.txt", 1, 0, 5, 1, "top.txt.zip"};
    EXPECT_FALSE(znt::FileNeedsUpdate(inst.path(), top));
    top.FileName = "gone.txt";
    EXPECT_TRUE(znt::FileNeedsUpdate(inst.path(), top));
}

TEST(FileNeedsUpdate, UnsafeEntriesAreNeverTestedAndNeverNeedAnUpdate) {
    TempDir inst;
    for (const char* name : {"..\\outside.dll", "/etc/hostname", "C:\\x.dll", "a\\..\\..\\b"}) {
        znt::PackageFileEntry f{name, 1, 0, 12345, 10, "x.dll.zip"};
        EXPECT_FALSE(znt::FileNeedsUpdate(inst.path(), f)) << name;
    }
    znt::PackageFileEntry badArchive{"missing.dll", 1, 0, 1, 10, "..\\x.zip"};
    EXPECT_FALSE(znt::FileNeedsUpdate(inst.path(), badArchive));
}

TEST(FileTestCache, AnswersAsTheDirectTestsAndAsksTheDiskOncePerName) {
    TempDir inst;
    PeOptions options;
    options.productVersion = {2, 1, 7, 3};
    // A second file where the disk tells case apart; on Windows one file, "abc".
    inst.write("bin/A.DAT", "abcd");
    inst.write("bin/a.dat", "abc");
    ASSERT_TRUE(testsupport::WritePe(inst.file("bin/v.dll"), options));
    std::vector<znt::PackageFileEntry> entries = {
        {"bin\\a.dat", 1, 0, 3, 1, "a.dat.zip"},
        {"bin/a.dat", 1, 0, 4, 1, "a.dat.zip"},
        {"bin\\A.DAT", 1, 0, 4, 1, "a.dat.zip"},
        {"bin\\A.DAT", 1, 0, 3, 1, "a.dat.zip"},
        {"BIN\\a.dat", 2, 0, 3, 1, "a.dat.zip"},
        {"bin\\v.dll", 0, kLow2173, 0, 1, "v.dll.zip"},
        {"bin\\v.dll", 0, kLow2173 + 1, 0, 1, "v.dll.zip"},
        {"bin\\v.dll", 1, 0, 0, 1, "v.dll.zip"},
        {"bin\\gone", 0, 0, 0, 1, "gone.zip"},
        {"..\\bin\\a.dat", 1, 0, 0, 1, "a.dat.zip"}};
    znt::FileTestCache tests(inst.path());
    for (int round = 0; round < 2; ++round) {
        for (const auto& f : entries) {
            EXPECT_EQ(tests.NeedsUpdate(f), znt::FileNeedsUpdate(inst.path(), f)) << f.FileName;
        }
    }
    const std::uint64_t upperLength = std::filesystem::file_size(inst.file("bin/A.DAT"));
    EXPECT_EQ(tests.InstalledLength(entries[2]), upperLength);
    EXPECT_EQ(tests.InstalledLength(entries[8]), std::nullopt);

    // What was asked is kept for the build; a changed disk shows in a new cache.
    inst.write("bin/a.dat", "abcd");
    EXPECT_FALSE(tests.NeedsUpdate(entries[0]));
    EXPECT_EQ(tests.InstalledLength(entries[1]), 3u);
    EXPECT_TRUE(znt::FileTestCache(inst.path()).NeedsUpdate(entries[0]));

    // An entry renamed in place is asked by its new name.
    entries[0].FileName = "bin\\gone";
    EXPECT_TRUE(tests.NeedsUpdate(entries[0]));
    EXPECT_EQ(tests.InstalledLength(entries[0]), std::nullopt);
}
