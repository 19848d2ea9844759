#pragma once

// frmZNT_FirstInstall: the first-install wizard's window. Three pages
// (fmStep1 to fmStep3), Next (cmdUpdate), Close and the language button;
// the steps themselves are FirstInstallWizard over the program's context.
// Closing the window, from any step and in any way, ends the program: the
// close path cancels a running transfer, marks the state as closing and
// leaves the exit code in it; start-up returns once exec() does.
//
//     frmZNT_FirstInstall wizard(c);  // no owner: its own taskbar button
//     wizard.exec();

#include "app/FirstInstallHost.h"
#include "wizard/FirstInstall.h"

#include <QDialog>

class QGroupBox;
class QLabel;
class QPushButton;

namespace znt {

class frmZNT_FirstInstall : public QDialog, public WizardView {
    Q_OBJECT
public:
    explicit frmZNT_FirstInstall(MainContext& c, QWidget* owner = nullptr);

    void SetCaptions() override;
    void ShowStep(int step) override;
    void SetWizardEnabled(bool enabled) override;

    int Step() const { return wizard_.Step(); }

protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    void BuildControls();
    QGroupBox* BuildPage(const char* frame, const char* label, QLabel*& labelOut);
    void LoadPictures();
    void cmdUpdate_Click();
    void cmdLanguage_Click();

    MainContext& c_;
    FirstInstallHost host_;
    FirstInstallWizard wizard_;
    bool ended_ = false;
    int exitCode_ = kExitOk;

    QLabel* PICBACK;
    QGroupBox* fmStep1;
    QLabel* lblStep;
    QGroupBox* fmStep2;
    QLabel* lblStep2;
    QGroupBox* fmStep3;
    QLabel* lblStep3;
    QPushButton* cmdLanguage;
    QPushButton* cmdUpdate;
    QPushButton* cmdClose;
};

}  // namespace znt
