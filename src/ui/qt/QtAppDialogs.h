#pragma once

// The program's modal dialogs behind AppDialogs. A dialog whose window is
// not part of the program yet returns at once and leaves the state as it
// was, so the command that asked for it ends quietly.

#include "app/AppViews.h"

namespace znt {

class QtAppDialogs : public AppDialogs {
public:
    void ShowSource(MainContext& c) override;
    void ShowInstallSelection(MainContext& c) override;
    void ShowUninstallSelection(MainContext& c) override;
    void ShowFirstInstall(MainContext& c) override;
};

}  // namespace znt
