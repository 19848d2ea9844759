#pragma once

// The preparation the unattended modes share, as named steps over one job
// run by the chain runner (OVShared/Modules/StepRunner.h). Each step reads
// what the steps before it wrote. A step that ends the run returns its exit
// status after a message on err; a step that throws ends the run with
// "<mode>: <what>" on err and the chain's failure status.
//
// No step writes a catalogue into the installation: it is fetched into a
// folder of the run's own below the system's temporary folder, gone when
// the step returns.

#include "OVShared/Modules/StepRunner.h"
#include "OVShared/Platform/InstanceLock.h"
#include "app/Unattended.h"
#include "catalogue/PackageLists.h"
#include "catalogue/Retrieval.h"

#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace znt {

struct UnattendedJob {
    UnattendedJob(const LaunchOptions& options, const std::string& programPath, std::string mode,
                  std::ostream& out, std::ostream& err);
    UnattendedJob(const UnattendedJob&) = delete;
    UnattendedJob& operator=(const UnattendedJob&) = delete;

    const LaunchOptions& options;
    const std::string programPath;
    const UnattendedRun run;
    const std::string mode;  // "LIST", "UPDATE", "UNINSTALL": the start of its messages
    std::ostream& out;       // the rows
    std::ostream& err;       // the messages

    std::string logPath;
    CatalogueSource source;
    ov::InstanceLock lock;  // held from StepLock to the end of the run
    Packages packages;
    ArchiveHashes hashes;  // the signed archive hashes, when the catalogue was signed
    DeltaOffer deltas;     // the server's delta index, asked for by the install list
    ListMap map;
    std::vector<std::string> refused;  // file names the install run will not touch
};

using UnattendedStepResult = std::optional<int>;

// /LOG=<file>, else core\zntr.log. A named log that cannot be written
// (empty, a folder, a missing folder, a device) ends the run before anything
// changes; the default one only earns a warning.
UnattendedStepResult StepLog(UnattendedJob& job);
// Reads /SOURCE= or the server; writes source. An unusable server address ends the run.
UnattendedStepResult StepSource(UnattendedJob& job);
// Takes the installation's lock; another holder, or no lock file, ends the run.
UnattendedStepResult StepLock(UnattendedJob& job);
// Reads core\cache\install.journal; finishes an install pass cut short and
// writes one row per file it concerned to out and the log.
UnattendedStepResult StepRecovery(UnattendedJob& job);
// Reads the source and the installation's key (core\zntr.pub); writes
// packages and hashes. A catalogue that cannot be fetched, read whole or
// trusted ends the run.
UnattendedStepResult StepPrivateCatalogue(UnattendedJob& job);
// Reads packages and the installed files; writes map (the install list)
// and refused.
UnattendedStepResult StepInstallList(UnattendedJob& job);
// Reads packages and the installed files; writes map (the uninstall list).
UnattendedStepResult StepUninstallList(UnattendedJob& job);

// The chains. Nothing when the mode goes on, else its exit status.
// UPDATE /QUIET: log, source, lock, recovery, catalogue, install list.
UnattendedStepResult PrepareUpdate(UnattendedJob& job);
// UNINSTALL /QUIET: log, source, lock, recovery, catalogue, uninstall list.
UnattendedStepResult PrepareRemoval(UnattendedJob& job);
// LIST: source and catalogue only; it reads the installation and locks nothing.
UnattendedStepResult PrepareListing(UnattendedJob& job);

}  // namespace znt
