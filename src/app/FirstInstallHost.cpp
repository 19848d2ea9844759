#include "app/FirstInstallHost.h"

#include "app/AppState.h"

namespace znt {

const AppTexts& FirstInstallHost::Texts() const { return c_.state.texts; }

bool FirstInstallHost::Closing() const { return c_.state.closing; }

WizardSource FirstInstallHost::Source() {
    AppState& s = c_.state;
    return {s.SourceIsInternet, s.SourceFolder, s.SourceConfirmed};
}

ov::ProgressView& FirstInstallHost::Progress() { return c_.window.Progress(); }

void FirstInstallHost::ShowSource() { c_.dialogs.ShowSource(c_); }

void FirstInstallHost::ShowInstallSelection() { c_.dialogs.ShowInstallSelection(c_); }

bool FirstInstallHost::FetchNameList() {
    AppState& s = c_.state;
    return znt::FetchNameList(s.serverBase, s.appFolder, s.inet, names_);
}

bool FirstInstallHost::FetchCatalogue() { return c_.fetch(c_.state); }

bool FirstInstallHost::CatalogueUntrusted() const { return c_.state.catalogueUntrusted; }

void FirstInstallHost::Message(const std::string& text, ov::MsgIcon icon) {
    c_.state.Message(text, icon);
}

// The main window's toggle: it also re-captions the (hidden) main window and
// gives its progress window the new font and title.
bool FirstInstallHost::ToggleLanguage() { return znt::ToggleLanguage(c_); }

void EndFromWizard(AppState& state, int exitCode) {
    state.exitCode = exitCode;
    state.closing = true;
    state.inet.Cancel();
}

}  // namespace znt
