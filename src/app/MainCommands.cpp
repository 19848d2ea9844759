#include "app/MainCommands.h"

#include "OVShared/Modules/ProgressView.h"
#include "OVShared/Modules/modOVCoreFunctions.h"
#include "OVShared/Platform/Yield.h"
#include "app/AppState.h"
#include "catalogue/KeptCatalogue.h"
#include "catalogue/Retrieval.h"
#include "i18n/TextNumbers.h"

#include <chrono>

namespace znt {
namespace {

// A transfer that does not stop within this time is left behind, so that
// the program can always be closed.
constexpr auto kTransferStopLimit = std::chrono::seconds(10);

// Source dialog until the user cancels or picks a usable source. False
// also when the close path began meanwhile.
bool AskForSource(MainContext& c) {
    AppState& s = c.state;
    for (;;) {
        if (s.closing) return false;
        c.window.SetCommandsEnabled(false);
        s.SourceConfirmed = false;
        c.dialogs.ShowSource(c);
        if (s.closing) return false;
        if (!s.SourceConfirmed) {
            c.window.SetCommandsEnabled(true);
            return false;
        }
        if (s.SourceIsInternet || ov::FileExists(s.SourceFolder + "\\packages.dat")) return true;
        s.Message(s.texts[kTextNoCatalogue] + ": " + s.SourceFolder, ov::MsgIcon::Critical);
    }
}

}  // namespace

bool FetchFromSource(AppState& state) {
    CatalogueSource source{state.SourceIsInternet, state.SourceFolder, state.serverBase};
    CatalogueFetchResult fetched = FetchCatalogue(
        source, state.appFolder, state.inet, InstallationTrust(state.appFolder, state.store),
        KeptCatalogue::OfInstallation(state.appFolder, state.instance.held()));
    state.archiveHashes = std::move(fetched.hashes);
    state.deltas = DeltaOffer{};
    state.catalogueUntrusted = fetched.status == FetchStatus::Untrusted;
    return fetched.status == FetchStatus::Placed;
}

int FetchFailureText(const AppState& state) {
    return state.catalogueUntrusted ? kTextCatalogueUntrusted : kTextFetchFailed;
}

void EndBusy(MainContext& c) {
    c.window.Progress().Close();
    c.window.SetCommandsEnabled(true);
}

bool FetchWithProgress(MainContext& c) {
    ov::ProgressView& progress = c.window.Progress();
    int label = c.state.SourceIsInternet ? kTextFetchingInternet : kTextReadingFolder;
    progress.SetLabel(c.state.texts[label]);
    progress.Show();
    progress.SetBar(5);
    bool fetched = c.fetch(c.state);
    if (c.state.closing) return false;
    progress.SetBar(20);
    return fetched;
}

void RunPackageCommand(MainContext& c, PackageCommand command) {
    if (!AskForSource(c)) return;
    bool fetched = FetchWithProgress(c);
    if (c.state.closing) return;
    if (!fetched) {
        EndBusy(c);
        c.state.Message(c.state.texts[FetchFailureText(c.state)], ov::MsgIcon::Critical);
        return;
    }
    c.window.SetCommandsEnabled(true);
    if (command == PackageCommand::Install) {
        c.dialogs.ShowInstallSelection(c);
    } else {
        c.dialogs.ShowUninstallSelection(c);
    }
}

void ShowPackError(AppState& state) {
    state.messages.Show(kPackErrorText, kPackErrorTitle, ov::MsgIcon::Critical);
}

bool ToggleLanguage(MainContext& c) {
    AppState& s = c.state;
    s.languageSetting() = ToggledLanguageSetting(s.languageSetting());
    if (LoadLanguagePack(s.texts, s.appFolder, s.languageSetting()) != PackLoadResult::Ok) {
        ShowPackError(s);
        return false;
    }
    // The program title (message boxes, the progress window) is text 1 too.
    if (!s.texts[kTextTitle].empty()) s.appTitle = s.texts[kTextTitle];
    c.window.SetCaptions();
    return true;
}

void CloseProgram(AppState& state) {
    state.closing = true;
    state.inet.Cancel();
    auto deadline = std::chrono::steady_clock::now() + kTransferStopLimit;
    while (state.inet.StillExecuting() && std::chrono::steady_clock::now() < deadline) {
        ov::YieldToEventLoop();  // StillExecuting itself pauses a little
    }
    SaveSettingsIfLoaded(state);
}

}  // namespace znt
