#include "OVShared/Platform/VersionResource.h"
#include "support/PeWriter.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>

using testsupport::MakePe;
using testsupport::PeFault;
using testsupport::PeOptions;
using testsupport::TempDir;

namespace {

PeOptions Versions(std::array<std::uint16_t, 4> file, std::array<std::uint16_t, 4> product) {
    PeOptions o;
    o.fileVersion = file;
    o.productVersion = product;
    return o;
}

}  // namespace

TEST(VersionResource, ReadsTheProductVersionLowWordFromPe32AndPe32Plus) {
    TempDir dir;
    // File and product versions differ so that a wrong double word shows.
    PeOptions o = Versions({9, 8, 6, 5}, {2, 1, 7, 3});
    testsupport::WritePe(dir.file("a.dll"), o);
    o.pe32Plus = true;
    o.productVersion = {3, 0, 65535, 1};
    testsupport::WritePe(dir.file("b.exe"), o);

    EXPECT_EQ(ov::ReadProductVersionLow(dir.file("a.dll")), (7u << 16) | 3u);
    EXPECT_EQ(ov::ReadProductVersionLow(dir.file("b.exe")), (65535u << 16) | 1u);

    auto info = ov::ReadFixedFileInfo(MakePe(o));
    ASSERT_TRUE(info);
    EXPECT_EQ(info->words[0], ov::kFixedFileInfoSignature);
    EXPECT_EQ(info->FileVersionHigh(), (9u << 16) | 8u);
    EXPECT_EQ(info->FileVersionLow(), (6u << 16) | 5u);
    EXPECT_EQ(info->ProductVersionHigh(), (3u << 16) | 0u);
}

TEST(VersionResource, FindsFilesThroughProgramPaths) {
    TempDir dir;
    testsupport::WritePe(dir.write("Bin/Tool.DLL", ""), {});
    EXPECT_EQ(ov::ReadProductVersionLow(dir.path() + "\\bin\\tool.dll"), (7u << 16) | 3u);
}

TEST(VersionResource, GivesNothingForFilesWithoutAReadableVersion) {
    TempDir dir;
    for (PeFault fault :
         {PeFault::NoResourceSection, PeFault::NoVersionResource, PeFault::Truncated,
          PeFault::BadPeSignature, PeFault::BadVersionSignature}) {
        PeOptions o;
        o.fault = fault;
        for (bool plus : {false, true}) {
            o.pe32Plus = plus;
            SCOPED_TRACE(testing::Message()
                         << "fault " << static_cast<int>(fault) << " plus " << plus);
            EXPECT_FALSE(ov::ReadFixedFileInfo(MakePe(o)));
            std::string path = dir.write("f.dll", MakePe(o));
            EXPECT_FALSE(ov::ReadProductVersionLow(path));
        }
    }
    EXPECT_FALSE(ov::ReadProductVersionLow(dir.file("missing.dll")));
    EXPECT_FALSE(ov::ReadProductVersionLow(dir.write("empty.dll", "")));
    EXPECT_FALSE(ov::ReadProductVersionLow(dir.write("text.txt", "MZ but not much else")));
    EXPECT_FALSE(ov::ReadProductVersionLow(dir.path()));
}

TEST(VersionResource, ReadsOnlyWhatItNeedsFromLargeFiles) {
    TempDir dir;
    std::string path = dir.write("big.exe", MakePe({}));
    // A sparse tail makes the file far larger than anything read whole.
    std::filesystem::resize_file(path, std::uint64_t{200} << 20);
    EXPECT_EQ(ov::ReadProductVersionLow(path), (7u << 16) | 3u);
}

// Mutations and truncations of valid images, and random bytes, must give a
// result or nothing; the sanitizer build catches any read out of bounds.
TEST(VersionResource, SurvivesDamagedAndRandomInput) {
    std::mt19937 rng(20240611);
    const std::uint32_t edges[] = {0, 1, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFF, 0xFFFF, 0x2000, 0x400};
    int found = 0;
    for (bool plus : {false, true}) {
        PeOptions o;
        o.pe32Plus = plus;
        const std::string valid = MakePe(o);
        for (std::size_t n = 0; n < valid.size(); ++n) ov::ReadFixedFileInfo(valid.substr(0, n));
        for (int round = 0; round < 3000; ++round) {
            std::string bytes = valid;
            int edits = 1 + static_cast<int>(rng() % 4);
            for (int e = 0; e < edits; ++e) {
                std::size_t at = rng() % (bytes.size() - 4);
                if (rng() % 2) {
                    bytes[at] = static_cast<char>(rng());
                } else {
                    std::uint32_t v = edges[rng() % std::size(edges)];
                    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>(v >> (8 * i));
                }
            }
            if (rng() % 4 == 0) bytes.resize(rng() % bytes.size());
            if (auto info = ov::ReadFixedFileInfo(bytes)) {
                EXPECT_EQ(info->words[0], ov::kFixedFileInfoSignature);
                ++found;
            }
        }
    }
    for (int round = 0; round < 2000; ++round) {
        std::string bytes(rng() % 2048, '\0');
        for (char& c : bytes) c = static_cast<char>(rng());
        if (bytes.size() >= 2 && round % 2 == 0) bytes.replace(0, 2, "MZ");
        EXPECT_FALSE(ov::ReadFixedFileInfo(bytes));
    }
    // Most mutations miss the few bytes that matter; the reader must still find those.
    EXPECT_GT(found, 1000);
}
