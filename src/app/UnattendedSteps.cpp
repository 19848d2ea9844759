#include "app/UnattendedSteps.h"

#include "OVShared/Modules/ProgressView.h"
#include "OVShared/Platform/FileSystem.h"
#include "OVShared/Platform/Inet.h"
#include "OVShared/Platform/RegistryStore.h"
#include "app/MainCommands.h"
#include "catalogue/KeptCatalogue.h"
#include "i18n/TextNumbers.h"
#include "install/InstallFiles.h"
#include "install/InstallJournal.h"
#include "install/InstallLog.h"
#include "install/PackageSelection.h"

#include <cstdio>
#include <exception>
#include <filesystem>
#include <random>
#include <sstream>
#include <utility>

namespace znt {
namespace {

using Step = ov::ChainStep<UnattendedJob, int>;

constexpr int kFolderAttempts = 16;

// A folder of this run alone below the system's temporary folder, removed
// with its contents when the object goes. Like mkdtemp: a random name, and a
// name that already exists is never taken over.
class PrivateFolder {
public:
    PrivateFolder() {
        namespace fs = std::filesystem;
        std::random_device seed;
        std::mt19937_64 random((std::uint64_t{seed()} << 32) ^ seed());
        for (int attempt = 0; attempt < kFolderAttempts && path_.empty(); ++attempt) {
            char name[40];
            std::snprintf(name, sizeof name, "zntr-run-%016llx",
                          static_cast<unsigned long long>(random()));
            fs::path candidate = fs::path(ov::SystemTempFolder()) / name;
            std::error_code ec;
            if (!fs::create_directory(candidate, ec)) continue;  // taken or not creatable
            fs::permissions(candidate, fs::perms::owner_all, ec);
            path_ = candidate.string();
        }
    }
    ~PrivateFolder() {
        std::error_code ec;
        if (!path_.empty()) std::filesystem::remove_all(path_, ec);
    }
    PrivateFolder(const PrivateFolder&) = delete;
    PrivateFolder& operator=(const PrivateFolder&) = delete;

    // Empty when no folder could be made.
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

// Whether the log can be appended to; problem says why not. A log the test
// had to create is removed again, so a run that logs nothing leaves none.
bool LogWritable(const std::string& path, std::string& problem) {
    const bool existed = ov::IsRegularFile(path);
    const bool writable = ov::AppendToFile(path, "", &problem);
    if (writable && !existed) ov::RemoveFile(path);
    return writable;
}

// Builds job.map with the list a chain asks for. Messages (the empty list's
// text) go to err, or nowhere when refused files will be reported instead.
void FillList(UnattendedJob& job, PackageCommand list) {
    std::ostringstream unsaid;
    StreamMessageSink messages(job.refused.empty() ? job.err : unsaid);
    ov::NullProgressView progress;
    RowListView view;
    ListContext c{job.run.appFolder, job.packages, job.map,  job.run.english,
                  job.run.texts,     messages,     progress, view};
    if (list == PackageCommand::Uninstall) {
        FillUninstallList(c);
        return;
    }
    c.deltas = [&job] {
        ov::InetControl inet;
        return AskDeltaIndex(job.deltas, job.source, inet, job.hashes);
    };
    FileTestCache tests(job.run.appFolder);
    MarkUpdates(job.packages, tests);
    FillInstallList(c, tests);
}

// Called by the runner while a step's exception is being handled: says what
// was thrown.
void SayWhyStopped(UnattendedJob& job) {
    try {
        throw;
    } catch (const std::exception& e) {
        job.err << job.mode << ": " << e.what() << '\n';
    }
}

// A step that throws has not done its work, and every later step relies on
// it: the run ends as a failed one.
constexpr Step kUpdateSteps[] = {
    {StepLog, kExitFileFailed},
    {StepSource, kExitFileFailed},
    {StepLock, kExitFileFailed},
    {StepRecovery, kExitFileFailed},
    {StepPrivateCatalogue, kExitFileFailed},
    {StepInstallList, kExitFileFailed},
};
constexpr Step kRemovalSteps[] = {
    {StepLog, kExitFileFailed},
    {StepSource, kExitFileFailed},
    {StepLock, kExitFileFailed},
    {StepRecovery, kExitFileFailed},
    {StepPrivateCatalogue, kExitFileFailed},
    {StepUninstallList, kExitFileFailed},
};
// A listing that cannot be made is a catalogue that could not be used.
constexpr Step kListingSteps[] = {
    {StepSource, kExitFetchFailed},
    {StepPrivateCatalogue, kExitFetchFailed},
};

}  // namespace

UnattendedJob::UnattendedJob(const LaunchOptions& options_, const std::string& programPath_,
                             std::string mode_, std::ostream& out_, std::ostream& err_)
    : options(options_),
      programPath(programPath_),
      run(UnattendedRunOf(options_, programPath_)),
      mode(std::move(mode_)),
      out(out_),
      err(err_) {}

UnattendedStepResult StepLog(UnattendedJob& job) {
    std::string problem;
    if (!job.options.logPath) {
        job.logPath = DefaultLogPath(job.run.appFolder);
        if (!LogWritable(job.logPath, problem)) {
            job.err << job.mode << ": warning: the log core\\zntr.log cannot be written ("
                    << problem << "); the run goes on without it.\n";
        }
        return std::nullopt;
    }
    const std::string& path = *job.options.logPath;
    if (path.empty()) {
        job.err << job.mode << ": /LOG= needs the name of a file.\n";
        return kExitBadCommandLine;
    }
    if (!LogWritable(path, problem)) {
        job.err << job.mode << ": the log " << OneRowText(path) << " cannot be written (" << problem
                << "); nothing was done.\n";
        return kExitBadCommandLine;
    }
    job.logPath = path;
    return std::nullopt;
}

UnattendedStepResult StepSource(UnattendedJob& job) {
    if (!job.options.parallel.problem.empty()) {
        job.err << job.options.parallel.problem << '\n';
        return kExitBadCommandLine;
    }
    if (job.options.sourceFolder) {
        job.source.SourceIsInternet = false;
        job.source.SourceFolder = *job.options.sourceFolder;
        return std::nullopt;
    }
    const ServerBase& server = job.options.server;
    if (!server.problem.empty()) {
        job.err << server.problem << '\n';
        return kExitBadCommandLine;
    }
    job.source.serverBase = server.url;
    return std::nullopt;
}

UnattendedStepResult StepLock(UnattendedJob& job) {
    switch (job.lock.Acquire(job.run.appFolder)) {
    case ov::InstanceLock::Result::Held: return std::nullopt;
    case ov::InstanceLock::Result::Busy:
        job.err << job.run.texts[kTextAlreadyRunning] << '\n';
        return kExitAlreadyRunning;
    case ov::InstanceLock::Result::Unavailable: break;
    }
    job.err << job.run.texts[kTextLockUnavailable] << '\n';
    return kExitAlreadyRunning;
}

UnattendedStepResult StepRecovery(UnattendedJob& job) {
    DiskFileOps files;
    RecoveryResult r = RecoverInterruptedInstall(job.run.appFolder, files);
    InstallLog(job.logPath, job.run.appFolder).Recovery(r);
    if (r.refused) job.err << kJournalRefusedText << '\n';
    for (const std::string& path : r.placed) {
        job.out << "RECOVERED\t" << ShownName(job.run, path) << '\n';
    }
    for (const NotRecovered& n : r.leftOld) {
        job.out << "NOT-RECOVERED\t" << ShownName(job.run, n.target) << '\t' << OneRowText(n.reason)
                << '\n';
    }
    return std::nullopt;
}

UnattendedStepResult StepPrivateCatalogue(UnattendedJob& job) {
    PrivateFolder folder;
    if (folder.path().empty()) {
        job.err << job.mode << ": no private folder could be made in " << ov::SystemTempFolder()
                << '\n';
        return kExitFetchFailed;
    }
    ov::InetControl inet;
    ov::RegistryStore store = ov::RegistryStore::Default();
    // Only a run holding the lock (not LIST) replaces the kept copy.
    CatalogueFetchResult fetched =
        FetchCatalogue(job.source, folder.path(), inet, InstallationTrust(job.run.appFolder, store),
                       KeptCatalogue::OfInstallation(job.run.appFolder, job.lock.held()));
    switch (fetched.status) {
    case FetchStatus::Placed:
        job.packages = std::move(fetched.packages);
        job.hashes = std::move(fetched.hashes);
        return std::nullopt;
    case FetchStatus::Untrusted:
        job.err << job.run.texts[kTextCatalogueUntrusted] << '\n'
                << job.mode << ": " << fetched.problem << '\n';
        return kExitFetchFailed;
    case FetchStatus::Failed: break;
    }
    job.err << job.run.texts[kTextFetchFailed] << '\n';
    if (!fetched.problem.empty())
        job.err << job.mode << ": " << OneRowText(fetched.problem) << '\n';
    return kExitFetchFailed;
}

UnattendedStepResult StepInstallList(UnattendedJob& job) {
    // A catalogue with files the run refuses is not "up to date" (text 610):
    // those files are reported as skipped instead.
    job.refused = UnsafeFileNames(job.packages);
    FillList(job, PackageCommand::Install);
    return std::nullopt;
}

UnattendedStepResult StepUninstallList(UnattendedJob& job) {
    FillList(job, PackageCommand::Uninstall);
    return std::nullopt;
}

UnattendedStepResult PrepareUpdate(UnattendedJob& job) {
    return ov::RunChain<UnattendedJob, int>(kUpdateSteps, job, SayWhyStopped);
}

UnattendedStepResult PrepareRemoval(UnattendedJob& job) {
    return ov::RunChain<UnattendedJob, int>(kRemovalSteps, job, SayWhyStopped);
}

UnattendedStepResult PrepareListing(UnattendedJob& job) {
    return ov::RunChain<UnattendedJob, int>(kListingSteps, job, SayWhyStopped);
}

}  // namespace znt
