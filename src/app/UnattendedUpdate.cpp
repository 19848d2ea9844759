// UPDATE /QUIET: installs every package of the install list, one row per
// archive and file on standard output, messages on standard error.

#include "OVShared/Modules/modOVCoreRun.h"
#include "OVShared/Platform/Inet.h"
#include "OVShared/Platform/RegistryStore.h"
#include "app/Unattended.h"
#include "app/UnattendedSteps.h"
#include "install/DownloadView.h"
#include "install/InstallLog.h"
#include "install/InstallOnDisk.h"
#include "install/PackageSelection.h"
#include "install/TransferRate.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <string>
#include <vector>

namespace znt {
namespace {

// A file left to the patcher is not in place yet, and a file the run refused
// to touch was not installed, so the run did not end done.
bool IsFailure(InstallEventKind kind) {
    return IsFailureEvent(kind) || kind == InstallEventKind::FileToPatcher ||
           kind == InstallEventKind::FileSkipped;
}

// The rate and time-left columns of FETCHED lines: the archive's average
// rate, and the time the rest of the run takes at the run's average so far
// (the bytes reported over the time since the run started: downloads run
// side by side, so their own times overlap).
class FetchPace {
public:
    explicit FetchPace(const Packages& packages) {
        for (const PackageEntry& p : packages.entries) {
            if (p.Marked) total_ += p.SizeBytes;
        }
    }
    // A delta given up for its archive: the run now moves that many bytes more.
    void Grow(std::int64_t bytes) { total_ += bytes; }
    std::string Columns(const InstallEvent& e) {
        received_ += e.bytes;
        const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
                                 std::chrono::steady_clock::now() - start_)
                                 .count();
        if (e.milliseconds <= 0 || elapsed <= 0) return "\t-\t-";
        const double overall = static_cast<double>(received_) * 1000 / static_cast<double>(elapsed);
        const double left = static_cast<double>(std::max<std::int64_t>(0, total_ - received_));
        const std::string rate =
            RateText(english_, static_cast<double>(e.bytes) * 1000 / e.milliseconds);
        if (overall <= 0) return "\t" + rate + "\t-";
        const auto seconds = static_cast<std::int64_t>(std::ceil(left / overall));
        return "\t" + rate + "\t" + DurationText(seconds);
    }

private:
    AppTexts english_;  // no pack: the English units
    std::int64_t total_ = 0;
    std::int64_t received_ = 0;
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

}  // namespace

int RunUnattendedUpdate(const LaunchOptions& options, const std::string& programPath,
                        std::ostream& out, std::ostream& err) {
    UnattendedJob job(options, programPath, "UPDATE", out, err);
    if (auto end = PrepareUpdate(job)) return *end;
    const UnattendedRun& run = job.run;
    // Text 610 is on err when nothing is refused either.
    if (job.map.ListMapCount() == 0 && job.refused.empty()) return kExitNothingToDo;
    ApplySelection(job.packages, job.map, std::vector<bool>(job.map.rows.size(), true), false);
    InstallLog log(job.logPath, run.appFolder);
    log.Start("UPDATE", job.source);
    FetchPace pace(job.packages);

    bool failed = false;
    InstallReporter report = log.Reporter([&](const InstallEvent& e) {
        failed = failed || IsFailure(e.kind);
        // A delta given up for the archive changes nothing the user sees: the log has it.
        if (e.kind == InstallEventKind::DeltaNotUsed) pace.Grow(e.bytes);
        if (e.kind == InstallEventKind::DeltaUsed || e.kind == InstallEventKind::DeltaNotUsed) {
            return;
        }
        out << EventWord(e.kind) << '\t' << ShownName(run, e.name);
        if (e.kind == InstallEventKind::ArchiveFetched) {
            out << '\t' << e.bytes << pace.Columns(e);
        }
        if (!e.reason.empty()) out << '\t' << OneRowText(e.reason);
        out << std::endl;
    });
    for (const std::string& name : job.refused) {
        report(InstallEvent{InstallEventKind::FileSkipped, name, 0, 0, "unsafe name"});
    }
    StreamMessageSink messages(err);
    ov::InetControl inet;
    const ov::RegistryStore store = ov::RegistryStore::Default();
    ov::CoreSectionTable coreTexts(nullptr);
    NullDownloadView view;
    InstallRequest request{.installFolder = run.appFolder,
                           .packages = job.packages,
                           .english = run.english,
                           .texts = run.texts,
                           .messages = messages,
                           .title = run.title,
                           .inet = inet,
                           .source = job.source,
                           .coreTexts = coreTexts,
                           .report = report,
                           .archiveHashes = job.hashes,
                           .logPath = job.logPath,
                           .parallel = ParallelDownloads(job.options, store),
                           .deltaIndexProblem = job.deltas.problem};
    InstallOutcome outcome =
        job.map.ListMapCount() > 0 ? InstallOnDisk(request, view) : InstallOutcome::Finished;
    int status = outcome == InstallOutcome::Restart            ? kExitRestartNeeded
                 : failed || outcome == InstallOutcome::Failed ? kExitFileFailed
                                                               : kExitDone;
    status = FlushedStatus(out, err, "UPDATE", "report", status);
    log.End(OutcomeWord(outcome), std::to_string(status));
    return status;
}

}  // namespace znt
