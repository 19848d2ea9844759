#pragma once

// The main window: install or update, remove, language, OK and Cancel.
// Its load (start-up) and its commands are logic in StartUp and
// MainCommands; the window binds its controls to them.

#include "app/AppViews.h"
#include "app/MainCommands.h"
#include "app/StartUp.h"

#include <QDialog>

class QGroupBox;
class QLabel;
class QPushButton;

namespace znt {

class frmOVProgress;

class MainForm : public QDialog, public MainWindowView {
    Q_OBJECT
public:
    // fetch places the catalogue for the commands (tests give their own).
    MainForm(AppState& state, AppDialogs& dialogs, CatalogueFetch fetch = FetchFromSource,
             QWidget* parent = nullptr);

    // Form_Load: runs start-up; the window is shown only when it says so.
    LoadOutcome Load();
    // The exit code once the window has ended the program.
    int exitCode() const { return exitCode_; }

    void SetCaptions() override;
    void SetCommandsEnabled(bool enabled) override;
    void SetIcon(const std::string& iconPath) override;
    ov::ProgressView& Progress() override;

signals:
    // The close path has run; the program ends with exitCode().
    void programEnded();

protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    void BuildControls();
    QGroupBox* BuildFrame(const char* frame, const char* picture, const char* label,
                          const char* button, QLabel*& labelOut, QPushButton*& buttonOut,
                          QLabel*& pictureOut);
    void LoadPictures();
    void cmdInstall_Click();
    void cmdUninstall_Click();
    void cmdLanguage_Click();

    AppState& state_;
    MainContext context_;
    frmOVProgress* progress_ = nullptr;
    bool ended_ = false;
    int exitCode_ = kExitOk;

    QLabel* lblSelect;
    QGroupBox* fmInstall;
    QLabel* imgInstall;
    QLabel* lblInstall;
    QPushButton* cmdInstall;
    QGroupBox* fmUninstall;
    QLabel* imgUninstall;
    QLabel* lblUninstall;
    QPushButton* cmdUninstall;
    QLabel* lblLanguage;
    QPushButton* cmdLanguage;
    QPushButton* cmdOk;
    QPushButton* cmdCancel;
};

}  // namespace znt
