#include "ui/win32/frmZNT_Downloads.h"

#include "i18n/LanguagePack.h"

#include <commctrl.h>

namespace znt::win32 {
namespace {

// Posted on the first showing: the run starts once the window is on screen.
constexpr UINT kStartRun = WM_APP + 1;

const char* NameOf(DownloadControl control) {
    switch (control) {
    case DownloadControl::Window: return nullptr;
    case DownloadControl::fmProgress: return "fmProgress";
    case DownloadControl::lblTotal: return "lblTotal";
    case DownloadControl::lblCurrent: return "lblCurrent";
    case DownloadControl::lblResponse: return "lblResponse";
    case DownloadControl::PBAR: return "PBAR";
    case DownloadControl::PTOTAL: return "PTOTAL";
    case DownloadControl::cmdCancel: return "cmdCancel";
    case DownloadControl::lblSpeed: return "lblSpeed";
    }
    return nullptr;
}

}  // namespace

frmZNT_Downloads::frmZNT_Downloads(const AppTexts& texts, Run run, HWND owner)
    : Form("frmZNT_Downloads"), texts_(texts), run_(std::move(run)) {
    BuildControls(owner);
    ApplyFont(texts_.charset);
    PrepareDownloadWindow(*this, texts_);
}

void frmZNT_Downloads::BuildControls(HWND owner) {
    Create(owner, 468, 228);
    AddGroup("fmProgress", 8, 8, 452, 178);
    // Long texts end in an ellipsis rather than run under the frame.
    AddLabel("lblCurrent", 20, 28, 428, 16, SS_ENDELLIPSIS);
    AddProgressBar("PBAR", 20, 48, 428, 18);
    AddLabel("lblResponse", 20, 70, 428, 16, SS_ENDELLIPSIS);
    AddLabel("lblTotal", 20, 102, 428, 16, SS_ENDELLIPSIS);
    AddProgressBar("PTOTAL", 20, 122, 428, 18);
    AddLabel("lblSpeed", 20, 146, 428, 16, SS_ENDELLIPSIS);
    AddButton("cmdCancel", 360, 194, 100, 26);
}

InstallOutcome frmZNT_Downloads::ShowModal() {
    RunModal();
    return outcome_;
}

bool frmZNT_Downloads::OnMessage(UINT message, WPARAM wParam, LPARAM, LRESULT& result) {
    if (message == WM_SHOWWINDOW && wParam && !started_) {
        started_ = true;
        PostMessageW(Handle(), kStartRun, 0, 0);
    } else if (message == kStartRun) {
        StartRun();
        result = 0;
        return true;
    }
    return false;
}

void frmZNT_Downloads::StartRun() {
    if (!InModalLoop()) return;  // closed before the run could start
    running_ = true;
    outcome_ = run_ ? run_(*this) : InstallOutcome::Finished;
    running_ = false;
    EndModal();
}

void frmZNT_Downloads::OnClick(const std::string& control) {
    if (control == "cmdCancel") cmdCancel_Click();
}

void frmZNT_Downloads::cmdCancel_Click() {
    SetEnabled("cmdCancel", false);
    cancel_.Press();
}

void frmZNT_Downloads::OnCancel() {
    if (!running_) return Form::OnCancel();
    if (Enabled("cmdCancel")) cmdCancel_Click();
}

void frmZNT_Downloads::SetText(DownloadControl control, const std::string& text) {
    if (control == DownloadControl::Window) {
        SetCaption(text);
    } else {
        SetText(NameOf(control), text);
    }
}

void frmZNT_Downloads::SetValue(DownloadControl bar, int value) {
    if (bar != DownloadControl::PBAR && bar != DownloadControl::PTOTAL) return;
    SendMessageW(Control(NameOf(bar)), PBM_SETPOS, static_cast<WPARAM>(value), 0);
}

void frmZNT_Downloads::SetVisible(DownloadControl control, bool visible) {
    if (const char* name = NameOf(control)) SetVisible(name, visible);
}

void frmZNT_Downloads::SetEnabled(DownloadControl control, bool enabled) {
    if (const char* name = NameOf(control)) SetEnabled(name, enabled);
}

}  // namespace znt::win32
