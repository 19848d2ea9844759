#include "install/RemovePackages.h"

#include "OVShared/Platform/AsciiText.h"
#include "OVShared/Platform/FileSystem.h"
#include "OVShared/Platform/MessageBox.h"
#include "OVShared/Platform/SafePath.h"
#include "OVShared/Platform/Yield.h"
#include "catalogue/PackageLists.h"
#include "i18n/LanguagePack.h"
#include "i18n/TextNumbers.h"
#include "install/InstallFiles.h"

#include <algorithm>
#include <filesystem>
#include <optional>
#include <set>
#include <system_error>

namespace znt {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kOwnExecutableName = "zntr.exe";

// The path with every link and "." or ".." resolved where it exists, without
// a trailing separator; empty when that fails.
fs::path Resolved(const fs::path& p) {
    std::error_code ec;
    fs::path r = fs::weakly_canonical(p, ec);
    if (ec) return {};
    return r.has_filename() ? r : r.parent_path();
}

// Why a file is never deleted; empty when it may be.
constexpr std::string_view kReasonUnsafe = "unsafe name";
constexpr std::string_view kReasonOutside = "outside the installation";
constexpr std::string_view kReasonLink = "path passes a link";
constexpr std::string_view kReasonProgram = "the program itself";
constexpr std::string_view kReasonOwnFile = "the program's own file";
constexpr std::string_view kReasonShared = "used by another package";

// What removal may touch: strictly below the installation folder as it
// resolves on disk, through no link below it, never the running program
// nor core\zntr.exe.
class Boundary {
public:
    explicit Boundary(const RemovalContext& c)
        : install_(c.installFolder),
          root_(Resolved(FsPath(c.installFolder))),
          core_(Resolved(FsPath(c.installFolder + "\\core"))),
          self_(c.ownExecutable.empty() ? fs::path() : FsPath(c.ownExecutable)) {}

    // Empty when the file may go. The file itself is not resolved: a link
    // is removed, not what it names.
    std::string_view Refusal(const std::string& path) const {
        fs::path native = FsPath(path);
        fs::path folder = Resolved(native.parent_path());
        if (root_.empty() || (folder != root_ && !Below(folder))) return kReasonOutside;
        if (ov::LinkBelow(install_, ov::ParentFolder(path))) return kReasonLink;
        if (folder == core_ && ov::AsciiLower(LastPathPart(path)) == kOwnExecutableName) {
            return kReasonProgram;
        }
        std::error_code ec;
        if (!self_.empty() && fs::equivalent(native, self_, ec)) return kReasonProgram;
        return {};
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

    std::string install_;
    fs::path root_;
    fs::path core_;
    fs::path self_;
};

// Removes the file's folder and then each parent that is left empty, up to
// (not including) the installation folder.
void PruneFolders(FileOps& files, const Boundary& boundary, std::string folder) {
    while (boundary.MayPrune(folder) && files.RemoveEmptyFolder(folder)) {
        folder = ov::ParentFolder(folder);
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

// Reads the catalogue; the names (as ov::RelativePathKey) of the files that
// packages staying on listed. A package counts as installed when some file
// of it is present, so any package that lists a file still there, and is
// not removed now, is installed and keeps it.
std::set<std::string> FilesStillListed(const Packages& packages) {
    std::set<std::string> listed;
    for (const PackageEntry& p : packages.entries) {
        if (Removable(p)) continue;
        for (const PackageFileEntry& f : p.Files) listed.insert(ov::RelativePathKey(f.FileName));
    }
    return listed;
}

// Why the entry must stay whatever the disk says; empty when it may go.
std::string_view EntryRefusal(const RemovalContext& c, const PackageFileEntry& file,
                              const std::set<std::string>& listed) {
    if (!IsSafeFileEntry(file)) return kReasonUnsafe;
    if (ov::IsProgramOwnFileIn(c.installFolder, file.FileName)) return kReasonOwnFile;
    if (listed.count(ov::RelativePathKey(file.FileName))) return kReasonShared;
    return {};
}

// Reads file; writes the file, its emptied folders and one line of result.
void RemoveOne(RemovalContext& c, const Boundary& boundary, const std::set<std::string>& listed,
               const PackageFileEntry& file, RemovalResult& result) {
    std::string path = InstalledPath(c.installFolder, file);
    std::string_view refusal = EntryRefusal(c, file, listed);
    if (refusal.empty()) refusal = boundary.Refusal(path);
    if (!refusal.empty()) {
        result.skipped.push_back({path, std::string(refusal)});
        return;
    }
    std::optional<bool> before = c.files.Present(path);
    std::string error;
    if (before != false) {
        c.files.Delete(path);
        error = c.files.DeleteError();
    }
    PruneFolders(c.files, boundary, ov::ParentFolder(path));
    std::optional<bool> after = c.files.Present(path);
    if (!after) {
        result.failed.push_back({path, "presence unknown"});
    } else if (*after) {
        result.failed.push_back({path, error.empty() ? "could not be deleted" : error});
    } else if (before != false) {
        result.removed.push_back(path);
    }
}

}  // namespace

RemovalResult RemovePackages(RemovalContext& c) {
    RemovalResult result;
    Boundary boundary(c);
    const std::set<std::string> listed = FilesStillListed(c.packages);
    for (const PackageFileEntry& file : FilesToRemove(c.packages)) {
        RemoveOne(c, boundary, listed, file, result);
        ov::YieldToEventLoop();
    }
    if (!result.failed.empty()) {
        c.messages.Show(c.texts[kTextRemovalFailed], c.title, ov::MsgIcon::Critical);
    }
    return result;
}

}  // namespace znt
