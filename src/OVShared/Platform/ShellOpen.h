#pragma once

// The shell's "Open" of a file: a program is started, a document goes to the
// program the desktop associates with it.

#include "OVShared/Platform/Process.h"

#include <string_view>

namespace ov {

// Opens file without an owner window. parameters go to a program that is
// started directly; folder is its working folder when it names an existing
// folder. True when the start succeeded (Windows: ShellExecute's result is
// above 32; POSIX: the program, or xdg-open for anything that is not an
// executable file, was started). verb is used on Windows only.
bool ShellOpen(std::string_view file, std::string_view verb, std::string_view parameters,
               std::string_view folder, WindowStyle show);

}  // namespace ov
