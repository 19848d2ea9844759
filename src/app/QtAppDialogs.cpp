#include "app/QtAppDialogs.h"

#include "app/AppState.h"
#include "app/MainCommands.h"
#include "install/frmZNT_Source.h"
#include "wizard/frmZNT_FirstInstall.h"

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

// A dialog that is not part of the program yet confirms nothing: the command
// that asked for it ends quietly.
void QtAppDialogs::ShowInstallSelection(MainContext&) {}

void QtAppDialogs::ShowUninstallSelection(MainContext&) {}

// No owner: the wizard is the program's only window in its mode and gets
// a taskbar button of its own.
void QtAppDialogs::ShowFirstInstall(MainContext& c) {
    frmZNT_FirstInstall wizard(c);
    wizard.exec();
}

}  // namespace znt
