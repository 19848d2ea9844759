#pragma once

// The install run hosted by the download window: three passes over the
// packages the user marked.
//   1. Totals: the run byte total is the sum of the marked packages'
//      SizeBytes; counters and PTOTAL start at 0.
//   2. Fetch: every file whose installed copy differs (VersionDiffers for
//      CheckMode 0, SizeDiffers for 1; other modes are never fetched) has
//      its archive fetched into the cache folder.
//   3. Install: Cancel disabled, lblCurrent, PBAR and lblSpeed hidden, lblTotal shows
//      text 206; every fetched archive is extracted into the staging folder,
//      the journal is written (InstallJournal.h) and only then are the
//      archives deleted; then for every file PTOTAL moves on by one and a
//      staged file is placed (PlaceFile.h); the journal and the staging
//      folder are removed at the end.
// Once the server has stopped answering (FetchFromSource.h), the fetch pass asks
// it for nothing more: the archives left are reported failed ("server not
// answering") unless the cache holds them with proof, and the install pass places what
// was fetched.
//   4. Finish: text 612 when every file got its new version; otherwise,
//      with the exclamation icon, how many files were not installed (archive
//      not fetched, nothing extracted, not placed; each target once) and
//      which log names them (texts 652, 653).
// Cancel during the fetch pass ends the run: nothing more is fetched or
// installed and the archives fetched so far are deleted from the cache. So
// does an archive refused by a signed catalogue's hash list, after text 651.
// A journal that cannot be written ends the run before any file is placed,
// after text 656; the fetched archives stay in the cache. A step that throws
// ends the run where it is, after text 657.

#include "install/InstallContext.h"

#include <optional>

namespace znt {

enum class InstallOutcome {
    Finished,   // text 612 was shown, or 652/653 when files were not
                // installed; the caller closes the download window
    Cancelled,  // the caller closes the download window
    Restart,    // the own executable was staged (text 609 shown); the caller
                // closes every window and ends the program
    Failed,     // the run stopped before its end (text 656 or 657 shown); the
                // caller closes the download window
};

// Runs the steps below in order (OVShared/Modules/StepRunner.h); a step that
// throws ends the run with Failed.
InstallOutcome RunInstall(InstallContext& c);

// A step: nothing to go on, an outcome to end the run.
using InstallStepResult = std::optional<InstallOutcome>;

InstallStepResult StepRunTotals(InstallContext& c);
InstallStepResult StepFetchPass(InstallContext& c);
InstallStepResult StepRefuseUntrusted(InstallContext& c);
InstallStepResult StepInstallPhase(InstallContext& c);
InstallStepResult StepStagePass(InstallContext& c);
InstallStepResult StepWriteJournal(InstallContext& c);
InstallStepResult StepDropArchives(InstallContext& c);
InstallStepResult StepInstallPass(InstallContext& c);
InstallStepResult StepCloseJournal(InstallContext& c);
InstallStepResult StepFinish(InstallContext& c);

}  // namespace znt
