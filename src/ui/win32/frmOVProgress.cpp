#include "ui/win32/frmOVProgress.h"

#include "i18n/SharedPack.h"

#include <commctrl.h>

#include <algorithm>

namespace znt::win32 {

frmOVProgress::frmOVProgress(const SharedPackIndex& sharedPack, int charset, HWND owner)
    : Form("frmOVProgress"), sharedPack_(sharedPack), charset_(charset) {
    Create(owner, 344, 118);
    AddLabel("LabeL", 12, 10, 320, 44);
    AddProgressBar("ProgressBar", 12, 58, 320, 18);
    AddButton("cmdCancel", 244, 84, 88, 26);
    SetText("cmdCancel", "Cancel");
}

void frmOVProgress::EnsureLoaded() {
    if (!loaded_) Form_Load();
}

// Each load starts with a cleared flag and an enabled button, so that a
// cancel of an earlier run never stops the next one.
void frmOVProgress::Form_Load() {
    loaded_ = true;
    ApplyFont(charset_);
    cancelFlag_ = false;
    SetEnabled("cmdCancel", true);
    SectionTexts section;
    if (sharedPack_.LoadSection("frmOVProgress", section) && !section[1].empty()) {
        SetText("cmdCancel", section[1]);
    }
    SetBar(0);
}

void frmOVProgress::SetLabel(const std::string& text) {
    EnsureLoaded();
    SetText("LabeL", text);
}

void frmOVProgress::SetBar(int value) {
    EnsureLoaded();
    SendMessageW(Control("ProgressBar"), PBM_SETPOS, static_cast<WPARAM>(std::clamp(value, 0, 100)),
                 0);
}

int frmOVProgress::Bar() const {
    return static_cast<int>(SendMessageW(Control("ProgressBar"), PBM_GETPOS, 0, 0));
}

void frmOVProgress::Show() {
    EnsureLoaded();
    Form::Show();
}

void frmOVProgress::Close() {
    Hide();
    loaded_ = false;
}

void frmOVProgress::OnClick(const std::string& control) {
    if (control == "cmdCancel") cmdCancel_Click();
}

void frmOVProgress::cmdCancel_Click() {
    cancelFlag_ = true;
    SetEnabled("cmdCancel", false);
}

void frmOVProgress::OnCancel() {
    if (Enabled("cmdCancel")) cmdCancel_Click();
}

}  // namespace znt::win32
