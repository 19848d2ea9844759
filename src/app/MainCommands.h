#pragma once

// The main window's commands as logic: Install and Uninstall (source,
// catalogue fetch, selection dialog), the language toggle, the end of the
// busy state and the close path.

#include "app/AppViews.h"

#include <functional>

namespace znt {

struct AppState;

// Exit codes of the program.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;

// Places packages.dat in the installation folder from the state's source.
using CatalogueFetch = std::function<bool(AppState&)>;
// FetchCatalogue over the state's transfer control, checked against the
// installation's key (core\zntr.pub) when it has one; sets the state's
// archiveHashes and catalogueUntrusted.
bool FetchFromSource(AppState& state);

// The message of a failed catalogue fetch: text 650 when the catalogue was
// refused by its signature or hashes, else text 600.
int FetchFailureText(const AppState& state);

struct MainContext {
    AppState& state;
    MainWindowView& window;
    AppDialogs& dialogs;
    CatalogueFetch fetch = FetchFromSource;
};

enum class PackageCommand { Install, Uninstall };

// cmdInstall / cmdUninstall: asks for the source until it is usable or
// cancelled, fetches the catalogue under the progress window and opens the
// selection dialog; a failed fetch shows text 600 (650 when the catalogue's
// signature or hashes were missing or wrong). Once the close path has
// begun (state.closing) it stops after its current wait and shows nothing.
void RunPackageCommand(MainContext& c, PackageCommand command);

// Closes the progress window and enables both commands.
void EndBusy(MainContext& c);

// Label 602 or 614, progress shown, bar 5, fetch, bar 20. True on success;
// false without touching the window when the close path began meanwhile.
bool FetchWithProgress(MainContext& c);

// cmdLanguage: toggles the language setting, reloads the pack, takes the
// program title from it and re-captions.
// False when the pack cannot be loaded; the fatal message has been shown
// and the program must end.
bool ToggleLanguage(MainContext& c);

// The fixed message for a missing or corrupt application pack.
void ShowPackError(AppState& state);

// The close path: sets state.closing, cancels the transfer, waits while it
// still runs (10 s at most), saves the settings.
void CloseProgram(AppState& state);

}  // namespace znt
