#pragma once

// frmZNT_Downloads: hosts the install run. On its first showing it runs the
// run it was given (downloads, then placement) and closes itself when the
// run ends. While the run goes on, the close box and Esc act as Cancel.

#include "install/DownloadView.h"
#include "install/InstallRun.h"
#include "ui/win32/Win32Form.h"

#include <functional>

namespace znt::win32 {

class frmZNT_Downloads : public Form, public DownloadView {
public:
    using Run = std::function<InstallOutcome(DownloadView&)>;

    frmZNT_Downloads(const AppTexts& texts, Run run, HWND owner = nullptr);

    // Shows the window modally and returns the run's outcome once it closed.
    InstallOutcome ShowModal();

    // The form's own by-name access stays beside the view's.
    using Form::SetEnabled;
    using Form::SetText;
    using Form::SetVisible;

    void SetText(DownloadControl control, const std::string& text) override;
    void SetValue(DownloadControl bar, int value) override;
    void SetVisible(DownloadControl control, bool visible) override;
    void SetEnabled(DownloadControl control, bool enabled) override;
    CancelButton& Cancel() override { return cancel_; }

protected:
    void OnClick(const std::string& control) override;
    void OnCancel() override;
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

private:
    void BuildControls(HWND owner);
    void StartRun();
    void cmdCancel_Click();

    const AppTexts& texts_;
    Run run_;
    CancelButton cancel_;
    bool started_ = false;
    bool running_ = false;
    InstallOutcome outcome_ = InstallOutcome::Cancelled;
};

}  // namespace znt::win32
