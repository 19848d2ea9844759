#include "ui/qt/MainForm.h"

#include "OVShared/Platform/FileSystem.h"
#include "app/AppState.h"
#include "ui/qt/QtFonts.h"
#include "ui/qt/QtWidgets.h"
#include "ui/qt/frmOVProgress.h"
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

#include <utility>

namespace znt {
namespace {

constexpr int kPictureSize = 48;

QLabel* MakeLabel(const char* name, QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setObjectName(name);
    return label;
}

}  // namespace

MainForm::MainForm(AppState& state, AppDialogs& dialogs, CatalogueFetch fetch, QWidget* parent)
    : QDialog(parent), state_(state), context_{state, *this, dialogs, std::move(fetch)} {
    setObjectName("MainForm");
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    BuildControls();
}

QGroupBox* MainForm::BuildFrame(const char* frame, const char* picture, const char* label,
                                const char* button, QLabel*& labelOut, QPushButton*& buttonOut,
                                QLabel*& pictureOut) {
    auto* box = new QGroupBox(this);
    box->setObjectName(frame);
    pictureOut = MakeLabel(picture, box);
    pictureOut->setFixedSize(kPictureSize, kPictureSize);
    labelOut = MakeLabel(label, box);
    labelOut->setWordWrap(true);
    labelOut->setMinimumWidth(260);
    buttonOut = MakeButton(button, box);
    auto* row = new QHBoxLayout(box);
    row->addWidget(pictureOut, 0, Qt::AlignTop);
    row->addSpacing(6);
    row->addWidget(labelOut, 1);
    row->addSpacing(6);
    row->addWidget(buttonOut, 0, Qt::AlignVCenter);
    return box;
}

void MainForm::BuildControls() {
    lblSelect = MakeLabel("lblSelect", this);
    QFont heading = lblSelect->font();
    heading.setBold(true);
    lblSelect->setFont(heading);
    fmInstall = BuildFrame("fmInstall", "imgInstall", "lblInstall", "cmdInstall", lblInstall,
                           cmdInstall, imgInstall);
    fmUninstall = BuildFrame("fmUninstall", "imgUninstall", "lblUninstall", "cmdUninstall",
                             lblUninstall, cmdUninstall, imgUninstall);
    lblLanguage = MakeLabel("lblLanguage", this);
    lblLanguage->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    cmdLanguage = MakeButton("cmdLanguage", this);
    cmdOk = MakeButton("cmdOk", this);
    cmdOk->setDefault(true);
    cmdCancel = MakeButton("cmdCancel", this);

    auto* language = new QHBoxLayout;
    language->addWidget(lblLanguage, 1);
    language->addWidget(cmdLanguage);
    auto* line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    auto* closing = new QHBoxLayout;
    closing->addStretch(1);
    closing->addWidget(cmdOk);
    closing->addWidget(cmdCancel);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lblSelect);
    layout->addWidget(fmInstall);
    layout->addWidget(fmUninstall);
    layout->addLayout(language);
    layout->addWidget(line);
    layout->addLayout(closing);
    layout->setSizeConstraint(QLayout::SetMinimumSize);

    connect(cmdInstall, &QPushButton::clicked, this, [this] { cmdInstall_Click(); });
    connect(cmdUninstall, &QPushButton::clicked, this, [this] { cmdUninstall_Click(); });
    connect(cmdLanguage, &QPushButton::clicked, this, [this] { cmdLanguage_Click(); });
    connect(cmdOk, &QPushButton::clicked, this, [this] { close(); });
    connect(cmdCancel, &QPushButton::clicked, this, [this] { close(); });
}

LoadOutcome MainForm::Load() {
    LoadOutcome outcome = LoadMainWindow(context_);
    if (ended_) return LoadOutcome{false, exitCode_};  // the close path ran during the load
    if (!outcome.showMainWindow) {
        ended_ = true;  // start-up has ended the program; there is no close path to run
        exitCode_ = outcome.exitCode;
    }
    return outcome;
}

void MainForm::SetCaptions() {
    const AppTexts& t = state_.texts;
    ApplyLanguageFont(*this, t.charset);
    QFont greek = QtLanguageFont(kLanguageControlCharset);
    lblLanguage->setFont(greek);
    cmdLanguage->setFont(greek);
    setWindowTitle(Q(t[kTextTitle] + "..."));
    lblSelect->setText(Q(t[kTextSelectPrompt]));
    fmInstall->setTitle(Q(t[kTextInstallFrame]));
    lblInstall->setText(Q(t[kTextInstallLabel]));
    cmdInstall->setText(Q(t[kTextInstallConfirm]));
    fmUninstall->setTitle(Q(t[kTextUninstallFrame]));
    lblUninstall->setText(Q(t[kTextUninstallLabel]));
    cmdUninstall->setText(Q(t[kTextUninstallConfirm]));
    lblLanguage->setText(Q(t[kTextLanguageLabel]));
    cmdLanguage->setText(Q(t[kTextLanguageButton]));
    cmdOk->setText(Q(t[kTextOk]));
    cmdCancel->setText(Q(t[kTextCancel]));
    if (progress_) {
        progress_->SetCharset(t.charset);
        progress_->setWindowTitle(Q(state_.appTitle));
    }
    LoadPictures();
}

void MainForm::LoadPictures() {
    const std::string folder = state_.appFolder + "\\system\\pictures\\";
    if (!imgInstall->pixmap().isNull()) return;
    imgInstall->setPixmap(QPixmap(Q(ov::NativePath(folder + "ZNT_Install.png"))));
    imgUninstall->setPixmap(QPixmap(Q(ov::NativePath(folder + "ZNT_Uninstall.png"))));
}

void MainForm::SetCommandsEnabled(bool enabled) {
    cmdInstall->setEnabled(enabled);
    cmdUninstall->setEnabled(enabled);
}

void MainForm::SetIcon(const std::string& iconPath) { setWindowIcon(QIcon(Q(iconPath))); }

ov::ProgressView& MainForm::Progress() {
    if (!progress_) {
        progress_ = new frmOVProgress(state_.sharedPack, state_.texts.charset, this);
        progress_->setWindowTitle(Q(state_.appTitle));
    }
    return *progress_;
}

void MainForm::cmdInstall_Click() { RunPackageCommand(context_, PackageCommand::Install); }

void MainForm::cmdUninstall_Click() { RunPackageCommand(context_, PackageCommand::Uninstall); }

void MainForm::cmdLanguage_Click() {
    if (ToggleLanguage(context_)) return;
    exitCode_ = kExitFailed;
    close();
}

// Every way out (Esc, OK, Cancel, the close box) ends here, once.
void MainForm::closeEvent(QCloseEvent* event) {
    event->accept();
    if (ended_) return;
    ended_ = true;
    CloseProgram(state_);
    if (progress_) progress_->Close();
    emit programEnded();
}

void MainForm::reject() { close(); }

}  // namespace znt
