#include "OVShared/Platform/SafePath.h"

#include "OVShared/Platform/AsciiText.h"
#include "OVShared/Platform/FileSystem.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <system_error>

namespace ov {
namespace {

// Control characters, DEL and ":" are refused in a contained path.
enum class PathChar : unsigned char { Plain, Dot, Separator, Refused };

constexpr std::array<PathChar, 256> kPathCharKinds = [] {
    std::array<PathChar, 256> kinds{};
    for (int c = 0; c < 0x20; ++c) kinds[c] = PathChar::Refused;
    kinds[0x7F] = PathChar::Refused;
    kinds[':'] = PathChar::Refused;
    kinds['.'] = PathChar::Dot;
    kinds['\\'] = PathChar::Separator;
    kinds['/'] = PathChar::Separator;
    return kinds;
}();

// The component as the key keeps it: lower case, without trailing dots and blanks.
std::string ComponentKey(std::string_view part) {
    while (!part.empty() && (part.back() == '.' || part.back() == ' ')) part.remove_suffix(1);
    return AsciiLower(part);
}

constexpr std::array<std::string_view, 4> kOwnFiles = {"core\\zntr.pub", "core\\zntr.log",
                                                       "core\\zntr.log.1", "core\\zntr.lock"};
constexpr std::string_view kOwnFolder = "core\\cache";

std::filesystem::path OnDisk(const std::string& path) {
    std::string native = NativePath(path);
    return std::filesystem::path(
        std::u8string(reinterpret_cast<const char8_t*>(native.data()), native.size()));
}

bool SameOnDisk(const std::filesystem::path& a, const std::filesystem::path& b) {
    std::error_code ec;
    return std::filesystem::equivalent(a, b, ec) && !ec;
}

}  // namespace

bool IsContainedRelativePath(std::string_view path) {
    if (path.empty() || IsSeparator(path.front()) || IsSeparator(path.back())) return false;
    // One pass with a table: every list build asks this for every file entry.
    // A component is ".." when it holds two characters, both dots.
    std::size_t dots = 0;  // dots in the component so far
    bool onlyDots = true;
    for (char c : path) {
        switch (kPathCharKinds[static_cast<unsigned char>(c)]) {
        case PathChar::Plain: onlyDots = false; break;
        case PathChar::Dot: ++dots; break;
        case PathChar::Separator:
            if (onlyDots && dots == 2) return false;
            dots = 0;
            onlyDots = true;
            break;
        case PathChar::Refused: return false;
        }
    }
    return !(onlyDots && dots == 2);
}

std::string RelativePathKey(std::string_view path) {
    std::string key;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = start;
        while (end < path.size() && !IsSeparator(path[end])) ++end;
        std::string_view part = path.substr(start, end - start);
        if (!part.empty() && part != ".") {
            std::string component = ComponentKey(part);
            if (!component.empty()) {
                if (!key.empty()) key += '\\';
                key += component;
            }
        }
        start = end + 1;
    }
    return key;
}

bool IsProgramOwnFile(std::string_view relativePath) {
    const std::string key = RelativePathKey(relativePath);
    if (std::find(kOwnFiles.begin(), kOwnFiles.end(), key) != kOwnFiles.end()) return true;
    return key == kOwnFolder ||
           (key.size() > kOwnFolder.size() && key.compare(0, kOwnFolder.size(), kOwnFolder) == 0 &&
            key[kOwnFolder.size()] == '\\');
}

}  // namespace ov

namespace ov {

bool IsProgramOwnFileIn(std::string_view installFolder, std::string_view relativePath) {
    if (IsProgramOwnFile(relativePath)) return true;
    const std::string root = std::string(installFolder) + "\\";
    std::filesystem::path target = OnDisk(root + std::string(relativePath));
    std::error_code ec;
    if (!std::filesystem::exists(std::filesystem::symlink_status(target, ec))) {
        target = target.parent_path();  // a new file: its folder may still be the cache
    }
    for (std::string_view own : kOwnFiles) {
        if (SameOnDisk(target, OnDisk(root + std::string(own)))) return true;
    }
    const std::filesystem::path cache = OnDisk(root + std::string(kOwnFolder));
    for (std::filesystem::path p = target; p.has_relative_path(); p = p.parent_path()) {
        if (SameOnDisk(p, cache)) return true;
        if (p == p.parent_path()) break;
    }
    return false;
}

}  // namespace ov
