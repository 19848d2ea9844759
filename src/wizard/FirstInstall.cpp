#include "wizard/FirstInstall.h"

#include "OVShared/Modules/ProgressView.h"
#include "OVShared/Modules/modOVCoreFunctions.h"
#include "catalogue/Retrieval.h"
#include "i18n/LanguagePack.h"
#include "i18n/TextNumbers.h"

namespace znt {

void FirstInstallWizard::Load() {
    view_.SetCaptions();
    ShowStep(1);
}

void FirstInstallWizard::Next() {
    if (step_ == 1) {
        NextAtStep1();
    } else if (step_ == 2) {
        NextAtStep2();
    }
}

bool FirstInstallWizard::ToggleLanguage() {
    if (!host_.ToggleLanguage()) return false;
    view_.SetCaptions();
    return true;
}

void FirstInstallWizard::ShowStep(int step) {
    step_ = step;
    view_.ShowStep(step);
}

const std::string& FirstInstallWizard::Text(int index) const { return host_.Texts()[index]; }

// Reads SourceIsInternet; fetches the name list; step 2 on success.
void FirstInstallWizard::NextAtStep1() {
    view_.SetWizardEnabled(false);
    int label = host_.Source().SourceIsInternet ? kTextFetchingInternet : kTextReadingFolder;
    bool fetched = Fetch(label, &WizardHost::FetchNameList, kWizardBarNames);
    if (host_.Closing()) return;
    if (!fetched) {
        FetchFailed();
        return;
    }
    // Nothing runs under the progress window until the next fetch.
    host_.Progress().Close();
    view_.SetWizardEnabled(true);
    ShowStep(2);
}

// Asks for a usable source, fetches the catalogue, opens the install
// selection; step 3 whatever the user did there.
void FirstInstallWizard::NextAtStep2() {
    view_.SetWizardEnabled(false);
    if (!AskForSource()) return;
    bool fetched = Fetch(kTextFetchingInternet, &WizardHost::FetchCatalogue, kWizardBarCatalogue);
    if (host_.Closing()) return;
    if (!fetched) {
        FetchFailed(host_.CatalogueUntrusted() ? kTextCatalogueUntrusted : kTextFetchFailed);
        return;
    }
    host_.ShowInstallSelection();
    if (host_.Closing()) return;
    // The dialog closes the progress window once its list is built; one that
    // ended before that must not leave it over the last page.
    host_.Progress().Close();
    view_.SetWizardEnabled(true);
    ShowStep(3);
}

// The source dialog until the user cancels (the wizard is enabled again),
// chooses the Internet or a folder that holds the catalogue. False when
// there is nothing to fetch.
bool FirstInstallWizard::AskForSource() {
    WizardSource source = host_.Source();
    for (;;) {
        source.SourceConfirmed = false;
        host_.ShowSource();
        if (host_.Closing()) return false;
        if (!source.SourceConfirmed) {
            view_.SetWizardEnabled(true);
            return false;
        }
        if (source.SourceIsInternet || ov::FileExists(source.SourceFolder + "\\packages.dat")) {
            return true;
        }
        host_.Message(Text(kTextNoCatalogue) + ": " + source.SourceFolder, ov::MsgIcon::Critical);
        if (host_.Closing()) return false;
    }
}

// Progress window with the label, bar 5, the fetch, then barAfter.
bool FirstInstallWizard::Fetch(int label, bool (WizardHost::*fetch)(), int barAfter) {
    ov::ProgressView& progress = host_.Progress();
    progress.SetLabel(Text(label));
    progress.Show();
    progress.SetBar(kWizardBarStart);
    bool fetched = (host_.*fetch)();
    if (host_.Closing()) return false;
    progress.SetBar(barAfter);
    return fetched;
}

// A stale progress window over the error box would look like work still
// going on, so it closes first.
void FirstInstallWizard::FetchFailed(int text) {
    host_.Progress().Close();
    view_.SetWizardEnabled(true);
    host_.Message(Text(text), ov::MsgIcon::Critical);
}

}  // namespace znt
