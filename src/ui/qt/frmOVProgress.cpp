#include "ui/qt/frmOVProgress.h"

#include "ui/qt/QtFonts.h"
#include "i18n/SharedPack.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace znt {

frmOVProgress::frmOVProgress(const SharedPackIndex& sharedPack, int charset, QWidget* owner)
    : QDialog(owner), sharedPack_(sharedPack), charset_(charset) {
    setObjectName("frmOVProgress");
    setModal(false);
    LabeL = new QLabel(this);
    LabeL->setObjectName("LabeL");
    LabeL->setWordWrap(true);
    LabeL->setMinimumWidth(320);
    ProgressBar = new QProgressBar(this);
    ProgressBar->setObjectName("ProgressBar");
    ProgressBar->setRange(0, 100);
    ProgressBar->setTextVisible(false);
    cmdCancel = new QPushButton(tr("Cancel"), this);
    cmdCancel->setObjectName("cmdCancel");
    cmdCancel->setAutoDefault(false);
    connect(cmdCancel, &QPushButton::clicked, this, [this] { cmdCancel_Click(); });

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(LabeL);
    layout->addWidget(ProgressBar);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void frmOVProgress::EnsureLoaded() {
    if (!loaded_) Form_Load();
}

// Each load starts with a cleared flag and an enabled button, so that a
// cancel of an earlier run never stops the next one.
void frmOVProgress::Form_Load() {
    loaded_ = true;
    ApplyLanguageFont(*this, charset_);
    cancelFlag_ = false;
    cmdCancel->setEnabled(true);
    SectionTexts section;
    if (sharedPack_.LoadSection("frmOVProgress", section) && !section[1].empty()) {
        cmdCancel->setText(QString::fromStdString(section[1]));
    }
    ProgressBar->setValue(0);
}

void frmOVProgress::SetLabel(const std::string& text) {
    EnsureLoaded();
    LabeL->setText(QString::fromStdString(text));
}

void frmOVProgress::SetBar(int value) {
    EnsureLoaded();
    ProgressBar->setValue(value < 0 ? 0 : value > 100 ? 100 : value);
}

void frmOVProgress::Show() {
    EnsureLoaded();
    show();
    raise();
}

void frmOVProgress::Close() {
    hide();
    loaded_ = false;
}

void frmOVProgress::cmdCancel_Click() {
    cancelFlag_ = true;
    cmdCancel->setEnabled(false);
}

// The close box and Esc ask to cancel, like the button; the caller closes
// the window when its work has stopped.
void frmOVProgress::closeEvent(QCloseEvent* event) {
    event->ignore();
    if (cmdCancel->isEnabled()) cmdCancel_Click();
}

void frmOVProgress::reject() {
    if (cmdCancel->isEnabled()) cmdCancel_Click();
}

}  // namespace znt
