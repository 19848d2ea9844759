#pragma once

// Catalogue text made safe for one row of a terminal, a tab-separated
// reader or a log line: every control character (below U+0020, U+007F,
// U+0080..U+009F) and the line and paragraph separators U+2028 and U+2029
// become U+FFFD.

#include <string>
#include <string_view>

namespace znt {

std::string OneRowText(std::string_view utf8);

}  // namespace znt
