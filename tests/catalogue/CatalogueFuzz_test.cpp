// Random and mutated catalogues: the reader must neither crash nor allocate
// beyond what the input can describe. Seeds are fixed, so runs repeat.
#include "catalogue/Catalogue.h"
#include "catalogue/CatalogueWriter.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace {

constexpr std::string_view kAlphabet = "0123456789-+.,\"\r\n #TRUEFALSE\\/:abc\x80\xE1";

std::string SampleCatalogue() {
    znt::Packages c;
    for (int i = 0; i < 4; ++i) {
        auto& p = c.entries.emplace_back();
        p.Code = 60 + i;
        p.NameEnglish = "Package " + std::to_string(i);
        p.NameGreek = "Πακέτο " + std::to_string(i);
        p.Version = "1." + std::to_string(i);
        for (int j = 0; j <= i; ++j) {
            p.Files.push_back({"bin\\f" + std::to_string(j), j % 2, 65536 * j + 3, 100 * j, 50 * j,
                               "f" + std::to_string(j) + ".zip"});
        }
        p.FileCount = static_cast<int>(p.Files.size());
    }
    std::string out, error;
    EXPECT_TRUE(znt::FormatCatalogue(c, out, error)) << error;
    return out;
}

std::string Mutate(std::string s, std::mt19937& rng) {
    std::uniform_int_distribution<int> kind(0, 4);
    int edits = 1 + static_cast<int>(rng() % 8);
    for (int e = 0; e < edits && !s.empty(); ++e) {
        size_t at = rng() % s.size();
        switch (kind(rng)) {
        case 0: s[at] = kAlphabet[rng() % kAlphabet.size()]; break;
        case 1: s.erase(at, 1 + rng() % 20); break;
        case 2: s.insert(at, 1, kAlphabet[rng() % kAlphabet.size()]); break;
        case 3: s.insert(at, rng() % 2 ? "2147483647," : "-2147483648,"); break;
        default: s.resize(at); break;
        }
    }
    return s;
}

std::string RandomBytes(std::mt19937& rng) {
    std::string s(rng() % 400, '\0');
    for (char& c : s) c = kAlphabet[rng() % kAlphabet.size()];
    return s;
}

void CheckInvariants(const std::string& input) {
    znt::Packages c = znt::ParseCatalogue(input);
    ASSERT_LE(static_cast<size_t>(c.PackageCount()), input.size());
    size_t files = 0;
    for (const auto& p : c.entries) {
        ASSERT_EQ(p.FileCount, static_cast<int>(p.Files.size()));
        files += p.Files.size();
    }
    ASSERT_LE(files, input.size());
}

}  // namespace

TEST(CatalogueFuzz, MutatedCataloguesReadSafely) {
    const std::string sample = SampleCatalogue();
    std::mt19937 rng(20100601);
    for (int round = 0; round < 4000; ++round) {
        ASSERT_NO_FATAL_FAILURE(CheckInvariants(Mutate(sample, rng))) << "round " << round;
    }
}

TEST(CatalogueFuzz, RandomBytesReadSafely) {
    std::mt19937 rng(4242);
    for (int round = 0; round < 4000; ++round) {
        ASSERT_NO_FATAL_FAILURE(CheckInvariants(RandomBytes(rng))) << "round " << round;
    }
}

TEST(CatalogueFuzz, ClaimsOfHugeCountsCostNothing) {
    // Every count at its maximum, with next to nothing behind it.
    std::string s = "2147483647\r\n2147483647\r\n";
    for (int i = 0; i < 50; ++i) s += "2147483647,";
    CheckInvariants(s);
    EXPECT_LE(znt::ParseCatalogue(s).PackageCount(), 1);
}
