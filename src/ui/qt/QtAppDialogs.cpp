#include "ui/qt/QtAppDialogs.h"

#include "app/AppState.h"
#include "app/DialogRuns.h"
#include "app/MainCommands.h"
#include "ui/qt/frmZNT_Downloads.h"
#include "ui/qt/frmZNT_Selection.h"
#include "ui/qt/frmZNT_Source.h"
#include "ui/qt/frmZNT_FirstInstall.h"

#include <QApplication>

namespace znt {
namespace {

QWidget* OwnerOf(MainContext& c) { return dynamic_cast<QWidget*>(&c.window); }

}  // namespace

void QtAppDialogs::ShowSource(MainContext& c) {
    AppState& s = c.state;
    frmZNT_Source dialog({s.SourceIsInternet, s.SourceFolder, s.SourceConfirmed}, s.texts,
                         s.appFolder, OwnerOf(c));
    dialog.exec();
}

// The selection, then the download window with the run; when the run staged
// the program's own executable, every window closes and the program ends.
void QtAppDialogs::ShowInstallSelection(MainContext& c) {
    AppState& s = c.state;
    bool restart = false;
    frmZNT_Install dialog(SelectionOf(c), [&] {
        frmZNT_Downloads downloads(
            s.texts, [&](DownloadView& view) { return LoggedInstall(s, view); },
            QApplication::activeModalWidget());
        restart = downloads.ShowModal() == InstallOutcome::Restart;
    });
    dialog.ShowModal();
    if (restart && OwnerOf(c)) OwnerOf(c)->close();
}

// The selection, then removal inline while the dialog's buttons are disabled.
void QtAppDialogs::ShowUninstallSelection(MainContext& c) {
    AppState& s = c.state;
    frmZNT_Uninstall dialog(SelectionOf(c), [&] { LoggedRemoval(s); });
    dialog.ShowModal();
}

// No owner: the wizard is the program's only window in its mode and gets
// a taskbar button of its own.
void QtAppDialogs::ShowFirstInstall(MainContext& c) {
    frmZNT_FirstInstall wizard(c);
    wizard.exec();
}

}  // namespace znt
