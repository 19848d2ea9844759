#pragma once

// Deltas of the published files against earlier versions of the payload,
// and their index packages.delta beside the catalogue. The index is text,
// one line a delta, fields separated by one space, the file name last (file
// names are plain printable ASCII, so no line can hold a control character):
//
//   <result SHA-256> <result size> <base SHA-256> <delta file> <delta size> <file name>
//
// Lines starting with "#" are comments. Delta files lie in files/ beside
// the archives and end in ".zdelta" (archives end in ".zip"), so no name
// can be both.

#include "Description.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace publish {

inline constexpr const char* kDeltaIndexName = "packages.delta";

struct DeltaEntry {
    std::string fileName;                  // as the catalogue names it
    std::string resultSha256, baseSha256;  // lower-case hex
    std::uint64_t resultSize = 0;
    std::string deltaName;  // below files/
    std::uint64_t deltaSize = 0;
};

std::string FormatDeltaIndex(const std::vector<DeltaEntry>& entries);

// For every file of d that differs in a previous payload folder, a delta
// from that version to the new one, kept when it is under half the file's
// archive (already in outFolder/files/). Writes outFolder/packages.delta
// when previous is not empty and removes one left by an earlier run when it
// is; deltaNames receives the kept deltas' names below files/.
bool PublishDeltas(const Description& d, const std::map<std::string, std::string>& archiveOf,
                   const std::string& payloadFolder, const std::vector<std::string>& previous,
                   const std::string& outFolder, std::vector<std::string>& deltaNames,
                   std::string& error);

}  // namespace publish
