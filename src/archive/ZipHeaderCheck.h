#pragma once

// Our own reading of an archive's layout, which the libzip reader runs too:
// libzip neither skips bytes before the archive nor compares a member's local
// header with its directory entry, and with this both readers refuse and
// accept the same archives and members.

#include "archive/ZipReader.h"

#include <cstdint>
#include <memory>
#include <string_view>

namespace znt {

class ZipHeaderCheck {
public:
    virtual ~ZipHeaderCheck() = default;
    // Bytes before the archive proper; its stated offsets count from there.
    virtual std::uint64_t PrefixBytes() const = 0;
    virtual std::uint64_t EntryCount() const = 0;
    // Ok when the member's local header is there and agrees with its entry,
    // and its data ends inside the file.
    virtual ZipStatus CheckLocalHeader(std::uint64_t index) const = 0;
};

// Reads the end records and the central directory; nothing on a failure,
// which status names (as OpenZlibReader would).
std::unique_ptr<ZipHeaderCheck> OpenZipHeaderCheck(std::string_view path, ZipStatus& status);

}  // namespace znt
