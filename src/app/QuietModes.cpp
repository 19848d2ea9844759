#include "app/QuietModes.h"

#include "OVShared/Modules/ProgressView.h"
#include "OVShared/Modules/modOVCoreRun.h"
#include "OVShared/Platform/FileSystem.h"
#include "OVShared/Platform/Inet.h"
#include "OVShared/Platform/InstanceLock.h"
#include "app/CommandLine.h"
#include "app/ListMode.h"
#include "app/Unattended.h"
#include "catalogue/PackageLists.h"
#include "install/DownloadView.h"
#include "install/InstallFiles.h"
#include "install/InstallLog.h"
#include "install/InstallJournal.h"
#include "install/InstallOnDisk.h"
#include "install/PackageSelection.h"
#include "install/RemovePackages.h"
#include "install/TransferRate.h"

#include <cmath>
#include <exception>
#include <set>
#include <sstream>

namespace znt {
namespace {

constexpr int kTextAlreadyRunning = 4;

// The name below the installation folder, safe for one row.
std::string Shown(const UnattendedRun& run, const std::string& path) {
    const std::string prefix = run.appFolder + "\\";
    return OneRowText(path.rfind(prefix, 0) == 0 ? path.substr(prefix.size()) : path);
}

// The step both modes start with: the lock, then the catalogue's lists.
struct Prepared {
    CatalogueSource source;
    Packages packages;
    ListMap map;
    ArchiveHashes hashes;
    std::vector<std::string> refused;  // file names the install run will not touch
};

// A file left to the patcher is not in place yet, and a file the run refused
// to touch was not installed, so the run did not end done.
bool IsFailure(InstallEventKind kind) {
    return IsFailureEvent(kind) || kind == InstallEventKind::FileToPatcher ||
           kind == InstallEventKind::FileSkipped;
}

// The rate and time-left columns of FETCHED lines: the archive's average
// rate, and the time the rest of the run takes at the run's average so far.
class FetchPace {
public:
    explicit FetchPace(const Packages& packages) {
        for (const PackageEntry& p : packages.entries) {
            if (p.Marked) total_ += p.SizeBytes;
        }
    }
    std::string Columns(const InstallEvent& e) {
        received_ += e.bytes;
        milliseconds_ += e.milliseconds;
        if (e.milliseconds <= 0 || milliseconds_ <= 0) return "\t-\t-";
        const double overall = static_cast<double>(received_) * 1000 / milliseconds_;
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
    std::int64_t milliseconds_ = 0;
};

// Whether the log can be appended to; problem says why not. A log the test
// had to create is removed again, so a run that logs nothing leaves none.
bool LogWritable(const std::string& path, std::string& problem) {
    const bool existed = ov::IsRegularFile(path);
    const bool writable = ov::AppendToFile(path, "", &problem);
    if (writable && !existed) ov::RemoveFile(path);
    return writable;
}

// /LOG=<file>, else core\zntr.log. An explicit log that cannot be written
// (empty, a folder, a missing folder, a device) ends the run before anything
// changes, with a message; the default one only earns a warning.
std::optional<std::string> LogPath(const std::string& commandLine, const UnattendedRun& run,
                                   const char* mode, std::ostream& err) {
    std::optional<std::string> path = SwitchValue(commandLine, "/LOG=");
    std::string problem;
    if (!path) {
        std::string fallback = DefaultLogPath(run.appFolder);
        if (!LogWritable(fallback, problem)) {
            err << mode << ": warning: the log core\\zntr.log cannot be written (" << problem
                << "); the run goes on without it.\n";
        }
        return fallback;
    }
    if (path->empty()) {
        err << mode << ": /LOG= needs the name of a file.\n";
        return std::nullopt;
    }
    if (!LogWritable(*path, problem)) {
        err << mode << ": the log " << OneRowText(*path) << " cannot be written (" << problem
            << "); nothing was done.\n";
        return std::nullopt;
    }
    return path;
}

// Finishes an install pass cut short, one line per file it concerned, in
// the report and the log.
void Recover(const UnattendedRun& run, const std::string& logPath, std::ostream& out,
             std::ostream& err) {
    DiskFileOps files;
    RecoveryResult r = RecoverInterruptedInstall(run.appFolder, files);
    InstallLog(logPath, run.appFolder).Recovery(r);
    if (r.refused) err << kJournalRefusedText << '\n';
    for (const std::string& path : r.placed) out << "RECOVERED\t" << Shown(run, path) << '\n';
    for (const NotRecovered& n : r.leftOld) {
        out << "NOT-RECOVERED\t" << Shown(run, n.target) << '\t' << OneRowText(n.reason) << '\n';
    }
}

// Under the lock: finishes an interrupted pass, then fetches the catalogue
// and builds one list. An exit status when the run ends here.
std::optional<int> Prepare(const std::string& commandLine, const UnattendedRun& run,
                           ov::InstanceLock& lock, const char* mode, bool install,
                           const std::string& logPath, Prepared& out, std::ostream& report,
                           std::ostream& err) {
    auto source = SourceOf(commandLine, err);
    if (!source) return kExitBadCommandLine;
    out.source = *source;
    switch (lock.Acquire(run.appFolder)) {
    case ov::InstanceLock::Result::Held:
        break;
    case ov::InstanceLock::Result::Busy:
        err << run.texts[kTextAlreadyRunning] << '\n';
        return kExitAlreadyRunning;
    case ov::InstanceLock::Result::Unavailable:
        err << run.texts[kTextLockUnavailable] << '\n';
        return kExitAlreadyRunning;
    }
    Recover(run, logPath, report, err);
    std::optional<Packages> catalogue = FetchPrivateCatalogue(*source, run, mode, err, &out.hashes);
    if (!catalogue) return kExitFetchFailed;
    out.packages = std::move(*catalogue);
    // A catalogue with files the run refuses is not "up to date" (text 610):
    // those files are reported as skipped instead.
    std::ostringstream unsaid;
    if (install) out.refused = UnsafeFileNames(out.packages);
    StreamMessageSink messages(out.refused.empty() ? err : unsaid);
    ov::NullProgressView progress;
    RowListView view;
    ListContext c{run.appFolder, out.packages, out.map, run.english, run.texts, messages, progress, view};
    if (install) {
        FileTestCache tests(run.appFolder);
        MarkUpdates(out.packages, tests);
        FillInstallList(c, tests);
    } else {
        FillUninstallList(c);
    }
    return std::nullopt;
}

int Finish(std::ostream& out, std::ostream& err, const char* mode, int status) {
    if (out.flush()) return status;
    err << mode << ": the report could not be written to standard output.\n";
    return kExitOutputFailed;
}

int UpdateInstallation(const std::string& commandLine, const std::string& programPath,
                       std::ostream& out, std::ostream& err) {
    const UnattendedRun run = UnattendedRunOf(commandLine, programPath);
    const std::optional<std::string> logPath = LogPath(commandLine, run, "UPDATE", err);
    if (!logPath) return kExitBadCommandLine;
    ov::InstanceLock lock;
    Prepared p;
    if (auto end = Prepare(commandLine, run, lock, "UPDATE", true, *logPath, p, out, err)) return *end;
    const std::vector<std::string>& refused = p.refused;
    // Text 610 is on err when nothing is refused either.
    if (p.map.ListMapCount() == 0 && refused.empty()) return kExitNothingToDo;
    ApplySelection(p.packages, p.map, std::vector<bool>(p.map.rows.size(), true), false);
    const CatalogueSource& source = p.source;
    InstallLog log(*logPath, run.appFolder);
    log.Start("UPDATE", source);
    FetchPace pace(p.packages);

    bool failed = false;
    InstallReporter report = log.Reporter([&](const InstallEvent& e) {
        failed = failed || IsFailure(e.kind);
        out << EventWord(e.kind) << '\t' << Shown(run, e.name);
        if (e.kind == InstallEventKind::ArchiveFetched) {
            out << '\t' << e.bytes << pace.Columns(e);
        }
        if (!e.reason.empty()) out << '\t' << OneRowText(e.reason);
        out << std::endl;
    });
    for (const std::string& name : refused) {
        report(InstallEvent{InstallEventKind::FileSkipped, name, 0, 0, "unsafe name"});
    }
    StreamMessageSink messages(err);
    ov::InetControl inet;
    ov::CoreSectionTable coreTexts(nullptr);
    NullDownloadView view;
    InstallRequest request{
        .installFolder = run.appFolder, .packages = p.packages, .english = run.english,
        .texts = run.texts, .messages = messages, .title = run.title, .inet = inet,
        .source = source, .coreTexts = coreTexts, .report = report,
        .archiveHashes = p.hashes, .logPath = *logPath};
    InstallOutcome outcome = p.map.ListMapCount() > 0 ? InstallOnDisk(request, view)
                                                      : InstallOutcome::Finished;
    int status = outcome == InstallOutcome::Restart            ? kExitRestartNeeded
                 : failed || outcome == InstallOutcome::Failed ? kExitFileFailed
                                                    : kExitDone;
    status = Finish(out, err, "UPDATE", status);
    log.End(OutcomeWord(outcome), std::to_string(status));
    return status;
}

// The codes of /PACKAGE=<code>[,<code>...]; nothing when absent or malformed.
std::optional<std::set<std::int32_t>> PackageCodes(const std::string& commandLine) {
    std::optional<std::string> value = SwitchValue(commandLine, "/PACKAGE=");
    if (!value || value->empty()) return std::nullopt;
    std::set<std::int32_t> codes;
    size_t start = 0;
    while (start <= value->size()) {
        size_t end = std::min(value->find(',', start), value->size());
        const std::string item = value->substr(start, end - start);
        size_t used = 0;
        long long code = 0;
        try {
            code = std::stoll(item, &used);
        } catch (const std::exception&) {
            return std::nullopt;
        }
        if (used != item.size() || code < INT32_MIN || code > INT32_MAX) return std::nullopt;
        codes.insert(static_cast<std::int32_t>(code));
        start = end + 1;
    }
    return codes;
}

int RemoveFromInstallation(const std::string& commandLine, const std::string& programPath,
                           std::ostream& out, std::ostream& err) {
    auto codes = PackageCodes(commandLine);
    if (!codes) {
        err << "UNINSTALL: give the packages to remove as /PACKAGE=<code>[,<code>...]\n";
        return kExitBadCommandLine;
    }
    const UnattendedRun run = UnattendedRunOf(commandLine, programPath);
    const std::optional<std::string> logPath = LogPath(commandLine, run, "UNINSTALL", err);
    if (!logPath) return kExitBadCommandLine;
    ov::InstanceLock lock;
    Prepared p;
    if (auto end = Prepare(commandLine, run, lock, "UNINSTALL", false, *logPath, p, out, err)) return *end;
    std::vector<bool> chosen;
    for (std::int32_t package : p.map.rows) {
        chosen.push_back(codes->count(p.packages.Package(package).Code) > 0);
    }
    if (std::find(chosen.begin(), chosen.end(), true) == chosen.end()) {
        err << "UNINSTALL: no installed package that can be removed has the code given.\n";
        return kExitNothingToDo;
    }
    ApplySelection(p.packages, p.map, chosen, true);
    StreamMessageSink messages(err);
    DiskFileOps files;
    RemovalContext removal{run.appFolder, p.packages, run.texts, messages, run.title,
                           programPath,   files};
    InstallLog log(*logPath, run.appFolder);
    log.Start("UNINSTALL", run.appFolder);
    RemovalResult result = RemovePackages(removal);
    log.Removal(result);
    for (const std::string& path : result.removed) out << "REMOVED\t" << Shown(run, path) << '\n';
    for (const auto& [word, lines] : {std::pair{"NOT-REMOVED", &result.failed},
                                      std::pair{"SKIPPED", &result.skipped}}) {
        for (const RemovalLine& line : *lines) {
            out << word << '\t' << Shown(run, line.path) << '\t' << OneRowText(line.reason) << '\n';
        }
    }
    int status = Finish(out, err, "UNINSTALL", result.failed.empty() ? kExitDone : kExitFileFailed);
    log.End(result.failed.empty() ? "FINISHED" : "FAILED", std::to_string(status));
    return status;
}

// Ends a run that threw with a failure, never with an abort.
template <typename Mode>
int Guarded(Mode mode, const char* name, const std::string& commandLine,
            const std::string& programPath, std::ostream& out, std::ostream& err) {
    try {
        return mode(commandLine, programPath, out, err);
    } catch (const std::exception& e) {
        err << name << ": " << e.what() << '\n';
        return kExitFileFailed;
    }
}

}  // namespace

int RunQuietUpdate(const std::string& commandLine, const std::string& programPath,
                   std::ostream& out, std::ostream& err) {
    return Guarded(UpdateInstallation, "UPDATE", commandLine, programPath, out, err);
}

int RunQuietRemoval(const std::string& commandLine, const std::string& programPath,
                    std::ostream& out, std::ostream& err) {
    return Guarded(RemoveFromInstallation, "UNINSTALL", commandLine, programPath, out, err);
}

bool IsQuietUpdate(const std::string& commandLine) {
    return LaunchWord(commandLine) == "UPDATE" && HasSwitch(commandLine, "/QUIET");
}

bool IsQuietRemoval(const std::string& commandLine) {
    return LaunchWord(commandLine) == "UNINSTALL" && HasSwitch(commandLine, "/QUIET");
}

std::string UsageText() {
    return "Usage: zntr.exe [SETUP | UPDATE | FIRSTINSTALL] [/ENG] [/SERVER=<address>]\n"
           "       zntr.exe LIST [/ENG] [/SERVER=<address> | /SOURCE=<folder>]\n"
           "       zntr.exe UPDATE /QUIET [/ENG] [/SERVER=<address> | /SOURCE=<folder>]\n"
           "                [/LOG=<file>]\n"
           "       zntr.exe UNINSTALL /QUIET /PACKAGE=<code>[,<code>...] [/ENG]\n"
           "                [/SERVER=<address> | /SOURCE=<folder>] [/LOG=<file>]\n"
           "\n"
           "Without a launch word the main window opens; SETUP starts the Install command,\n"
           "UPDATE offers the updates, FIRSTINSTALL opens the first-install wizard.\n"
           "/ENG selects English (Greek otherwise). /SERVER= names the update server\n"
           "(http:// or https://); /SOURCE= a local folder holding packages.dat and files\\.\n"
           "/LOG= appends the run's log to that file instead of core\\zntr.log.\n"
           "\n"
           "Exit status of the windowless modes: 0 done, 1 the catalogue could not be\n"
           "fetched, 2 bad command line, 3 output could not be written (or no display for\n"
           "the windows), 4 nothing to do or no package matched, 5 a file failed, 6 the\n"
           "program's new copy is staged for the next start, 7 the program is already\n"
           "running on this installation.\n";
}

std::optional<int> RunWindowlessMode(const std::string& commandLine,
                                     const std::string& programPath, std::ostream& out,
                                     std::ostream& err) {
    if (LaunchWord(commandLine) == "LIST") return RunListMode(commandLine, programPath, out, err);
    if (IsQuietUpdate(commandLine)) return RunQuietUpdate(commandLine, programPath, out, err);
    if (IsQuietRemoval(commandLine)) return RunQuietRemoval(commandLine, programPath, out, err);
    if (LaunchWord(commandLine) == "/?") {
        out << UsageText();
        return out.flush() ? 0 : kExitOutputFailed;
    }
    return std::nullopt;
}

}  // namespace znt
