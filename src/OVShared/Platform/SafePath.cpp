#include "OVShared/Platform/SafePath.h"

#include "OVShared/Platform/FileSystem.h"

#include <algorithm>

namespace ov {
namespace {

bool HasDotDotComponent(std::string_view path) {
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = start;
        while (end < path.size() && !IsSeparator(path[end])) ++end;
        if (path.substr(start, end - start) == "..") return true;
        start = end + 1;
    }
    return false;
}

bool HasControlCharacter(std::string_view text) {
    return std::any_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; });
}

}  // namespace

bool IsContainedRelativePath(std::string_view path) {
    if (path.empty() || IsSeparator(path.front()) || IsSeparator(path.back())) return false;
    if (path.find(':') != std::string_view::npos || HasControlCharacter(path)) return false;
    return !HasDotDotComponent(path);
}

}  // namespace ov
