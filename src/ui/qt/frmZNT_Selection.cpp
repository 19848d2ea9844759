#include "ui/qt/frmZNT_Selection.h"

#include "OVShared/Modules/modOVCoreFunctions.h"
#include "ui/qt/QtFonts.h"
#include "ui/qt/QtWidgets.h"
#include "i18n/LanguagePack.h"
#include "i18n/TextNumbers.h"
#include "install/PackageSelection.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace znt {
// List1 as the core selection routines see it. Hiding is done by holding
// repaints, so the dialog's layout does not jump.
class frmZNT_Selection::ListAdapter : public ov::MultiSelectList {
public:
    explicit ListAdapter(QListWidget& list) : list_(list) {}
    int count() const override { return list_.count(); }
    bool selected(int index) const override { return list_.item(index)->isSelected(); }
    void setSelected(int index, bool on) override { list_.item(index)->setSelected(on); }
    int currentIndex() const override { return list_.currentRow(); }
    void setCurrentIndex(int index) override {
        list_.setCurrentRow(index, QItemSelectionModel::NoUpdate);
    }
    void setVisible(bool visible) override { list_.setUpdatesEnabled(visible); }

private:
    QListWidget& list_;
};

frmZNT_Selection::frmZNT_Selection(SelectionContext context, SelectionKind kind, ConfirmedRun run)
    : QDialog(nullptr), c_(context), kind_(kind), run_(std::move(run)) {
    setObjectName(kind == SelectionKind::Install ? "frmZNT_Install" : "frmZNT_Uninstall");
    setModal(true);
    BuildControls();
    adapter_ = std::make_unique<ListAdapter>(*List1);
}

frmZNT_Selection::~frmZNT_Selection() = default;

void frmZNT_Selection::BuildControls() {
    fmSettings = Named(new QGroupBox(this), "fmSettings");
    List1 = Named(new QListWidget(fmSettings), "List1");
    List1->setSelectionMode(QAbstractItemView::MultiSelection);
    List1->setMinimumSize(420, 220);
    lblSize = Named(new QLabel(fmSettings), "lblSize");
    lblInfo = Named(new QLabel(fmSettings), "lblInfo");
    lblInfo->setWordWrap(true);
    lblInfo->setMinimumHeight(48);
    lblInfo->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lblInfo->setAutoFillBackground(true);
    lblInfo->setFrameShape(QFrame::StyledPanel);
    cmdSelectAll = Named(new QPushButton(fmSettings), "cmdSelectAll");
    cmdSelectNone = Named(new QPushButton(fmSettings), "cmdSelectNone");
    cmdSelectInvert = Named(new QPushButton(fmSettings), "cmdSelectInvert");
    cmdUpdate = Named(new QPushButton(this), "cmdUpdate");
    cmdUpdate->setDefault(true);
    cmdClose = Named(new QPushButton(this), "cmdClose");
    for (QPushButton* b : {cmdSelectAll, cmdSelectNone, cmdSelectInvert, cmdClose}) {
        b->setAutoDefault(false);
    }

    auto* selection = new QHBoxLayout;
    selection->addWidget(cmdSelectAll);
    selection->addWidget(cmdSelectNone);
    selection->addWidget(cmdSelectInvert);
    selection->addStretch(1);
    selection->addWidget(lblSize);
    auto* frame = new QVBoxLayout(fmSettings);
    frame->addWidget(List1, 1);
    frame->addLayout(selection);
    frame->addWidget(lblInfo);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cmdUpdate);
    buttons->addWidget(cmdClose);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(fmSettings, 1);
    layout->addLayout(buttons);

    connect(List1, &QListWidget::itemSelectionChanged, this, [this] { RefreshSummary(); });
    connect(List1, &QListWidget::currentRowChanged, this, [this] { RefreshSummary(); });
    connect(List1, &QListWidget::itemClicked, this, [this] { RefreshSummary(); });
    connect(cmdSelectAll, &QPushButton::clicked, this, [this] { Select(ov::SelectAllItems); });
    connect(cmdSelectNone, &QPushButton::clicked, this, [this] { Select(ov::SelectNoItems); });
    connect(cmdSelectInvert, &QPushButton::clicked, this, [this] { Select(ov::InvertSelection); });
    connect(cmdUpdate, &QPushButton::clicked, this, [this] { cmdUpdate_Click(); });
    connect(cmdClose, &QPushButton::clicked, this, [this] { reject(); });
}

void frmZNT_Selection::ShowModal() {
    if (!Form_Load()) return;
    exec();
}

// Captions, the list from the catalogue, the summary. False when the list
// is empty: the builder has told the user, and the dialog does not show.
bool frmZNT_Selection::Form_Load() {
    SetCaptions();
    const bool listed = LoadSelectionList(c_, kind_, *this);
    RefreshSummary();
    return listed;
}

void frmZNT_Selection::SetCaptions() {
    const AppTexts& t = c_.texts;
    const bool install = kind_ == SelectionKind::Install;
    ApplyLanguageFont(*this, t.charset);
    setWindowTitle(Q(t[install ? kTextInstallTitle : kTextUninstallTitle]));
    fmSettings->setTitle(Q(t[kTextSelectionFrame]));
    cmdUpdate->setText(Q(t[install ? kTextInstallConfirm : kTextUninstallConfirm]));
    cmdClose->setText(Q(t[kTextCancel]));
    cmdSelectAll->setText(Q(t[kTextSelectAll]));
    cmdSelectNone->setText(Q(t[kTextSelectNone]));
    cmdSelectInvert->setText(Q(t[kTextSelectInvert]));
}

std::vector<bool> frmZNT_Selection::SelectedRows() const {
    std::vector<bool> rows(static_cast<size_t>(List1->count()));
    for (int row = 0; row < List1->count(); ++row) {
        rows[static_cast<size_t>(row)] = List1->item(row)->isSelected();
    }
    return rows;
}

void frmZNT_Selection::RefreshSummary() {
    SelectionSummary s = Summarize(c_.packages, c_.listMap, SelectedRows(), List1->currentRow(),
                                   c_.english, c_.texts);
    cmdUpdate->setEnabled(s.confirmEnabled);
    lblSize->setText(Q(s.sizeText));
    lblInfo->setText(Q(s.info));
}

void frmZNT_Selection::Select(void (*routine)(ov::MultiSelectList&)) {
    routine(*adapter_);
    RefreshSummary();
}

void frmZNT_Selection::SetButtonsEnabled(bool enabled) {
    for (QPushButton* b : {cmdClose, cmdSelectAll, cmdSelectInvert, cmdSelectNone, cmdUpdate}) {
        b->setEnabled(enabled);
    }
}

// Install: the download window runs with the selection, then this closes.
// Removal: runs here with the buttons disabled.
void frmZNT_Selection::cmdUpdate_Click() {
    ConfirmSelection(c_, kind_, SelectedRows(), run_, [this](bool on) { SetButtonsEnabled(on); });
    accept();
}

void frmZNT_Selection::ClearRows() { List1->clear(); }

void frmZNT_Selection::AddRow(const std::string& text) { List1->addItem(Q(text)); }

int frmZNT_Selection::RowCount() const { return List1->count(); }

void frmZNT_Selection::SetCurrentRow(int row) {
    List1->setCurrentRow(row, QItemSelectionModel::NoUpdate);
}

void frmZNT_Selection::SetListEnabled(bool enabled) { List1->setEnabled(enabled); }

void frmZNT_Selection::SetListColours(ListColour colour) {
    QPalette::ColorRole role = colour == ListColour::Window ? QPalette::Base : QPalette::Button;
    for (QWidget* w : {static_cast<QWidget*>(List1), static_cast<QWidget*>(lblInfo)}) {
        QPalette p = w->palette();
        p.setColor(QPalette::Base, palette().color(role));
        p.setColor(QPalette::Window, palette().color(role));
        w->setPalette(p);
    }
}

void frmZNT_Selection::SetConfirmEnabled(bool enabled) { cmdUpdate->setEnabled(enabled); }

}  // namespace znt
