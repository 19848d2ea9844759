#pragma once

// The program's modal dialogs behind AppDialogs. A dialog whose window is
// not part of the program yet returns at once and leaves the state as it
// was, so the command that asked for it ends quietly.

#include "app/AppViews.h"

namespace znt {

class QtAppDialogs : public AppDialogs {
public:
    void ShowSource(AppState& state) override;
    void ShowInstallSelection(AppState& state) override;
    void ShowUninstallSelection(AppState& state) override;
    void ShowFirstInstall(AppState& state) override;
};

}  // namespace znt
