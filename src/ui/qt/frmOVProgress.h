#pragma once

// The progress window: a label and a bar set by the caller, and a Cancel
// button that raises a flag the caller's loops read. Modeless over its
// owner. Like a form that loads on first use, it (re)loads its font and its
// shared-pack caption whenever it is used after being closed.

#include "OVShared/Modules/ProgressView.h"

#include <QDialog>

class QLabel;
class QProgressBar;
class QPushButton;

namespace znt {

class SharedPackIndex;

class frmOVProgress : public QDialog, public ov::ProgressView {
    Q_OBJECT
public:
    frmOVProgress(const SharedPackIndex& sharedPack, int charset, QWidget* owner);

    void SetLabel(const std::string& text) override;
    void SetBar(int value) override;
    void Show() override;
    void Close() override;
    bool CancelRequested() const override { return cancelFlag_; }

    // The pack font of later loads (after a language toggle).
    void SetCharset(int charset) { charset_ = charset; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    void EnsureLoaded();
    void Form_Load();
    void cmdCancel_Click();

    const SharedPackIndex& sharedPack_;
    int charset_;
    bool loaded_ = false;
    bool cancelFlag_ = false;
    QLabel* LabeL;
    QProgressBar* ProgressBar;
    QPushButton* cmdCancel;
};

}  // namespace znt
