#include "ui/qt/frmZNT_FirstInstall.h"

#include "OVShared/Modules/modOVCoreFunctions.h"
#include "OVShared/Platform/FileSystem.h"
#include "app/AppState.h"
#include "ui/qt/QtFonts.h"
#include "ui/qt/QtWidgets.h"
#include "i18n/TextNumbers.h"

#include <QCloseEvent>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

namespace znt {
namespace {

constexpr int kPictureSize = 48;
constexpr int kPageWidth = 380;
// Tall enough for the longest page text, so that the window keeps its size
// from page to page.
constexpr int kPageHeight = 150;

}  // namespace

frmZNT_FirstInstall::frmZNT_FirstInstall(MainContext& c, QWidget* owner)
    : QDialog(owner), c_(c), host_(c), wizard_(host_, *this) {
    setObjectName("frmZNT_FirstInstall");
    // A window of its own, with a taskbar button, even when it has an owner.
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    BuildControls();
    LoadPictures();
    wizard_.Load();
}

QGroupBox* frmZNT_FirstInstall::BuildPage(const char* frame, const char* label, QLabel*& labelOut) {
    auto* page = new QGroupBox(this);
    page->setObjectName(frame);
    page->setFixedSize(kPageWidth, kPageHeight);
    labelOut = new QLabel(page);
    labelOut->setObjectName(label);
    labelOut->setWordWrap(true);
    labelOut->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(labelOut, 1);
    return page;
}

void frmZNT_FirstInstall::BuildControls() {
    PICBACK = new QLabel(this);
    PICBACK->setObjectName("PICBACK");
    PICBACK->setFixedSize(kPictureSize, kPictureSize);
    fmStep1 = BuildPage("fmStep1", "lblStep", lblStep);
    fmStep2 = BuildPage("fmStep2", "lblStep2", lblStep2);
    fmStep3 = BuildPage("fmStep3", "lblStep3", lblStep3);
    cmdLanguage = MakeButton("cmdLanguage", this);
    cmdLanguage->setAutoDefault(false);
    cmdUpdate = MakeButton("cmdUpdate", this);
    cmdUpdate->setDefault(true);
    cmdClose = MakeButton("cmdClose", this);
    cmdClose->setAutoDefault(false);

    auto* pages = new QVBoxLayout;
    for (QGroupBox* page : {fmStep1, fmStep2, fmStep3}) pages->addWidget(page);
    auto* top = new QHBoxLayout;
    top->addWidget(PICBACK, 0, Qt::AlignTop);
    top->addSpacing(6);
    top->addLayout(pages, 1);
    auto* line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(cmdLanguage);
    buttons->addStretch(1);
    buttons->addWidget(cmdUpdate);
    buttons->addWidget(cmdClose);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(line);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(cmdUpdate, &QPushButton::clicked, this, [this] { cmdUpdate_Click(); });
    connect(cmdClose, &QPushButton::clicked, this, [this] { close(); });
    connect(cmdLanguage, &QPushButton::clicked, this, [this] { cmdLanguage_Click(); });
}

// The main window's picture and the program icon, from the installation.
void frmZNT_FirstInstall::LoadPictures() {
    const std::string system = c_.state.appFolder + "\\system\\";
    PICBACK->setPixmap(QPixmap(Q(ov::NativePath(system + "pictures\\ZNT_Install.png"))));
    if (ov::FileExists(system + "MENU\\ZNT.ico")) {
        setWindowIcon(QIcon(Q(ov::NativePath(system + "MENU\\ZNT.ico"))));
    }
}

void frmZNT_FirstInstall::SetCaptions() {
    const AppTexts& t = c_.state.texts;
    ApplyLanguageFont(*this, t.charset);
    setWindowTitle(Q(t[kTextWizardTitle]));
    fmStep1->setTitle(Q(t[kTextWizardStep1Frame]));
    lblStep->setText(Q(t[kTextWizardStep1Label]));
    fmStep2->setTitle(Q(t[kTextWizardStep2Frame]));
    lblStep2->setText(Q(t[kTextWizardStep2Label]));
    fmStep3->setTitle(Q(t[kTextWizardStep3Frame]));
    lblStep3->setText(Q(t[kTextWizardStep3Label]));
    cmdUpdate->setText(Q(t[kTextWizardNext]));
    cmdClose->setText(Q(t[kTextWizardClose]));
    cmdLanguage->setFont(QtLanguageFont(kLanguageControlCharset));
    cmdLanguage->setText(Q(t[kTextLanguageButton]));
}

void frmZNT_FirstInstall::ShowStep(int step) {
    fmStep1->setVisible(step == 1);
    fmStep2->setVisible(step == 2);
    fmStep3->setVisible(step == 3);
    if (step == 3) {
        cmdUpdate->hide();
        cmdClose->setDefault(true);
    }
}

void frmZNT_FirstInstall::SetWizardEnabled(bool enabled) {
    for (QWidget* control : std::initializer_list<QWidget*>{fmStep1, cmdClose, cmdUpdate, lblStep,
                                                            fmStep2, lblStep2, cmdLanguage}) {
        control->setEnabled(enabled);
    }
}

void frmZNT_FirstInstall::cmdUpdate_Click() { wizard_.Next(); }

void frmZNT_FirstInstall::cmdLanguage_Click() {
    if (wizard_.ToggleLanguage()) return;
    exitCode_ = kExitFailed;
    close();
}

// Every way out (Close, Esc, the close box) ends the program here, once.
void frmZNT_FirstInstall::closeEvent(QCloseEvent* event) {
    event->accept();
    if (ended_) return;
    ended_ = true;
    EndFromWizard(c_.state, exitCode_);
}

void frmZNT_FirstInstall::reject() { close(); }

}  // namespace znt
