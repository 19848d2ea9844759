#include "ui/win32/Win32AppDialogs.h"

// The dialogs' windows are filled in when they join this build. Until then
// each returns at once without confirming anything: the source dialog
// leaves SourceConfirmed unset, so a command ends as if it was cancelled.

namespace znt::win32 {

void Win32AppDialogs::ShowSource(MainContext&) {}

void Win32AppDialogs::ShowInstallSelection(MainContext&) {}

void Win32AppDialogs::ShowUninstallSelection(MainContext&) {}

void Win32AppDialogs::ShowFirstInstall(MainContext&) {}

}  // namespace znt::win32
