#pragma once

// Entry data of the zlib reader: stored or raw-deflated bytes at a checked
// place in the archive, optionally under the traditional PKWARE encryption.
// The stream keeps to the ZipEntryStream contract (ZipReader.h): at most the
// declared size comes out, and the CRC is checked at the end.

#include "archive/ZipReader.h"

#include <cstdint>
#include <memory>
#include <string>

namespace ov {
class RegularFile;
}

namespace znt {

struct ZlibEntryPlace {
    std::uint64_t dataOffset = 0;      // first byte after the local header
    std::uint64_t compressedSize = 0;  // checked to end inside the file
    std::uint64_t size = 0;
    std::uint32_t crc = 0;
    std::uint16_t method = kZipStored;
    bool encrypted = false;
    std::uint8_t checkByte = 0;  // the last decrypted header byte must match
};

std::unique_ptr<ZipEntryStream> OpenZlibEntry(const ov::RegularFile& file,
                                              const ZlibEntryPlace& place,
                                              const std::string* password, ZipStatus& status);

}  // namespace znt
