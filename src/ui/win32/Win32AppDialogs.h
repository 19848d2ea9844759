#pragma once

// The dialogs the main window opens (source, install and uninstall
// selection, first-install wizard), as Win32 windows.

#include "app/AppViews.h"

namespace znt::win32 {

class Win32AppDialogs : public AppDialogs {
public:
    void ShowSource(MainContext& c) override;
    void ShowInstallSelection(MainContext& c) override;
    void ShowUninstallSelection(MainContext& c) override;
    void ShowFirstInstall(MainContext& c) override;
};

}  // namespace znt::win32
