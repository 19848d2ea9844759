#pragma once

// Delta files: a new version of a file described as edits of an older one
// (the base), so an update fetches the edits instead of the whole file.
//
// Layout (all numbers little-endian):
//
//   offset  size  field
//   0       4     magic "ZNDF"
//   4       4     format version, 1
//   8       8     base size: the exact length of the file the delta applies to
//   16      8     result size: the exact length of the file it rebuilds
//   24      8     control stream length (compressed bytes)
//   32      8     diff stream length (compressed bytes)
//   40      8     extra stream length (compressed bytes)
//   48      4     CRC-32 of the result (zlib's crc32)
//   52      4     reserved, 0
//   56            the control, diff and extra streams, one after the other,
//                 each one complete zlib stream; the file ends with the last
//
// The result is built by a program over a base cursor (starting at 0). The
// control stream holds records of three 8-byte numbers:
//
//   seek   signed: moves the base cursor; it must stay within [0, base size]
//   add    that many result bytes are base bytes at the cursor plus the next
//          diff stream bytes (bytewise, modulo 256); the cursor advances
//   extra  that many result bytes are taken from the extra stream
//
// A record with add and extra both 0 is refused, so the number of records
// is bounded by the result size. The diff stream holds exactly the sum of the
// adds, the extra stream the sum of the extras, and the records produce
// exactly the result size.
//
// A delta is untrusted input: every length and offset is checked against the
// declared sizes before it is used, nothing is written past the result size,
// and memory stays bounded whatever the sizes claim.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace znt {

constexpr std::size_t kDeltaHeaderSize = 56;
constexpr std::uint32_t kDeltaVersion = 1;
constexpr std::size_t kDeltaRecordSize = 24;

struct DeltaHeader {
    std::uint64_t baseSize = 0;
    std::uint64_t resultSize = 0;
    std::uint64_t controlBytes = 0;
    std::uint64_t diffBytes = 0;
    std::uint64_t extraBytes = 0;
    std::uint32_t resultCrc = 0;
};

// The 56 header bytes for header.
std::string FormatDeltaHeader(const DeltaHeader& header);

// Reads the header from the first bytes of a delta; false with a reason when
// they are no delta header of this version.
bool ParseDeltaHeader(std::string_view bytes, DeltaHeader& header, std::string& error);

// Appends one control record.
void AppendDeltaRecord(std::string& control, std::int64_t seek, std::uint64_t add,
                       std::uint64_t extra);

// Receives the result in order, in pieces; false stops the rebuild.
using DeltaSink = std::function<bool(const char* data, std::size_t size)>;

// Rebuilds the result of the delta at deltaPath over the base at basePath and
// hands it to sink. False with a short reason ("delta damaged: ...", "base
// too short", "result too long", "result checksum differs", ...) when the
// delta or the base is not what it should be; sink may then have received a
// part of the result, which the caller discards.
bool ApplyDelta(std::string_view basePath, std::string_view deltaPath, const DeltaSink& sink,
                std::string& error);

}  // namespace znt
