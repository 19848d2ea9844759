#include "archive/MemberName.h"

#include "OVShared/Platform/FileSystem.h"
#include "OVShared/Platform/SafePath.h"

#include <algorithm>

namespace znt {
namespace {

MemberPath SplitComponents(std::string_view name) {
    MemberPath parts;
    size_t start = 0;
    while (start <= name.size()) {
        size_t end = start;
        while (end < name.size() && !ov::IsSeparator(name[end])) ++end;
        std::string_view part = name.substr(start, end - start);
        if (!part.empty() && part != ".") parts.emplace_back(part);
        start = end + 1;
    }
    return parts;
}

}  // namespace

std::optional<MemberTarget> ResolveMemberName(std::string_view stored, bool honourFolders,
                                              bool spacesToUnderscores) {
    MemberTarget target;
    target.folder = !stored.empty() && ov::IsSeparator(stored.back());
    std::string_view name = stored;
    while (!name.empty() && ov::IsSeparator(name.back())) name.remove_suffix(1);
    if (!ov::IsContainedRelativePath(name)) return std::nullopt;
    target.path = SplitComponents(name);
    if (target.path.empty()) return std::nullopt;
    if (!honourFolders) {
        target.path = target.folder ? MemberPath{} : MemberPath{target.path.back()};
    }
    if (spacesToUnderscores) {
        for (auto& part : target.path) std::replace(part.begin(), part.end(), ' ', '_');
    }
    return target;
}

}  // namespace znt
