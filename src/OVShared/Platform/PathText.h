#pragma once

// Paths as text: "\" and "/" both count as separators.

#include <string>
#include <string_view>

namespace ov {

// path without its last separator and what follows; empty when path has no
// separator.
std::string ParentFolder(std::string_view path);

}  // namespace ov
