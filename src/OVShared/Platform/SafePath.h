#pragma once

// Name checks for paths that come from untrusted data (catalogue file names,
// archive member names) and are joined below a folder of ours. "\" and "/"
// both count as separators.

#include <string_view>

namespace ov {

// True when the path names something inside the folder it is joined to:
// not empty, relative (no leading separator), no drive or ":", no ".."
// component, no trailing separator and no control characters.
bool IsContainedRelativePath(std::string_view path);

}  // namespace ov
