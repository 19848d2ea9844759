#include "app/QtAppDialogs.h"

#include "app/AppState.h"
#include "install/frmZNT_Source.h"

#include <QApplication>

namespace znt {

void QtAppDialogs::ShowSource(AppState& state) {
    frmZNT_Source dialog({state.SourceIsInternet, state.SourceFolder, state.SourceConfirmed},
                         state.texts, state.appFolder, QApplication::activeWindow());
    dialog.exec();
}

// A dialog that is not part of the program yet confirms nothing: the command
// that asked for it ends quietly.
void QtAppDialogs::ShowInstallSelection(AppState&) {}

void QtAppDialogs::ShowUninstallSelection(AppState&) {}

void QtAppDialogs::ShowFirstInstall(AppState&) {}

}  // namespace znt
