// The parts of the file-system boundary that every platform shares.

#include "OVShared/Platform/FileSystem.h"

#include "OVShared/Platform/AsciiText.h"

#include <algorithm>
#include <cerrno>
#include <system_error>

namespace ov {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsAlnum(char c) { return IsDigit(c) || (AsciiLower(c) >= 'a' && AsciiLower(c) <= 'z'); }

// What follows ".tmp-" in the names the replacing writes give their
// temporaries: six letters or digits (mkstemp), or three numbers joined by
// "-" (process, counter, tick count on Windows).
bool IsTemporarySuffix(std::string_view s) {
    if (s.size() == 6 && std::all_of(s.begin(), s.end(), IsAlnum)) return true;
    int numbers = 0;
    for (size_t start = 0; start <= s.size(); ++numbers) {
        size_t end = std::min(s.find('-', start), s.size());
        std::string_view part = s.substr(start, end - start);
        if (part.empty() || !std::all_of(part.begin(), part.end(), IsDigit)) return false;
        start = end + 1;
    }
    return numbers == 3;
}

}  // namespace

bool IsReplaceTemporaryOf(std::string_view name, std::string_view target) {
    constexpr std::string_view kMark = ".tmp-";
    if (name.size() <= target.size() + kMark.size()) return false;
    return StartsWithNoCase(name, target) && name.substr(target.size(), kMark.size()) == kMark &&
           IsTemporarySuffix(name.substr(target.size() + kMark.size()));
}

int RemoveReplaceLeftovers(std::string_view path) {
    std::string native = NativePath(path);
    size_t cut = native.find_last_of(PlatformSeparator());
    std::string folder = cut == std::string::npos ? std::string(".") : native.substr(0, cut);
    std::string name = cut == std::string::npos ? native : native.substr(cut + 1);
    int removed = 0;
    for (const std::string& found : MatchFiles(folder, name + ".tmp-*")) {
        size_t slash = found.find_last_of(PlatformSeparator());
        if (IsReplaceTemporaryOf(found.substr(slash + 1), name) && RemoveFile(found)) ++removed;
    }
    return removed;
}

std::string ErrnoText(int error) {
    switch (error) {
    case 0: return "write failed";
    case ENOSPC: return "no space left on device";
    case EACCES:
    case EPERM: return "permission denied";
    case EROFS: return "read-only file system";
    case ENOENT: return "no such file or folder";
    case EISDIR: return "a folder is in the way";
    default: break;
    }
    std::string text = std::generic_category().message(error);
    if (!text.empty()) text[0] = AsciiLower(text[0]);
    return text;
}

bool WildcardMatch(std::string_view pattern, std::string_view name) {
    // "*.*" matches every name, with or without a dot, as on Windows.
    if (pattern == "*.*" || pattern == "*") return true;
    size_t p = 0, n = 0, star = std::string_view::npos, mark = 0;
    while (n < name.size()) {
        if (p < pattern.size() &&
            (pattern[p] == '?' || AsciiLower(pattern[p]) == AsciiLower(name[n]))) {
            ++p;
            ++n;
        } else if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            mark = n;
        } else if (star != std::string_view::npos) {
            p = star + 1;
            n = ++mark;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

std::optional<std::string> ReadWholeFile(std::string_view path, std::uint64_t maxBytes) {
    RegularFile file(path);
    if (!file.IsOpen() || file.Length() > maxBytes) return std::nullopt;
    std::string data = file.ReadAt(0, file.Length());
    // A read that stopped early (an error, the file cut meanwhile) is no whole file.
    if (data.size() != file.Length()) return std::nullopt;
    return data;
}

bool CreateFolderChain(std::string_view path) {
    std::string p = NativePath(path);
    const char separator = PlatformSeparator();
    // Levels that exist already, or cannot be made ("C:", "\\server"), are
    // passed over; the last level decides.
    for (size_t pos = 1; pos < p.size(); ++pos) {
        if (p[pos] == separator) CreateFolder(p.substr(0, pos));
    }
    return CreateFolder(p);
}

}  // namespace ov
