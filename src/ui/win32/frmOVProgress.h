#pragma once

// The progress window: a label and a bar set by the caller, and a Cancel
// button that raises a flag the caller's loops read. Modeless, owned by the
// main window. Like a form that loads on first use, it (re)loads its font
// and its shared-pack caption whenever it is used after being closed.

#include "OVShared/Modules/ProgressView.h"
#include "ui/win32/Win32Form.h"

namespace znt {
class SharedPackIndex;
}

namespace znt::win32 {

class frmOVProgress : public Form, public ov::ProgressView {
public:
    frmOVProgress(const SharedPackIndex& sharedPack, int charset, HWND owner);

    void SetLabel(const std::string& text) override;
    void SetBar(int value) override;
    void Show() override;
    void Close() override;
    bool CancelRequested() const override { return cancelFlag_; }

    // The pack font of later loads (after a language toggle).
    void SetCharset(int charset) { charset_ = charset; }
    // The bar's position, 0 to 100.
    int Bar() const;

protected:
    void OnClick(const std::string& control) override;
    // The close box and Esc ask to cancel, like the button; the caller
    // closes the window when its work has stopped.
    void OnCancel() override;

private:
    void EnsureLoaded();
    void Form_Load();
    void cmdCancel_Click();

    const SharedPackIndex& sharedPack_;
    int charset_;
    bool loaded_ = false;
    bool cancelFlag_ = false;
};

}  // namespace znt::win32
