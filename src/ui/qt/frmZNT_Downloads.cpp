#include "ui/qt/frmZNT_Downloads.h"

#include "ui/qt/QtFonts.h"
#include "ui/qt/QtWidgets.h"
#include "i18n/LanguagePack.h"

#include <QCloseEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace znt {
namespace {

QProgressBar* Bar(QWidget* parent, const char* name) {
    auto* bar = Named(new QProgressBar(parent), name);
    bar->setRange(0, 100);
    bar->setTextVisible(false);
    return bar;
}

}  // namespace

frmZNT_Downloads::frmZNT_Downloads(const AppTexts& texts, Run run, QWidget* owner)
    : QDialog(owner), texts_(texts), run_(std::move(run)) {
    setObjectName("frmZNT_Downloads");
    setModal(true);
    BuildControls();
    ApplyLanguageFont(*this, texts_.charset);
    PrepareDownloadWindow(*this, texts_);
}

void frmZNT_Downloads::BuildControls() {
    fmProgress = Named(new QGroupBox(this), "fmProgress");
    lblTotal = Named(new QLabel(fmProgress), "lblTotal");
    lblCurrent = Named(new QLabel(fmProgress), "lblCurrent");
    lblResponse = Named(new QLabel(fmProgress), "lblResponse");
    lblSpeed = Named(new QLabel(fmProgress), "lblSpeed");
    for (QLabel* label : {lblTotal, lblCurrent, lblResponse}) label->setMinimumWidth(380);
    PBAR = Bar(fmProgress, "PBAR");
    PTOTAL = Bar(fmProgress, "PTOTAL");
    cmdCancel = Named(new QPushButton(this), "cmdCancel");
    cmdCancel->setAutoDefault(false);

    auto* frame = new QVBoxLayout(fmProgress);
    frame->addWidget(lblCurrent);
    frame->addWidget(PBAR);
    frame->addWidget(lblResponse);
    frame->addSpacing(8);
    frame->addWidget(lblTotal);
    frame->addWidget(PTOTAL);
    frame->addWidget(lblSpeed);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cmdCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(fmProgress);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    connect(cmdCancel, &QPushButton::clicked, this, [this] { cmdCancel_Click(); });
}

InstallOutcome frmZNT_Downloads::ShowModal() {
    exec();
    return outcome_;
}

// The first activation starts the run once the window is on screen.
void frmZNT_Downloads::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (started_) return;
    started_ = true;
    QTimer::singleShot(0, this, [this] { StartRun(); });
}

void frmZNT_Downloads::StartRun() {
    running_ = true;
    outcome_ = run_ ? run_(*this) : InstallOutcome::Finished;
    running_ = false;
    accept();
}

void frmZNT_Downloads::cmdCancel_Click() {
    cmdCancel->setEnabled(false);
    cancel_.Press();
}

void frmZNT_Downloads::closeEvent(QCloseEvent* event) {
    if (!running_) return QDialog::closeEvent(event);
    event->ignore();
    if (cmdCancel->isEnabled()) cmdCancel_Click();
}

void frmZNT_Downloads::reject() {
    if (running_) {
        if (cmdCancel->isEnabled()) cmdCancel_Click();
        return;
    }
    QDialog::reject();
}

QWidget* frmZNT_Downloads::Control(DownloadControl control) {
    switch (control) {
    case DownloadControl::Window: return this;
    case DownloadControl::fmProgress: return fmProgress;
    case DownloadControl::lblTotal: return lblTotal;
    case DownloadControl::lblCurrent: return lblCurrent;
    case DownloadControl::lblResponse: return lblResponse;
    case DownloadControl::PBAR: return PBAR;
    case DownloadControl::PTOTAL: return PTOTAL;
    case DownloadControl::cmdCancel: return cmdCancel;
    case DownloadControl::lblSpeed: return lblSpeed;
    }
    return nullptr;
}

void frmZNT_Downloads::SetText(DownloadControl control, const std::string& text) {
    QWidget* w = Control(control);
    if (w == this) {
        setWindowTitle(Q(text));
    } else if (auto* label = qobject_cast<QLabel*>(w)) {
        label->setText(Q(text));
    } else if (auto* box = qobject_cast<QGroupBox*>(w)) {
        box->setTitle(Q(text));
    } else if (auto* button = qobject_cast<QPushButton*>(w)) {
        button->setText(Q(text));
    }
}

void frmZNT_Downloads::SetValue(DownloadControl bar, int value) {
    if (auto* b = qobject_cast<QProgressBar*>(Control(bar))) b->setValue(value);
}

void frmZNT_Downloads::SetVisible(DownloadControl control, bool visible) {
    if (QWidget* w = Control(control); w && w != this) w->setVisible(visible);
}

void frmZNT_Downloads::SetEnabled(DownloadControl control, bool enabled) {
    if (QWidget* w = Control(control); w && w != this) w->setEnabled(enabled);
}

}  // namespace znt
