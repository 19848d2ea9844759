#pragma once

// Helpers shared by the Win32 sources of the platform layer (Windows only).
// The program keeps texts in UTF-8; the wide API keeps every character.

#ifdef _WIN32

#include <string>
#include <string_view>

#include "OVShared/Platform/Process.h"

namespace ov {

std::wstring Widen(std::string_view utf8);
std::string Narrow(std::wstring_view utf16);

// The SW_ show command for a window style.
int ShowCommand(WindowStyle style);

}  // namespace ov

#endif
