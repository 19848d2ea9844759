#pragma once

// Text fields of a zip (names, comments) as UTF-8, the same for both readers:
// bytes valid as UTF-8 are kept (whether or not the UTF-8 flag is set);
// anything else is read as code page 437, the encoding zip tools use when
// they set no flag. Control characters stay what they are, so that the name
// checks still see them.

#include <string>
#include <string_view>

namespace znt {

bool IsValidUtf8(std::string_view bytes);
std::string DecodeZipText(std::string_view bytes);

}  // namespace znt
