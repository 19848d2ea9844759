#include "install/InstallRun.h"

#include "OVShared/Modules/StepRunner.h"
#include "OVShared/Platform/FileSystem.h"
#include "OVShared/Platform/MessageBox.h"
#include "OVShared/Platform/Yield.h"
#include "catalogue/DeltaIndex.h"
#include "catalogue/FileTests.h"
#include "i18n/LanguagePack.h"
#include "i18n/TextNumbers.h"
#include "install/DownloadView.h"
#include "install/FetchFromSource.h"
#include "install/FetchPass.h"
#include "install/InstallFiles.h"
#include "install/InstallJournal.h"
#include "install/InstallLog.h"
#include "install/PlaceFile.h"

#include <algorithm>
#include <chrono>
#include <set>

namespace znt {
namespace {

using Step = ov::ChainStep<InstallContext, InstallOutcome>;

// A step that throws has not done its work and every later step relies on
// it, so the run stops there (text 657): files not placed yet keep their old
// version, and once the journal is written the next start finishes the pass.
constexpr InstallStepResult kStop = InstallOutcome::Failed;

constexpr Step kInstallSteps[] = {
    {StepRunTotals, kStop},    {StepFetchPass, kStop},   {StepRefuseUntrusted, kStop},
    {StepInstallPhase, kStop}, {StepStagePass, kStop},   {StepWriteJournal, kStop},
    {StepDropArchives, kStop}, {StepInstallPass, kStop}, {StepCloseJournal, kStop},
    {StepFinish, kStop},
};

void ShowRunStopped(InstallContext& c) {
    c.messages.Show(c.texts[kTextInstallStopped], c.title, ov::MsgIcon::Critical);
}

bool CancelPressed(InstallContext& c) { return c.view.Cancel().Pressed(); }

// The install run's own test: CheckMode 0 by version, 1 by size, others never.
bool NeedsFetch(const InstallContext& c, const PackageFileEntry& f) {
    if (!IsSafeFileEntry(f)) return false;
    std::string path = InstalledPath(c.installFolder, f);
    if (f.CheckMode == 0) return VersionDiffers(f.ProductVersionLow, path);
    if (f.CheckMode == 1) return SizeDiffers(f.SizeBytes, path);
    return false;
}

// Deletes what the fetch pass left for f in the cache folder: its archive,
// or the file rebuilt from its delta.
void DropFetched(InstallContext& c, const PackageFileEntry& f) {
    if (!f.Fetched || !IsSafeArchiveName(f.ArchiveName)) return;
    c.files.Delete(c.cacheFolder + f.ArchiveName);
    if (c.run.rebuilt.count(f.ArchiveName) > 0) c.files.Delete(RebuiltPath(c, f));
}

// Writes Fetched = False; deletes every archive fetched so far.
void DeleteFetchedArchives(InstallContext& c) {
    for (PackageEntry& p : c.packages.entries) {
        for (PackageFileEntry& f : p.Files) {
            DropFetched(c, f);
            f.Fetched = false;
        }
    }
}

// The out-of-date files of the marked packages, in the catalogue's order.
std::vector<FetchItem> FilesToFetch(const InstallContext& c) {
    std::vector<FetchItem> items;
    for (std::int32_t i = 1; i <= c.packages.PackageCount(); ++i) {
        const PackageEntry& p = c.packages.Package(i);
        if (!p.Marked) continue;
        for (std::int32_t j = 1; j <= static_cast<std::int32_t>(p.Files.size()); ++j) {
            if (NeedsFetch(c, p.File(j))) items.push_back(FetchItem{i, j});
        }
    }
    return items;
}

void AdvanceTotalBar(InstallContext& c) {
    c.run.totalBar = std::min(c.run.totalBar + 1, 100);
    c.view.SetValue(DownloadControl::PTOTAL, c.run.totalBar);
    ov::YieldToEventLoop();
}

}  // namespace

// Reads Marked and SizeBytes; writes the run counters and PTOTAL. A delta
// index the server had but the run cannot use is noted for the log.
InstallStepResult StepRunTotals(InstallContext& c) {
    c.run = InstallRunState{};
    if (!c.deltaIndexProblem.empty()) {
        c.Report(InstallEventKind::DeltaNotUsed, kDeltaIndexName, 0, 0, c.deltaIndexProblem);
    }
    for (const PackageEntry& p : c.packages.entries) {
        if (p.Marked) c.run.bytes.total += p.SizeBytes;
    }
    c.view.SetValue(DownloadControl::PTOTAL, 0);
    return std::nullopt;
}

// Reads the marked packages and the installed files; writes Fetched and the
// cache folder. Cancel deletes the fetched archives and ends the run.
InstallStepResult StepFetchPass(InstallContext& c) {
    if (CancelPressed(c) || !FetchAll(c, FilesToFetch(c))) {
        DeleteFetchedArchives(c);
        return InstallOutcome::Cancelled;
    }
    return std::nullopt;
}

// Reads the refusal flag: an archive that does not match the signed hash list
// means the source is not what the maker published, so nothing is installed.
InstallStepResult StepRefuseUntrusted(InstallContext& c) {
    if (!c.run.archiveRefused) return std::nullopt;
    DeleteFetchedArchives(c);
    c.messages.Show(c.texts[kTextArchiveUntrusted], c.title, ov::MsgIcon::Critical);
    return InstallOutcome::Cancelled;
}

// Writes the window's install look: no Cancel, no current archive, text 206.
InstallStepResult StepInstallPhase(InstallContext& c) {
    c.view.SetEnabled(DownloadControl::cmdCancel, false);
    c.view.SetVisible(DownloadControl::lblCurrent, false);
    c.view.SetVisible(DownloadControl::PBAR, false);
    c.view.SetVisible(DownloadControl::lblSpeed, false);
    c.view.SetText(DownloadControl::lblTotal, c.texts[kTextInstallingTotal]);
    ov::YieldToEventLoop();
    return std::nullopt;
}

// Reads Fetched and the fetched archives; writes the staged new files.
InstallStepResult StepStagePass(InstallContext& c) {
    for (const PackageEntry& p : c.packages.entries) {
        if (!p.Marked) continue;
        for (const PackageFileEntry& f : p.Files) {
            StageEntry(c, f);
            ov::YieldToEventLoop();
        }
    }
    return std::nullopt;
}

// Reads the staged new files; writes the journal. An archive named for two
// targets has one staged file and a line for each target; a target named
// twice is listed once. A journal that cannot be written stops the run
// before any file is placed: the staging folder goes, the fetched archives
// stay for the next run, and each file is reported not installed (text 656).
InstallStepResult StepWriteJournal(InstallContext& c) {
    std::vector<JournalEntry> entries;
    std::set<std::string> listed;
    for (const PackageEntry& p : c.packages.entries) {
        if (!p.Marked) continue;
        for (const PackageFileEntry& f : p.Files) {
            std::optional<JournalEntry> e = StagedEntry(c, f);
            if (e && listed.insert(e->staged + '\t' + e->target).second) {
                entries.push_back(std::move(*e));
            }
        }
    }
    if (entries.empty() || WriteJournal(c.cacheFolder, entries)) return std::nullopt;
    CloseJournal(c.installFolder, c.cacheFolder);
    for (const JournalEntry& e : entries) {
        c.Report(InstallEventKind::FileNotPlaced, c.installFolder + "\\" + e.target, 0, 0,
                 "install journal not written");
    }
    c.messages.Show(c.texts[kTextJournalNotWritten], c.title, ov::MsgIcon::Critical);
    return InstallOutcome::Failed;
}

// Reads Fetched; deletes the fetched archives, whose files are staged and
// named by the journal now.
InstallStepResult StepDropArchives(InstallContext& c) {
    for (const PackageEntry& p : c.packages.entries) {
        if (!p.Marked) continue;
        for (const PackageFileEntry& f : p.Files) DropFetched(c, f);
    }
    return std::nullopt;
}

// Reads Fetched and the staged files; writes the installation, PTOTAL and
// the restart flag.
InstallStepResult StepInstallPass(InstallContext& c) {
    for (const PackageEntry& p : c.packages.entries) {
        if (!p.Marked) continue;
        for (const PackageFileEntry& f : p.Files) {
            AdvanceTotalBar(c);
            InstallEntry(c, p, f);
        }
    }
    return std::nullopt;
}

// Reads the journal; writes the targets' folders to disk, removes the
// journal and the staging folder.
InstallStepResult StepCloseJournal(InstallContext& c) {
    CloseJournal(c.installFolder, c.cacheFolder);
    return std::nullopt;
}

namespace {

// How many files were not installed and where the log says which.
std::string NotInstalledText(const InstallContext& c) {
    const size_t count = c.run.notInstalled.size();
    const std::string log =
        ov::NativePath(c.logPath.empty() ? DefaultLogPath(c.installFolder) : c.logPath);
    return FillText(c.texts[count == 1 ? kTextOneFileNotInstalled : kTextFilesNotInstalled],
                    {std::to_string(count), log});
}

}  // namespace

// Reads the restart flag and the files not installed; writes the closing
// message: text 612 only when every file got its new version, otherwise
// the count of those that did not, shown also before a restart.
InstallStepResult StepFinish(InstallContext& c) {
    if (!c.run.notInstalled.empty()) {
        c.messages.Show(NotInstalledText(c), c.title, ov::MsgIcon::Exclamation);
    }
    if (c.run.restart) return InstallOutcome::Restart;
    if (c.run.notInstalled.empty()) {
        c.messages.Show(c.texts[kTextInstallFinished], c.title, ov::MsgIcon::Information);
    }
    return InstallOutcome::Finished;
}

InstallOutcome RunInstall(InstallContext& c) {
    InstallStepResult end =
        ov::RunChain<InstallContext, InstallOutcome>(kInstallSteps, c, ShowRunStopped);
    return end.value_or(InstallOutcome::Finished);
}

}  // namespace znt
