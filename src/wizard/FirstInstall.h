#pragma once

// The first-install wizard as logic. Step 1 fetches the product name list
// from the update server; step 2 asks for the package source, fetches the
// catalogue and opens the install selection; step 3 only offers Close.
//
// The window implements WizardView (pages, enabled state, captions); the
// program around the wizard implements WizardHost (source values, texts,
// dialogs, progress window, transfers). Every long action runs with the
// wizard disabled. A failed fetch keeps the current step and closes the
// progress window before its message. Once the host reports that the
// program is closing, an action returns after its current wait without
// touching the window or showing anything.

#include "OVShared/Platform/MessageBox.h"
#include "i18n/TextNumbers.h"

#include <string>

namespace ov {
class ProgressView;
}

namespace znt {

struct AppTexts;

// Progress bar values around the two fetches.
inline constexpr int kWizardBarStart = 5;
inline constexpr int kWizardBarNames = 30;
inline constexpr int kWizardBarCatalogue = 20;

// The package source the source dialog edits in place.
struct WizardSource {
    bool& SourceIsInternet;
    std::string& SourceFolder;
    bool& SourceConfirmed;
};

class WizardHost {
public:
    virtual ~WizardHost() = default;
    virtual const AppTexts& Texts() const = 0;
    // True once the program is ending: the wizard stops after its current wait.
    virtual bool Closing() const = 0;
    virtual WizardSource Source() = 0;
    virtual ov::ProgressView& Progress() = 0;
    // The source dialog, modal; it answers through Source().
    virtual void ShowSource() = 0;
    // A new install selection dialog, modal. It builds the list from the
    // fetched catalogue, closes the progress window and runs the install.
    virtual void ShowInstallSelection() = 0;
    // pnames.txt from the update server; true when it was received and read.
    virtual bool FetchNameList() = 0;
    // packages.dat into the installation folder from Source(); true on success.
    virtual bool FetchCatalogue() = 0;
    // True when the last FetchCatalogue failed because the catalogue was not
    // signed by the installation's trusted key (text 650 instead of 600).
    virtual bool CatalogueUntrusted() const { return false; }
    virtual void Message(const std::string& text, ov::MsgIcon icon) = 0;
    // Switches to the other language and reloads the texts. False when the
    // pack cannot be used: the fatal message has been shown, the program ends.
    virtual bool ToggleLanguage() = 0;
};

class WizardView {
public:
    virtual ~WizardView() = default;
    // The language font, the title and every caption, from the host's texts.
    virtual void SetCaptions() = 0;
    // Shows the page of step 1, 2 or 3 only; step 3 also hides Next.
    virtual void ShowStep(int step) = 0;
    virtual void SetWizardEnabled(bool enabled) = 0;
};

class FirstInstallWizard {
public:
    FirstInstallWizard(WizardHost& host, WizardView& view) : host_(host), view_(view) {}

    // Form load: captions, then step 1.
    void Load();
    // Next (cmdUpdate): the action of the current step.
    void Next();
    // cmdLanguage: the other language; the step stays. False when the
    // program must end (the pack could not be loaded).
    bool ToggleLanguage();

    int Step() const { return step_; }

private:
    void ShowStep(int step);
    void NextAtStep1();
    void NextAtStep2();
    bool AskForSource();
    bool Fetch(int label, bool (WizardHost::*fetch)(), int barAfter);
    // Closes the progress window, enables the wizard, shows the text.
    void FetchFailed(int text = kTextFetchFailed);
    const std::string& Text(int index) const;

    WizardHost& host_;
    WizardView& view_;
    int step_ = 1;
};

}  // namespace znt
