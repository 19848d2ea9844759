#pragma once

// Text fields of a zip (names, comments) as UTF-8: bytes flagged as UTF-8 or
// valid as UTF-8 are kept; anything else is read as code page 437, the
// encoding zip tools use when they set no flag.

#include <string>
#include <string_view>

namespace znt {

bool IsValidUtf8(std::string_view bytes);
std::string DecodeZipText(std::string_view bytes, bool flaggedUtf8);

}  // namespace znt
