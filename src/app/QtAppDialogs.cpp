#include "app/QtAppDialogs.h"

#include "app/AppState.h"

namespace znt {

// Without the source dialog nothing is confirmed: the command stops and
// gives both buttons back.
void QtAppDialogs::ShowSource(AppState&) {}

void QtAppDialogs::ShowInstallSelection(AppState&) {}

void QtAppDialogs::ShowUninstallSelection(AppState&) {}

void QtAppDialogs::ShowFirstInstall(AppState&) {}

}  // namespace znt
