// Deltas made by the encoder rebuild their target exactly, and stay small
// where the files share most of their bytes.
#include "DeltaEncoder.h"
#include "support/DeltaBuilder.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>

namespace {

std::string Random(std::size_t size, std::mt19937& rng) {
    std::string s(size, '\0');
    for (char& c : s) c = static_cast<char>(rng());
    return s;
}

// Changes about one byte in a hundred, in short runs at random places.
std::string Scatter(std::string s, std::mt19937& rng) {
    for (std::size_t changed = 0; changed < s.size() / 100;) {
        std::size_t at = rng() % s.size(), run = 1 + rng() % 16;
        for (std::size_t i = at; i < std::min(s.size(), at + run); ++i)
            s[i] = static_cast<char>(rng());
        changed += run;
    }
    return s;
}

// A table of 32-bit addresses, as code and relocations hold them.
std::string Addresses(std::uint32_t shift, std::size_t count) {
    std::string s;
    for (std::uint32_t i = 0; i < count; ++i) {
        std::uint32_t v = 0x401000 + i * 24 + (i % 7) * 3 + shift;
        for (int b = 0; b < 4; ++b) s += static_cast<char>(v >> (8 * b));
        s += "\x8B\x45\xF8\x50";  // an instruction between the addresses
    }
    return s;
}

struct Pair {
    const char* name;
    std::string base, target;
    double maxShare;  // largest delta size allowed, as a share of the target; 0: not checked
};

}  // namespace

TEST(DeltaRoundTrip, RebuildsEveryKindOfChange) {
    std::mt19937 rng(1993);
    std::string mega = Random(1 << 20, rng);
    std::string moved = mega.substr(0, 300000) + Random(5000, rng) + mega.substr(300000, 200000) +
                        mega.substr(520000, 400000) + mega.substr(100000, 50000) +
                        mega.substr(950000);
    std::string zeros(200000, '\0'), dotted = zeros;
    for (std::size_t i = 0; i < dotted.size(); i += 4099) dotted[i] = 1;
    const Pair pairs[] = {
        {"both empty", "", "", 0},
        {"empty base", "", Random(5000, rng), 0},
        {"empty target", Random(5000, rng), "", 0},
        {"one byte each", "a", "b", 0},
        {"identical", mega, mega, 0.002},
        {"scattered edits", mega, Scatter(mega, rng), 0.05},
        {"insertions, deletions and moved blocks", mega, moved, 0.02},
        {"unrelated", Random(100000, rng), Random(120000, rng), 1.01},
        {"addresses shifted and one inserted", Addresses(0, 40000),
         Addresses(0, 1) + "\x12\x34\x56\x78" + Addresses(16, 40000).substr(4), 0.02},
        {"long runs", zeros, dotted, 0.01},
        {"target larger than the base", mega.substr(0, 1000), mega.substr(0, 1000) + mega, 1.01},
    };
    testsupport::TempDir dir;
    for (const Pair& pair : pairs) {
        std::string delta, error;
        ASSERT_TRUE(publish::MakeDelta(pair.base, pair.target, delta, error))
            << pair.name << ": " << error;
        auto r = deltatest::Apply(dir.write("base", pair.base), dir.write("delta", delta));
        ASSERT_TRUE(r.ok) << pair.name << ": " << r.error;
        EXPECT_TRUE(r.bytes == pair.target) << pair.name;
        if (pair.maxShare > 0) {
            EXPECT_LE(static_cast<double>(delta.size()),
                      pair.maxShare * static_cast<double>(pair.target.size()))
                << pair.name << ": " << delta.size() << " bytes";
        }
    }
}
