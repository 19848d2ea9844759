#include "install/PlaceFile.h"

#include "OVShared/Modules/RunnerScript.h"
#include "OVShared/Platform/AsciiText.h"
#include "OVShared/Platform/FileSystem.h"
#include "OVShared/Platform/MessageBox.h"
#include "OVShared/Platform/SafePath.h"
#include "i18n/LanguagePack.h"
#include "i18n/TextNumbers.h"
#include "install/DownloadView.h"
#include "install/FetchFromSource.h"
#include "install/InstallFiles.h"

#include <cstdint>
#include <limits>

namespace znt {
namespace {

// Where one entry's new file comes from and goes to.
struct Placement {
    std::string staged;   // cache folder + its staging path (StagedPath)
    std::string newFile;  // cache folder + ArchiveName without its extension
    std::string folder;   // installation folder + "\" + FileName's folders + "\"
    std::string name;     // FileName's last part
    std::string Target() const { return folder + name; }
};

// FileName's folder part with runs of separators made single, and a "\"
// after it; empty when FileName has no folder part.
std::string FolderPart(std::string_view fileName) {
    std::string out;
    for (char ch : ov::ParentFolder(fileName)) {
        bool separator = ov::IsSeparator(ch);
        if (separator && (out.empty() || out.back() == '\\')) continue;
        out += separator ? '\\' : ch;
    }
    if (!out.empty() && out.back() != '\\') out += '\\';
    return out;
}

// Below the cache folder: a folder of the archive's own, so that the
// members of one archive never overwrite another's new file.
std::string StagedPath(const PackageFileEntry& f) {
    return std::string(kStagingFolder) + "\\" + f.ArchiveName + "\\" + ArchiveStem(f.ArchiveName);
}

bool IsPlaceable(const PackageFileEntry& f) {
    return f.Fetched && IsSafeFileEntry(f) && !ArchiveStem(f.ArchiveName).empty();
}

Placement PlacementOf(const InstallContext& c, const PackageFileEntry& f) {
    return Placement{c.cacheFolder + StagedPath(f), c.cacheFolder + ArchiveStem(f.ArchiveName),
                     c.installFolder + "\\" + FolderPart(f.FileName), LastPathPart(f.FileName)};
}

// Why f's target is never written, whatever the catalogue says; empty when
// it may be: the files the program keeps for itself, and anything whose way
// passes a link below the installation folder.
std::string_view Refusal(const InstallContext& c, const PackageFileEntry& f, const Placement& at) {
    if (ov::IsProgramOwnFileIn(c.installFolder, f.FileName)) return "the program's own file";
    if (ov::LinkBelow(c.installFolder, at.folder)) return "path passes a link";
    return {};
}

// Reads the own executable's new copy in the cache; shows text 609, sets the restart flag.
void StageOwnExecutable(InstallContext& c, const Placement& at) {
    c.messages.Show(c.texts[kTextOwnExecutableStaged], c.title, ov::MsgIcon::Information);
    c.run.restart = true;
    c.Report(InstallEventKind::OwnExecutableStaged, at.Target());
}

// Reads the placement; runs core\Autopatch.exe over the target. The new file stays.
void RunPatcher(InstallContext& c, const PackageEntry& package, const Placement& at) {
    c.Report(InstallEventKind::FileToPatcher, at.Target());
    if (!c.patcher) return;
    c.patcher(c.installFolder + "\\core\\Autopatch.exe",
              PatcherArguments(at.Target(), at.newFile, package.NameEnglish, c.english));
}

// Whether this entry is the last of the pass to place the staged file, so
// that the file itself may move to its target.
bool LastUse(InstallContext& c, const Placement& at) {
    const StagedArchive* s = c.run.Staged(at.staged);
    return !s || s->uses <= 1;
}

// Deletes the staged file once the last entry that names its archive is done.
void ReleaseStaged(InstallContext& c, const Placement& at) {
    StagedArchive* s = c.run.Staged(at.staged);
    if (!s || --s->uses <= 0) c.files.Delete(at.staged);
}

// Puts the staged new file in the cache folder itself, where the patcher
// and the next start's self-update look for it.
void KeepInCache(InstallContext& c, const Placement& at) {
    c.files.Place(at.staged, at.newFile, LastUse(c, at));
    ReleaseStaged(c, at);
}

// A size-checked file (CheckMode 1) is extracted no larger than its
// catalogue size; any other file has no bound of its own.
std::uint64_t MaxFileBytes(const PackageFileEntry& f) {
    if (f.CheckMode == 1 && f.SizeBytes >= 0) return static_cast<std::uint64_t>(f.SizeBytes);
    return std::numeric_limits<std::uint64_t>::max();
}

// Why the staged file is missing: its archive's extraction failure, or an
// archive that does not hold it.
std::string NotExtractedReason(InstallContext& c, const Placement& at) {
    const StagedArchive* s = c.run.Staged(at.staged);
    return s && !s->reason.empty() ? s->reason : "not in the archive";
}

// A size-checked file of another length would be fetched again on every
// run, so it is not staged (nor journalled, nor placed).
std::optional<std::string> WrongLength(const PackageFileEntry& f, const std::string& staged) {
    if (f.CheckMode != 1) return std::nullopt;
    std::optional<std::uint64_t> length = ov::FileLength(staged);
    if (!length || (f.SizeBytes >= 0 && *length == static_cast<std::uint64_t>(f.SizeBytes))) {
        return std::nullopt;
    }
    return "length " + std::to_string(*length) + ", expected " + std::to_string(f.SizeBytes);
}

// Extracts f's archive into folder; why it failed, empty when it did not.
std::string Extract(InstallContext& c, const PackageFileEntry& f, const std::string& folder) {
    std::string reason;
    int code = c.extractor.Extract(c.cacheFolder + f.ArchiveName, folder, MaxFileBytes(f), reason);
    if (code == 0) return {};
    return reason.empty() ? "extraction failed with code " + std::to_string(code) : reason;
}

// Moves the file rebuilt from f's delta to its staging place; why it could
// not, empty when it did.
std::string StageRebuilt(InstallContext& c, const PackageFileEntry& f, const Placement& at) {
    if (c.files.Place(RebuiltPath(c, f), at.staged, true)) return {};
    return "rebuilt file not staged: " + c.files.LastError();
}

void PlaceNewFile(InstallContext& c, const PackageEntry& package, const Placement& at) {
    // Nothing extracted: the installed file is left as it is.
    if (!c.files.Exists(at.staged)) {
        c.Report(InstallEventKind::FileNotExtracted, at.Target(), 0, 0, NotExtractedReason(c, at));
        return;
    }
    if (ov::NativePath(at.staged) == ov::NativePath(at.Target())) return;
    c.files.CreateFolderChain(at.folder);
    const bool replaced = c.files.Place(at.staged, at.Target(), LastUse(c, at));
    const std::string why = replaced ? std::string() : c.files.LastError();
    if (replaced) {
        ReleaseStaged(c, at);
        c.Report(InstallEventKind::FilePlaced, at.Target());
    } else if (!c.files.Exists(at.Target())) {
        // Nothing to keep and nothing to patch: a new file that cannot be written.
        ReleaseStaged(c, at);
        c.Report(InstallEventKind::FileNotPlaced, at.Target(), 0, 0, why);
    } else {
        KeepInCache(c, at);
        if (IsOwnExecutable(at.name)) {
            StageOwnExecutable(c, at);
        } else {
            RunPatcher(c, package, at);
        }
    }
}

}  // namespace

bool IsOwnExecutable(std::string_view fileName) {
    return ov::AsciiUpper(fileName).find("ZNTR.EXE") != std::string::npos;
}

std::string PatcherArguments(const std::string& target, const std::string& newFile,
                             const std::string& nameEnglish, bool english) {
    return ov::AutopatchArguments(target, newFile, nameEnglish, english);
}

void StageEntry(InstallContext& c, const PackageFileEntry& f) {
    if (!IsPlaceable(f)) return;
    const Placement at = PlacementOf(c, f);
    if (!Refusal(c, f, at).empty()) return;
    if (StagedArchive* s = c.run.Staged(at.staged)) {
        ++s->uses;  // its archive was named before: one file serves both
        return;
    }
    const std::string folder = ov::ParentFolder(at.staged) + "\\";
    c.files.CreateFolderChain(folder);
    std::string reason =
        c.run.rebuilt.count(f.ArchiveName) > 0 ? StageRebuilt(c, f, at) : Extract(c, f, folder);
    if (std::optional<std::string> wrong = WrongLength(f, at.staged)) {
        c.files.Delete(at.staged);
        reason = *wrong;
    }
    c.run.staged.push_back(StagedArchive{at.staged, reason, 1});
}

std::optional<JournalEntry> StagedEntry(const InstallContext& c, const PackageFileEntry& f) {
    if (!IsPlaceable(f) || !Refusal(c, f, PlacementOf(c, f)).empty()) return std::nullopt;
    JournalEntry e{StagedPath(f), FolderPart(f.FileName) + LastPathPart(f.FileName)};
    if (!IsSafeJournalEntry(e) || !c.files.Exists(c.cacheFolder + e.staged)) return std::nullopt;
    return e;
}

void InstallEntry(InstallContext& c, const PackageEntry& package, const PackageFileEntry& f) {
    if (!IsPlaceable(f)) return;
    const Placement at = PlacementOf(c, f);
    if (std::string_view refusal = Refusal(c, f, at); !refusal.empty()) {
        c.Report(InstallEventKind::FileSkipped, at.Target(), 0, 0, std::string(refusal));
        return;
    }
    PlaceNewFile(c, package, at);
}

}  // namespace znt
