#include "ui/win32/Win32AppDialogs.h"

#include "app/AppState.h"
#include "app/DialogRuns.h"
#include "app/MainCommands.h"
#include "ui/win32/Win32Form.h"
#include "ui/win32/frmZNT_Downloads.h"
#include "ui/win32/frmZNT_FirstInstall.h"
#include "ui/win32/frmZNT_Selection.h"
#include "ui/win32/frmZNT_Source.h"

namespace znt::win32 {
namespace {

Form* OwnerOf(MainContext& c) { return dynamic_cast<Form*>(&c.window); }

HWND OwnerWindow(MainContext& c) {
    Form* owner = OwnerOf(c);
    return owner ? owner->Handle() : nullptr;
}

// The window the next dialog belongs to: the one the user works in now.
HWND ActiveWindow() {
    Form* active = ActiveForm();
    return active ? active->Handle() : nullptr;
}

}  // namespace

void Win32AppDialogs::ShowSource(MainContext& c) {
    AppState& s = c.state;
    frmZNT_Source dialog({s.SourceIsInternet, s.SourceFolder, s.SourceConfirmed}, s.texts,
                         s.appFolder, ActiveWindow() ? ActiveWindow() : OwnerWindow(c));
    dialog.ShowModal();
}

// The selection, then the download window with the run; when the run staged
// the program's own executable, every window closes and the program ends.
void Win32AppDialogs::ShowInstallSelection(MainContext& c) {
    AppState& s = c.state;
    bool restart = false;
    frmZNT_Install dialog(SelectionOf(c), [&] {
        frmZNT_Downloads downloads(
            s.texts, [&](DownloadView& view) { return LoggedInstall(s, view); }, ActiveWindow());
        restart = downloads.ShowModal() == InstallOutcome::Restart;
    });
    dialog.ShowModal();
    if (restart && OwnerOf(c)) OwnerOf(c)->PressCloseBox();
}

// The selection, then removal inline while the dialog's buttons are disabled.
void Win32AppDialogs::ShowUninstallSelection(MainContext& c) {
    frmZNT_Uninstall dialog(SelectionOf(c), [&] { LoggedRemoval(c.state); });
    dialog.ShowModal();
}

// No owner: the wizard is the program's only window in its mode and gets a
// taskbar button of its own.
void Win32AppDialogs::ShowFirstInstall(MainContext& c) {
    frmZNT_FirstInstall wizard(c);
    wizard.ShowModal();
}

}  // namespace znt::win32
