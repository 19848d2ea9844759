#pragma once

// The main window: install or update, remove, language, OK and Cancel.
// Its load (start-up) and its commands are logic in StartUp and
// MainCommands; the window binds its controls to them. A window of its own
// (taskbar button, minimize box), not modal: the program's message loop
// runs while it is open, and every way out ends that loop.

#include "app/AppViews.h"
#include "app/MainCommands.h"
#include "app/StartUp.h"
#include "ui/win32/Win32Form.h"

#include <memory>

namespace znt::win32 {

class frmOVProgress;

class MainForm : public Form, public MainWindowView {
public:
    // fetch places the catalogue for the commands (tests give their own).
    MainForm(AppState& state, AppDialogs& dialogs, CatalogueFetch fetch = FetchFromSource);
    ~MainForm() override;

    // Form_Load: runs start-up; the window is shown only when it says so.
    LoadOutcome Load();
    // Runs the program's messages (the window shown) until the close path
    // has run; the exit code.
    int Run();
    // Whether the close path has run (or start-up ended the program).
    bool Ended() const { return ended_; }
    // The exit code once the window has ended the program.
    int ExitCode() const { return exitCode_; }

    void SetCaptions() override;
    void SetCommandsEnabled(bool enabled) override;
    void SetIcon(const std::string& iconPath) override;
    ov::ProgressView& Progress() override;

protected:
    void OnClick(const std::string& control) override;
    // Esc and the close box: the close path.
    void OnCancel() override;

private:
    void BuildControls();
    void BuildFrame(int top, const char* frame, const char* picture, const char* label,
                    const char* button);
    void LoadPictures();
    void cmdLanguage_Click();
    void Form_Unload();

    AppState& state_;
    MainContext context_;
    std::unique_ptr<frmOVProgress> progress_;
    bool picturesLoaded_ = false;
    bool ended_ = false;
    int exitCode_ = kExitOk;
};

}  // namespace znt::win32
