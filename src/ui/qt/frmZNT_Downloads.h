#pragma once

// frmZNT_Downloads: hosts the install run. On its first activation it runs
// the run it was given (downloads, then placement) and closes itself when
// the run ends. While the run goes on, the close box and Esc act as Cancel.

#include "install/DownloadView.h"
#include "install/InstallRun.h"

#include <QDialog>

#include <functional>

class QGroupBox;
class QLabel;
class QProgressBar;
class QPushButton;

namespace znt {

struct AppTexts;

class frmZNT_Downloads : public QDialog, public DownloadView {
    Q_OBJECT
public:
    using Run = std::function<InstallOutcome(DownloadView&)>;

    frmZNT_Downloads(const AppTexts& texts, Run run, QWidget* owner = nullptr);

    // Shows the window modally and returns the run's outcome once it closed.
    InstallOutcome ShowModal();

    void SetText(DownloadControl control, const std::string& text) override;
    void SetValue(DownloadControl bar, int value) override;
    void SetVisible(DownloadControl control, bool visible) override;
    void SetEnabled(DownloadControl control, bool enabled) override;
    CancelButton& Cancel() override { return cancel_; }

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    void BuildControls();
    void StartRun();
    void cmdCancel_Click();
    QWidget* Control(DownloadControl control);

    const AppTexts& texts_;
    Run run_;
    CancelButton cancel_;
    bool started_ = false;
    bool running_ = false;
    InstallOutcome outcome_ = InstallOutcome::Cancelled;

    QGroupBox* fmProgress;
    QLabel* lblTotal;
    QLabel* lblCurrent;
    QLabel* lblResponse;
    QProgressBar* PBAR;
    QProgressBar* PTOTAL;
    QLabel* lblSpeed;
    QPushButton* cmdCancel;
};

}  // namespace znt
