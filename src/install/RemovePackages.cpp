#include "install/RemovePackages.h"

#include "OVShared/Platform/MessageBox.h"
#include "OVShared/Platform/Yield.h"
#include "catalogue/PackageLists.h"
#include "i18n/LanguagePack.h"
#include "install/InstallFiles.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <optional>
#include <system_error>

namespace znt {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kOwnExecutableName = "zntr.exe";

std::string Lower(std::string text) {
    for (char& ch : text) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    return text;
}

// The path with every link and "." or ".." resolved where it exists, without
// a trailing separator; empty when that fails.
fs::path Resolved(const fs::path& p) {
    std::error_code ec;
    fs::path r = fs::weakly_canonical(p, ec);
    if (ec) return {};
    return r.has_filename() ? r : r.parent_path();
}

// What removal may touch: strictly below the installation folder as it
// resolves on disk, never the running program nor core\zntr.exe.
class Boundary {
public:
    explicit Boundary(const RemovalContext& c)
        : root_(Resolved(FsPath(c.installFolder))),
          core_(Resolved(FsPath(c.installFolder + "\\core"))),
          self_(c.ownExecutable.empty() ? fs::path() : FsPath(c.ownExecutable)) {}

    // The file itself is not resolved: a link is removed, not what it names.
    bool MayDelete(const std::string& path) const {
        fs::path native = FsPath(path);
        fs::path folder = Resolved(native.parent_path());
        if (root_.empty() || (folder != root_ && !Below(folder))) return false;
        if (folder == core_ && Lower(LastPathPart(path)) == kOwnExecutableName) {
            return false;
        }
        std::error_code ec;
        return self_.empty() || !fs::equivalent(native, self_, ec);
    }

    // A real folder (not a link) strictly below the installation folder.
    bool MayPrune(const std::string& folder) const {
        if (folder.empty()) return false;
        fs::path native = FsPath(folder);
        std::error_code ec;
        if (!fs::is_directory(fs::symlink_status(native, ec))) return false;
        return Below(Resolved(native));
    }

private:
    bool Below(const fs::path& p) const {
        if (root_.empty() || p.empty()) return false;
        auto [r, q] = std::mismatch(root_.begin(), root_.end(), p.begin(), p.end());
        return r == root_.end() && q != p.end() && !q->empty();
    }

    fs::path root_;
    fs::path core_;
    fs::path self_;
};

// Removes the file's folder and then each parent that is left empty, up to
// (not including) the installation folder.
void PruneFolders(FileOps& files, const Boundary& boundary, std::string folder) {
    while (boundary.MayPrune(folder) && files.RemoveEmptyFolder(folder)) {
        folder = ParentPath(folder);
    }
}

bool Removable(const PackageEntry& p) {
    return p.Marked && !IsProtectedCode(p.Code) && !IsSelfPackage(p);
}

// A copy of the entries to remove: the event loop runs between files and
// may replace the catalogue meanwhile.
std::vector<PackageFileEntry> FilesToRemove(const Packages& packages) {
    std::vector<PackageFileEntry> files;
    for (const PackageEntry& p : packages.entries) {
        if (Removable(p)) files.insert(files.end(), p.Files.begin(), p.Files.end());
    }
    return files;
}

// Reads file; writes the file, its emptied folders and one line of result.
void RemoveOne(RemovalContext& c, const Boundary& boundary, const PackageFileEntry& file,
               RemovalResult& result) {
    std::string path = InstalledPath(c.installFolder, file);
    if (!IsSafeFileEntry(file) || !boundary.MayDelete(path)) {
        result.skipped.push_back(path);
        return;
    }
    std::optional<bool> before = c.files.Present(path);
    if (before != false) c.files.Delete(path);
    PruneFolders(c.files, boundary, ParentPath(path));
    std::optional<bool> after = c.files.Present(path);
    if (after != false) {
        result.failed.push_back(path);
    } else if (before != false) {
        result.removed.push_back(path);
    }
}

}  // namespace

RemovalResult RemovePackages(RemovalContext& c) {
    RemovalResult result;
    Boundary boundary(c);
    for (const PackageFileEntry& file : FilesToRemove(c.packages)) {
        RemoveOne(c, boundary, file, result);
        ov::YieldToEventLoop();
    }
    if (!result.failed.empty()) {
        c.messages.Show(c.texts[kTextRemovalFailed], c.title, ov::MsgIcon::Critical);
    }
    return result;
}

}  // namespace znt
