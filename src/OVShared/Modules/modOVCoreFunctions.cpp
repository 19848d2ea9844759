#include "OVShared/Modules/modOVCoreFunctions.h"

#include "OVShared/Platform/FileSystem.h"

#include <filesystem>
#include <fstream>
#include <system_error>

namespace ov {
namespace {

constexpr std::string_view kSeparators = "\\/";

// Hides the list while each item's selection becomes rule(old selection).
template <class Rule>
void SetEachSelection(MultiSelectList& list, Rule rule) {
    int current = list.currentIndex();
    list.setVisible(false);
    for (int i = 0; i < list.count(); ++i) list.setSelected(i, rule(list.selected(i)));
    list.setCurrentIndex(current);
    list.setVisible(true);
}

// One file: made writable, then deleted. Folders are left alone, and a
// symbolic link is removed without touching what it points to.
void DeleteOneFile(const std::string& path) {
    std::error_code ec;
    auto status = std::filesystem::symlink_status(NativePath(path), ec);
    if (ec || status.type() == std::filesystem::file_type::not_found ||
        status.type() == std::filesystem::file_type::directory) {
        return;
    }
    if (status.type() != std::filesystem::file_type::symlink) ClearAttributes(path);
    RemoveFile(path);
}

}  // namespace

bool FileExists(std::string_view path) {
    if (path.empty() || !IsRegularFile(path)) return false;
    std::ifstream file(NativePath(path), std::ios::binary);
    return file.is_open();
}

std::string UsableFolder(std::string_view folder, std::string_view applicationFolder) {
    if (folder.empty()) return std::string(applicationFolder);
    std::string probe = std::string(folder) + "\\test.ttt";
    {
        std::ofstream file(NativePath(probe), std::ios::binary | std::ios::trunc);
        if (!file.is_open()) return std::string(applicationFolder);
    }
    DeleteFileForced(probe);
    return std::string(folder);
}

void SelectAllItems(MultiSelectList& list) {
    SetEachSelection(list, [](bool) { return true; });
}

void InvertSelection(MultiSelectList& list) {
    SetEachSelection(list, [](bool on) { return !on; });
}

void SelectNoItems(MultiSelectList& list) {
    SetEachSelection(list, [](bool) { return false; });
}

std::string StripPathLevels(std::string_view path, int n) {
    if (n <= 0) return {};
    size_t end = path.size();
    for (int found = 0; found < n; ++found) {
        if (end == 0) return {};
        size_t sep = path.find_last_of(kSeparators, end - 1);
        if (sep == std::string_view::npos) return {};
        end = sep;
    }
    return std::string(path.substr(0, end));
}

std::string TrimBoth(std::string_view text) {
    size_t first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) return {};
    size_t last = text.find_last_not_of(' ');
    return std::string(text.substr(first, last - first + 1));
}

std::string CutAtNul(std::string_view text) { return std::string(text.substr(0, text.find('\0'))); }

void DeleteFileForced(std::string_view pathOrPattern) {
    std::string_view p = pathOrPattern;
    size_t sep = p.find_last_of(kSeparators);
    std::string_view name = sep == std::string_view::npos ? p : p.substr(sep + 1);
    if (name.find_first_of("*?") == std::string_view::npos) {
        if (!name.empty()) DeleteOneFile(std::string(p));
        return;
    }
    std::string folder;
    if (sep != std::string_view::npos)
        folder = sep == 0 ? std::string(1, p[0]) : std::string(p.substr(0, sep));
    for (const auto& file : MatchFiles(folder, name)) DeleteOneFile(file);
}

FontSpec LanguageFont(int packCharset) { return FontSpec{"Verdana", 8, packCharset}; }

}  // namespace ov
