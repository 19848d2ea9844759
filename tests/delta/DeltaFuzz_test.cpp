// Mutated deltas: the decoder must neither crash nor hand out more than the
// declared result size, and a delta it accepts yields exactly that size.
// Seeds are fixed, so runs repeat.
#include "support/DeltaBuilder.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <random>
#include <string>

using deltatest::DeltaParts;

namespace {

// A base and a delta of several records over it.
struct Sample {
    std::string base;
    DeltaParts parts;
};

Sample MakeSample(std::mt19937& rng) {
    Sample s;
    s.base.resize(3000);
    for (char& c : s.base) c = static_cast<char>(rng() % 7);
    DeltaParts& p = s.parts;
    p.baseSize = s.base.size();
    std::uint64_t cursor = 0;
    for (int i = 0; i < 6; ++i) {
        std::uint64_t to = rng() % 2500, add = 1 + rng() % 400, extra = rng() % 50;
        p.records.push_back(
            {static_cast<std::int64_t>(to) - static_cast<std::int64_t>(cursor), add, extra});
        for (std::uint64_t k = 0; k < add; ++k) {
            char d = static_cast<char>(rng() % 5 == 0 ? rng() : 0);
            p.diff += d;
            p.expected += static_cast<char>(s.base[to + k] + d);
        }
        for (std::uint64_t k = 0; k < extra; ++k) p.extra += static_cast<char>('a' + rng() % 26);
        p.expected += p.extra.substr(p.extra.size() - extra);
        cursor = to + add;
    }
    p.resultSize = p.expected.size();
    return s;
}

std::uint64_t Edge(std::mt19937& rng) {
    const std::uint64_t edges[] = {
        0, 1, 2999, 3000, 3001, ~0ull, 1ull << 63, (1ull << 63) - 1, ~0ull - 2999};
    return rng() % 2 ? edges[rng() % std::size(edges)] : rng() % 4000;
}

// Lies in the records and sizes, inside well-formed streams.
std::string MutateParts(DeltaParts p, std::mt19937& rng) {
    for (int e = 0, edits = 1 + rng() % 3; e < edits; ++e) {
        auto& r = p.records[rng() % p.records.size()];
        switch (rng() % 7) {
        case 0: r.seek = static_cast<std::int64_t>(rng() % 2 ? Edge(rng) : 0 - Edge(rng)); break;
        case 1: r.add = Edge(rng); break;
        case 2: r.extra = Edge(rng); break;
        case 3: p.resultSize = Edge(rng); break;
        case 4: p.diff.resize(rng() % (p.diff.size() + 10)); break;
        case 5: p.extra.resize(rng() % (p.extra.size() + 10), 'q'); break;
        default:
            p.records.erase(p.records.begin() + static_cast<long>(rng() % p.records.size()));
            break;
        }
        if (p.records.empty()) break;
    }
    return deltatest::BuildDelta(p);
}

// Damage to the bytes themselves: header, compressed streams, length.
std::string MutateBytes(std::string d, std::mt19937& rng) {
    for (int e = 0, edits = 1 + rng() % 4; e < edits && !d.empty(); ++e) {
        std::size_t at = rng() % d.size();
        switch (rng() % 4) {
        case 0: d[at] = static_cast<char>(rng()); break;
        case 1: d.erase(at, 1 + rng() % 8); break;
        case 2: d.insert(at, 1, static_cast<char>(rng())); break;
        default: d.resize(at); break;
        }
    }
    return d;
}

void CheckInvariants(const std::string& basePath, const testsupport::TempDir& dir,
                     const std::string& delta) {
    // A new file each time: truncating a file on ext4 flushes it to the disk.
    static int serial = 0;
    std::string path = dir.write("delta" + std::to_string(++serial), delta);
    auto r = deltatest::Apply(basePath, path);
    std::remove(path.c_str());
    znt::DeltaHeader h;
    std::string error;
    if (!znt::ParseDeltaHeader(delta, h, error)) {
        ASSERT_FALSE(r.ok);
        ASSERT_TRUE(r.bytes.empty());
        return;
    }
    ASSERT_LE(r.bytes.size(), h.resultSize);
    if (r.ok)
        ASSERT_EQ(r.bytes.size(), h.resultSize);
    else
        ASSERT_FALSE(r.error.empty());
}

}  // namespace

TEST(DeltaFuzz, MutatedDeltasDecodeSafely) {
    std::mt19937 rng(20260101);
    testsupport::TempDir dir;
    Sample sample = MakeSample(rng);
    std::string base = dir.write("base", sample.base);
    auto intact = deltatest::Apply(base, dir.write("delta", deltatest::BuildDelta(sample.parts)));
    ASSERT_TRUE(intact.ok) << intact.error;
    ASSERT_EQ(intact.bytes, sample.parts.expected);
    std::string delta = deltatest::BuildDelta(sample.parts);
    for (int round = 0; round < 1500; ++round) {
        ASSERT_NO_FATAL_FAILURE(CheckInvariants(base, dir, MutateParts(sample.parts, rng)))
            << "round " << round;
        ASSERT_NO_FATAL_FAILURE(CheckInvariants(base, dir, MutateBytes(delta, rng)))
            << "round " << round;
    }
}
