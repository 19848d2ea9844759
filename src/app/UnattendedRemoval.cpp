// UNINSTALL /QUIET /PACKAGE=<code>[,<code>...]: removes the named installed
// packages, one row per file on standard output, messages on standard error.

#include "app/Unattended.h"
#include "app/UnattendedSteps.h"
#include "install/InstallFiles.h"
#include "install/InstallLog.h"
#include "install/PackageSelection.h"
#include "install/RemovePackages.h"

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

namespace znt {

int RunUnattendedRemoval(const LaunchOptions& options, const std::string& programPath,
                         std::ostream& out, std::ostream& err) {
    if (!options.packageCodes) {
        err << "UNINSTALL: give the packages to remove as /PACKAGE=<code>[,<code>...]\n";
        return kExitBadCommandLine;
    }
    UnattendedJob job(options, programPath, "UNINSTALL", out, err);
    if (auto end = PrepareRemoval(job)) return *end;
    const UnattendedRun& run = job.run;
    std::vector<bool> chosen;
    for (std::int32_t package : job.map.rows) {
        chosen.push_back(options.packageCodes->count(job.packages.Package(package).Code) > 0);
    }
    if (std::find(chosen.begin(), chosen.end(), true) == chosen.end()) {
        err << "UNINSTALL: no installed package that can be removed has the code given.\n";
        return kExitNothingToDo;
    }
    ApplySelection(job.packages, job.map, chosen, true);
    StreamMessageSink messages(err);
    DiskFileOps files;
    RemovalContext removal{run.appFolder, job.packages, run.texts, messages,
                           run.title,     programPath,  files};
    InstallLog log(job.logPath, run.appFolder);
    log.Start("UNINSTALL", run.appFolder);
    RemovalResult result = RemovePackages(removal);
    log.Removal(result);
    for (const std::string& path : result.removed) {
        out << "REMOVED\t" << ShownName(run, path) << '\n';
    }
    for (const auto& [word, lines] :
         {std::pair{"NOT-REMOVED", &result.failed}, std::pair{"SKIPPED", &result.skipped}}) {
        for (const RemovalLine& line : *lines) {
            out << word << '\t' << ShownName(run, line.path) << '\t' << OneRowText(line.reason)
                << '\n';
        }
    }
    const int status = FlushedStatus(out, err, "UNINSTALL", "report",
                                     result.failed.empty() ? kExitDone : kExitFileFailed);
    log.End(result.failed.empty() ? "FINISHED" : "FAILED", std::to_string(status));
    return status;
}

}  // namespace znt
