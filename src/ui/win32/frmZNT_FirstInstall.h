#pragma once

// frmZNT_FirstInstall: the first-install wizard's window. Three pages
// (fmStep1 to fmStep3, each a frame with its label, one shown at a time in
// the same place), Next (cmdUpdate), Close and the language button; the
// steps themselves are FirstInstallWizard over the program's context.
// Closing the window, from any step and in any way (Close, Esc, the close
// box), ends the program once: the close path cancels a running transfer,
// marks the state as closing and leaves the exit code in it.
//
//     frmZNT_FirstInstall wizard(c);  // no owner: its own taskbar button
//     wizard.ShowModal();             // returns once the wizard closed

#include "app/FirstInstallHost.h"
#include "ui/win32/Win32Form.h"
#include "wizard/FirstInstall.h"

namespace znt::win32 {

class frmZNT_FirstInstall : public Form, public WizardView {
public:
    explicit frmZNT_FirstInstall(MainContext& c);

    void SetCaptions() override;
    void ShowStep(int step) override;
    void SetWizardEnabled(bool enabled) override;

    // Runs the wizard modally; returns when it has closed.
    void ShowModal();
    int Step() const { return wizard_.Step(); }

protected:
    void OnClick(const std::string& control) override;
    void OnCancel() override;

private:
    void BuildControls();
    void LoadPictures();
    void cmdLanguage_Click();
    // The one way out: the program's end, then the window closes.
    void End();

    MainContext& c_;
    FirstInstallHost host_;
    FirstInstallWizard wizard_;
    bool ended_ = false;
    int exitCode_ = kExitOk;
};

}  // namespace znt::win32
