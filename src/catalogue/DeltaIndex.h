#pragma once

// The delta index the update server may publish beside the catalogue
// (packages.delta): for a file of the catalogue, deltas that rebuild its new
// version from an older one (DeltaDecoder.h). One text line a delta, fields
// separated by one blank, the file name last:
//
//   <result SHA-256> <result size> <base SHA-256> <delta file> <delta size> <file name>
//
// Lines starting with "#" and empty lines are ignored; a line may end in
// CR LF. The delta file lies in files/ beside the archives and ends in
// ".zdelta". The index is untrusted input and read whole or not at all: a
// malformed line, a size beyond 32 bits, an unsafe delta or file name, two
// deltas for the same file and base (which one would be meant?) or one delta
// file named twice (two downloads would share its cache name) refuse
// the whole index, and the install run then fetches archives as it always
// did.

#include "catalogue/Catalogue.h"
#include "catalogue/CatalogueTrust.h"
#include "catalogue/Retrieval.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ov {
class InetControl;
}

namespace znt {

inline constexpr const char* kDeltaIndexName = "packages.delta";
inline constexpr std::uint64_t kMaxDeltaIndexBytes = 4u << 20;

struct DeltaIndex {
    // The deltas listed for a file name, keyed by DeltaFileKey.
    std::multimap<std::string, DeltaSource> byFile;

    // The deltas listed for a catalogue FileName.
    std::vector<const DeltaSource*> For(std::string_view fileName) const;
};

// A file name as the index and the catalogue may both spell it: "/" read as
// "\", ASCII letters in capitals (Windows names ignore case).
std::string DeltaFileKey(std::string_view fileName);

// A delta file name: a safe archive name ending in ".zdelta".
bool IsSafeDeltaName(std::string_view name);

// The index a text holds; nothing when it is not read whole, with *problem
// saying why ("line 3: bad base hash").
std::optional<DeltaIndex> ParseDeltaIndex(std::string_view text, std::string* problem = nullptr);

// The delta to fetch instead of f's archive: one listed for f whose base is
// the installed copy (sha256 of its bytes, taken by the caller only when
// For(f.FileName) is not empty), whose result fits f (a size-checked file's
// result has its catalogue size) and which is smaller than the archive.
std::optional<DeltaSource> ChooseDelta(const DeltaIndex& index, const PackageFileEntry& f,
                                       std::string_view installedSha256);

// The update server's index, asked for once per catalogue fetch: the first
// list that has files to fetch asks, the install run that follows uses it.
struct DeltaOffer {
    bool asked = false;
    std::optional<DeltaIndex> index;
    // Why an index the server had was not used ("hash mismatch", "line 3:
    // bad size"), for the install log; empty when it was, or when there
    // was none to use (a server without deltas, a local source folder).
    std::string problem;
};

// <serverBase>/ovw2010/packages.delta, read whole up to kMaxDeltaIndexBytes;
// with a signed catalogue (hashes.required) only when the signed list names
// it and its bytes have that hash. A local source folder offers no deltas:
// its archives cost no transfer. Asks once; nothing when there is no index
// to use.
const DeltaIndex* AskDeltaIndex(DeltaOffer& offer, const CatalogueSource& source,
                                ov::InetControl& inet, const ArchiveHashes& hashes);

}  // namespace znt
