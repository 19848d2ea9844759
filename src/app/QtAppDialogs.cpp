#include "app/QtAppDialogs.h"

#include "app/MainCommands.h"

namespace znt {

// Without the source dialog nothing is confirmed: the command stops and
// gives both buttons back.
void QtAppDialogs::ShowSource(MainContext&) {}

void QtAppDialogs::ShowInstallSelection(MainContext&) {}

void QtAppDialogs::ShowUninstallSelection(MainContext&) {}

void QtAppDialogs::ShowFirstInstall(MainContext&) {}

}  // namespace znt
