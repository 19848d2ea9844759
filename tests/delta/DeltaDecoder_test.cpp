// The decoder over deltas built part by part: what the records describe is
// rebuilt exactly, and every kind of damage is refused with its reason
// without a byte past the declared result size reaching the sink.
#include "support/DeltaBuilder.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <limits>
#include <random>
#include <string>

using deltatest::DeltaParts;
using deltatest::Record;

namespace {

const std::string kBase = "abcdefghijklmnopqrstuvwxyz";

// Forward and backward seeks, diffs and extra bytes: "ceefg" + "XYZ" + "ab" +
// "wxyz" + "!".
DeltaParts Sample() {
    DeltaParts p;
    p.baseSize = kBase.size();
    p.records = {{2, 5, 3}, {-7, 2, 0}, {20, 4, 1}};
    p.diff = std::string("\0\1\0\0\0", 5) + std::string(6, '\0');
    p.extra = "XYZ!";
    p.expected = "ceefgXYZabwxyz!";
    p.resultSize = p.expected.size();
    return p;
}

// Overwrites a little-endian 8-byte header field.
void SetField(std::string& delta, std::size_t offset, std::uint64_t value) {
    for (int i = 0; i < 8; ++i) delta[offset + i] = static_cast<char>(value >> (8 * i));
}

std::size_t ControlStart() { return znt::kDeltaHeaderSize; }

struct Damage {
    const char* name;
    std::function<void(DeltaParts&)> parts;
    std::function<void(std::string&)> bytes;
    const char* reason;
};

}  // namespace

TEST(DeltaDecoder, RebuildsWhatTheRecordsDescribe) {
    testsupport::TempDir dir;
    std::string base = dir.write("base", kBase);
    DeltaParts sample = Sample();
    auto r = deltatest::Apply(base, dir.write("sample", deltatest::BuildDelta(sample)));
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.bytes, sample.expected);

    DeltaParts empty;
    r = deltatest::Apply(dir.write("empty-base", ""),
                         dir.write("empty", deltatest::BuildDelta(empty)));
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.bytes, "");

    // Lengths far past the decoder's working pieces, in both streams.
    std::mt19937 rng(7);
    std::string big(700000, '\0'), diff(big.size(), '\0'), extra(300000, '\0');
    for (char& c : big) c = static_cast<char>(rng());
    for (std::size_t i = 0; i < diff.size(); i += 97) diff[i] = static_cast<char>(rng());
    for (char& c : extra) c = static_cast<char>(rng());
    DeltaParts large;
    large.baseSize = big.size();
    large.records = {{0, big.size(), extra.size()}};
    large.diff = diff;
    large.extra = extra;
    for (std::size_t i = 0; i < big.size(); ++i)
        large.expected += static_cast<char>(big[i] + diff[i]);
    large.expected += extra;
    large.resultSize = large.expected.size();
    r = deltatest::Apply(dir.write("big", big), dir.write("large", deltatest::BuildDelta(large)));
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_TRUE(r.bytes == large.expected);
}

TEST(DeltaDecoder, RefusesEveryDamageWithItsReason) {
    const std::uint64_t kHuge = std::numeric_limits<std::uint64_t>::max();
    const std::int64_t kMostNegative = std::numeric_limits<std::int64_t>::min();
    const Damage damages[] = {
        {"wrong magic", nullptr, [](std::string& d) { d[0] = 'X'; }, "not a delta"},
        {"shorter than a header", nullptr, [](std::string& d) { d.resize(20); }, "not a delta"},
        {"later version", nullptr, [](std::string& d) { d[4] = 2; }, "delta version not supported"},
        {"reserved field set", nullptr, [](std::string& d) { d[52] = 1; }, "delta damaged: header"},
        {"file cut", nullptr, [](std::string& d) { d.pop_back(); }, "delta cut short"},
        {"trailing bytes", nullptr, [](std::string& d) { d += '\0'; }, "delta has trailing bytes"},
        {"stream length wraps", nullptr, [kHuge](std::string& d) { SetField(d, 32, kHuge); },
         "delta cut short"},
        {"base size too large", [](DeltaParts& p) { p.baseSize++; }, nullptr, "base too short"},
        {"base size too small", [](DeltaParts& p) { p.baseSize--; }, nullptr, "base too long"},
        {"seek past the base", [](DeltaParts& p) { p.records[2].seek = 20 + 5; }, nullptr,
         "delta damaged: seek out of range"},
        {"seek before the base", [](DeltaParts& p) { p.records[1].seek = -8; }, nullptr,
         "delta damaged: seek out of range"},
        {"most negative seek",
         [kMostNegative](DeltaParts& p) { p.records[1].seek = kMostNegative; }, nullptr,
         "delta damaged: seek out of range"},
        {"add past the base", [](DeltaParts& p) { p.records[2].seek = 21; }, nullptr,
         "delta damaged: add past the end of the base"},
        {"huge add", [kHuge](DeltaParts& p) { p.records[0].add = kHuge; }, nullptr,
         "delta damaged: add past the end of the base"},
        {"add past the result", [](DeltaParts& p) { p.resultSize = 4; }, nullptr,
         "result too long"},
        {"extra past the result", [](DeltaParts& p) { p.resultSize = 6; }, nullptr,
         "result too long"},
        {"records past the result", [](DeltaParts& p) { p.resultSize = 10; }, nullptr,
         "result too long"},
        {"records end early", [](DeltaParts& p) { p.resultSize++; }, nullptr, "result too short"},
        {"record cut",
         [](DeltaParts& p) {
             std::string control;
             for (const Record& r : p.records)
                 znt::AppendDeltaRecord(control, r.seek, r.add, r.extra);
             control.resize(control.size() - 10);
             p.rawControl = control;
         },
         nullptr, "delta damaged: control stream ends inside a record"},
        {"empty record",
         [](DeltaParts& p) {
             p.records.insert(p.records.begin(), Record{0, 0, 0});
         },
         nullptr, "delta damaged: empty control record"},
        {"diff short", [](DeltaParts& p) { p.diff.pop_back(); }, nullptr,
         "delta damaged: diff stream ends early"},
        {"diff long", [](DeltaParts& p) { p.diff += 'x'; }, nullptr,
         "delta damaged: diff stream holds unused bytes"},
        {"extra short", [](DeltaParts& p) { p.extra.pop_back(); }, nullptr,
         "delta damaged: extra stream ends early"},
        {"extra long", [](DeltaParts& p) { p.extra += 'x'; }, nullptr,
         "delta damaged: extra stream holds unused bytes"},
        {"zlib header", nullptr, [](std::string& d) { d[ControlStart()] = 0; },
         "delta damaged: control stream is corrupt"},
        {"zlib checksum", nullptr,
         [](std::string& d) {
             std::uint64_t controlBytes =
                 static_cast<unsigned char>(d[24]);  // a sample's streams are small
             d[ControlStart() + controlBytes - 1] ^= 1;
         },
         "delta damaged: control stream is corrupt"},
        {"stream lengths shifted", nullptr,
         [](std::string& d) {
             d[24] = static_cast<char>(d[24] - 1);
             d[32] = static_cast<char>(d[32] + 1);
         },
         "delta damaged: diff stream is corrupt"},  // read before the control stream ends
        {"stream lengths shifted the other way", nullptr,
         [](std::string& d) {
             d[24] = static_cast<char>(d[24] + 1);
             d[32] = static_cast<char>(d[32] - 1);
         },
         "delta damaged: diff stream is corrupt"},
        {"checksum", [](DeltaParts& p) { p.crc = 12345; }, nullptr, "result checksum differs"},
        {"other base of the same size", [](DeltaParts& p) { p.diff[1] = 2; }, nullptr,
         "result checksum differs"},
    };
    testsupport::TempDir dir;
    std::string base = dir.write("base", kBase);
    for (const Damage& damage : damages) {
        DeltaParts parts = Sample();
        if (damage.parts) damage.parts(parts);
        std::string delta = deltatest::BuildDelta(parts);
        if (damage.bytes) damage.bytes(delta);
        auto r = deltatest::Apply(base, dir.write("delta", delta));
        EXPECT_FALSE(r.ok) << damage.name;
        EXPECT_EQ(r.error, damage.reason) << damage.name;
        EXPECT_LE(r.bytes.size(), parts.resultSize) << damage.name;
    }
}

TEST(DeltaDecoder, ReportsMissingFilesAndARefusingSink) {
    testsupport::TempDir dir;
    std::string base = dir.write("base", kBase),
                delta = dir.write("delta", deltatest::BuildDelta(Sample()));
    std::string error;
    auto keep = [](const char*, std::size_t) { return true; };
    EXPECT_FALSE(znt::ApplyDelta(base, dir.file("missing"), keep, error));
    EXPECT_EQ(error, "delta unreadable");
    EXPECT_FALSE(znt::ApplyDelta(dir.file("missing"), delta, keep, error));
    EXPECT_EQ(error, "base unreadable");
    EXPECT_FALSE(znt::ApplyDelta(
        base, delta, [](const char*, std::size_t) { return false; }, error));
    EXPECT_EQ(error, "cannot write the result");
}
