#pragma once

// Turns an archive member's stored name into the path it is written to.

#include "archive/TargetFolder.h"

#include <optional>
#include <string_view>

namespace znt {

struct MemberTarget {
    MemberPath path;      // components below the target folder
    bool folder = false;  // the member is a folder entry (name ends in a separator)
};

// Nothing when the name is unsafe (absolute, a drive or ":", a ".."
// component, control characters) or names nothing. "\" counts as a
// separator as well as "/"; empty and "." components are dropped. Without
// honourFolders only the last component is kept (and a folder entry gives an
// empty path). With spacesToUnderscores every " " becomes "_".
std::optional<MemberTarget> ResolveMemberName(std::string_view stored, bool honourFolders,
                                              bool spacesToUnderscores);

}  // namespace znt
