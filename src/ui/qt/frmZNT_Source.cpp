#include "ui/qt/frmZNT_Source.h"

#include "OVShared/Platform/FileSystem.h"
#include "ui/qt/QtFonts.h"
#include "ui/qt/QtWidgets.h"
#include "i18n/TextNumbers.h"
#include "install/SourceChoice.h"

#include <QButtonGroup>
#include <QFileDialog>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace znt {
namespace {

constexpr int kPictureSize = 48;

}  // namespace

std::optional<std::string> BrowseForFolder(QWidget* owner, const QString& title,
                                           const std::string& start) {
    QString picked = QFileDialog::getExistingDirectory(
        owner, title, Q(ov::NativePath(start)),
        QFileDialog::ShowDirsOnly | QFileDialog::DontResolveSymlinks);
    if (picked.isEmpty()) return std::nullopt;
    return picked.toStdString();
}

frmZNT_Source::frmZNT_Source(SourceValues values, const AppTexts& texts,
                             const std::string& appFolder, QWidget* owner, FolderBrowser browse)
    : QDialog(owner),
      values_(values),
      texts_(texts),
      appFolder_(appFolder),
      browse_(std::move(browse)) {
    setObjectName("frmZNT_Source");
    setModal(true);
    BuildControls();
    Form_Load();
}

void frmZNT_Source::BuildControls() {
    fmSettings = Named(new QGroupBox(this), "fmSettings");
    Option1_0 = Named(new QRadioButton(fmSettings), "Option1_0");
    Option1_1 = Named(new QRadioButton(fmSettings), "Option1_1");
    Option1 = Named(new QButtonGroup(this), "Option1");
    Option1->addButton(Option1_0, 0);
    Option1->addButton(Option1_1, 1);
    lblSource = Named(new QLabel(fmSettings), "lblSource");
    lblDir = Named(new QLabel(fmSettings), "lblDir");
    lblDir->setFrameShape(QFrame::StyledPanel);
    lblDir->setMinimumWidth(320);
    lblDir->setTextInteractionFlags(Qt::TextSelectableByMouse);
    cmdBrowse = Named(new QPushButton(fmSettings), "cmdBrowse");
    cmdBrowse->setAutoDefault(false);
    cmdOk = Named(new QPushButton(this), "cmdOk");
    cmdOk->setDefault(true);
    cmdCancel = Named(new QPushButton(this), "cmdCancel");
    cmdCancel->setAutoDefault(false);
    Picture1 = Named(new QLabel(this), "Picture1");
    Picture1->setFixedSize(kPictureSize, kPictureSize);

    auto* folder = new QHBoxLayout;
    folder->addWidget(lblDir, 1);
    folder->addWidget(cmdBrowse);
    auto* frame = new QVBoxLayout(fmSettings);
    frame->addWidget(Option1_0);
    frame->addWidget(Option1_1);
    frame->addSpacing(6);
    frame->addWidget(lblSource);
    frame->addLayout(folder);
    auto* top = new QHBoxLayout;
    top->addWidget(Picture1, 0, Qt::AlignTop);
    top->addWidget(fmSettings, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cmdOk);
    buttons->addWidget(cmdCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(Option1, &QButtonGroup::idClicked, this, [this] { UpdateEnabledState(); });
    connect(cmdBrowse, &QPushButton::clicked, this, [this] { cmdBrowse_Click(); });
    connect(cmdOk, &QPushButton::clicked, this, [this] { cmdOk_Click(); });
    connect(cmdCancel, &QPushButton::clicked, this, [this] { reject(); });
}

void frmZNT_Source::Form_Load() {
    SetCaptions();
    (values_.SourceIsInternet ? Option1_0 : Option1_1)->setChecked(true);
    lblDir->setText(Q(values_.SourceFolder));
    Picture1->setPixmap(
        QPixmap(Q(ov::NativePath(appFolder_ + "\\system\\pictures\\ZNT_Install.png"))));
    UpdateEnabledState();
}

void frmZNT_Source::SetCaptions() {
    ApplyLanguageFont(*this, texts_.charset);
    setWindowTitle(Q(texts_[kTextSourceTitle]));
    fmSettings->setTitle(Q(texts_[kTextSourceFrame]));
    Option1_0->setText(Q(texts_[kTextSourceInternet]));
    Option1_1->setText(Q(texts_[kTextSourceFolder]));
    lblSource->setText(Q(texts_[kTextSourceFolderLabel]));
    cmdBrowse->setText(Q(texts_[kTextSourceBrowse]));
    cmdOk->setText(Q(texts_[kTextOk]));
    cmdCancel->setText(Q(texts_[kTextCancel]));
}

// The folder controls only matter for the local choice.
void frmZNT_Source::UpdateEnabledState() {
    bool local = FolderControlsEnabled(Option1_0->isChecked());
    cmdBrowse->setEnabled(local);
    lblSource->setEnabled(local);
    lblDir->setEnabled(local);
}

void frmZNT_Source::cmdBrowse_Click() {
    std::optional<std::string> picked =
        browse_(this, Q(texts_[kTextSourceFolderLabel]), values_.SourceFolder);
    if (picked && !picked->empty()) values_.SourceFolder = *picked;
    lblDir->setText(Q(values_.SourceFolder));
}

void frmZNT_Source::cmdOk_Click() {
    ConfirmSourceValues(values_, Option1_0->isChecked());
    accept();
}

}  // namespace znt
