#pragma once

// Builds delta files from their parts (control records, diff and extra
// bytes), so that tests can make deltas no honest encoder writes, on every
// platform (the encoder is built natively only).

#include "delta/DeltaDecoder.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace deltatest {

struct Record {
    std::int64_t seek;
    std::uint64_t add, extra;
};

struct DeltaParts {
    std::uint64_t baseSize = 0, resultSize = 0;
    std::vector<Record> records;
    std::string diff, extra;
    std::optional<std::string> rawControl;  // replaces the records when set
    std::optional<std::uint32_t> crc;       // the expected result's when unset
    std::string expected;                   // the result the parts describe
};

// The delta file for parts: header, then the three streams deflated.
std::string BuildDelta(const DeltaParts& parts);

// A delta that rebuilds target from base: their common length as bytewise
// differences, the rest of target as extra bytes.
std::string SimpleDelta(const std::string& base, const std::string& target);

// Deflates bytes into one zlib stream.
std::string Deflate(const std::string& bytes);

// A result collected from ApplyDelta.
struct Rebuilt {
    bool ok = false;
    std::string error, bytes;
};
Rebuilt Apply(const std::string& basePath, const std::string& deltaPath);

}  // namespace deltatest
