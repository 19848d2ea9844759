#pragma once

// Makes deltas (the format is described in src/delta/DeltaDecoder.h). The
// search holds the base, the target and a suffix array of the base (4 bytes
// a base byte) in memory; the deltas themselves are built compressed.

#include <cstdint>
#include <string>
#include <string_view>

namespace publish {

// The largest base the search takes (its suffix array has 32-bit entries).
constexpr std::uint64_t kMaxDeltaBase = (1ull << 31) - 1;

// A delta that rebuilds target from base. False with a reason when base is
// larger than kMaxDeltaBase.
bool MakeDelta(std::string_view base, std::string_view target, std::string& delta,
               std::string& error);

// MakeDelta over files; the delta is written atomically to deltaPath.
bool MakeDeltaFile(std::string_view basePath, std::string_view targetPath,
                   std::string_view deltaPath, std::string& error);

}  // namespace publish
