#pragma once

// What start-up and the main window's commands need from the windows: the
// main window itself, and the dialogs it opens. The Qt windows implement
// them in the program; tests give fakes.

#include <string>

namespace ov {
class ProgressView;
}

namespace znt {

struct MainContext;

class MainWindowView {
public:
    virtual ~MainWindowView() = default;
    // SetCaptions: the pack font and every caption, from the state's texts.
    virtual void SetCaptions() = 0;
    // cmdInstall and cmdUninstall together.
    virtual void SetCommandsEnabled(bool enabled) = 0;
    virtual void SetIcon(const std::string& iconPath) = 0;
    // The progress window, modeless over the main window.
    virtual ov::ProgressView& Progress() = 0;
};

// The modal dialogs of the program. Each returns when its window closes and
// reports through the state (the source dialog sets SourceIsInternet,
// SourceFolder and SourceConfirmed). Through the context a dialog reaches
// the state (texts, catalogue, list map, core section table, messages), the
// main window's progress window and the other dialogs. A dialog that finds
// c.state.closing set after a wait returns at once and shows nothing more.
class AppDialogs {
public:
    virtual ~AppDialogs() = default;
    virtual void ShowSource(MainContext& c) = 0;              // frmZNT_Source
    virtual void ShowInstallSelection(MainContext& c) = 0;    // frmZNT_Install
    virtual void ShowUninstallSelection(MainContext& c) = 0;  // frmZNT_Uninstall
    virtual void ShowFirstInstall(MainContext& c) = 0;        // frmZNT_FirstInstall
};

}  // namespace znt
