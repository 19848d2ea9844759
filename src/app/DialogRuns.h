#pragma once

// What the program's dialogs run, whichever toolkit draws them: the
// selection dialogs' view of the state, the install run of the download
// window and the removal of the uninstall dialog, each logged to
// core\zntr.log as it goes.

#include "install/InstallRun.h"
#include "install/PackageSelection.h"

namespace znt {

struct AppState;
struct MainContext;
class DownloadView;

// The state as the install and uninstall selection dialogs see it.
SelectionContext SelectionOf(MainContext& c);

// The download window's run: fetch and place the marked packages.
InstallOutcome LoggedInstall(AppState& s, DownloadView& view);

// The uninstall dialog's run: remove the marked packages.
void LoggedRemoval(AppState& s);

}  // namespace znt
