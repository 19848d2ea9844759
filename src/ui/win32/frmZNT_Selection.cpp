#include "ui/win32/frmZNT_Selection.h"

#include "OVShared/Modules/modOVCoreFunctions.h"
#include "i18n/LanguagePack.h"
#include "i18n/TextNumbers.h"

namespace znt::win32 {

// List1 as the core selection routines see it. Hiding holds the list's
// repaints, so a whole-list change draws once.
class frmZNT_Selection::ListAdapter : public ov::MultiSelectList {
public:
    explicit ListAdapter(HWND list) : list_(list) {}
    int count() const override { return static_cast<int>(Send(LB_GETCOUNT, 0, 0)); }
    bool selected(int index) const override { return Send(LB_GETSEL, index, 0) > 0; }
    void setSelected(int index, bool on) override { Send(LB_SETSEL, on, index); }
    int currentIndex() const override { return static_cast<int>(Send(LB_GETCARETINDEX, 0, 0)); }
    void setCurrentIndex(int index) override {
        if (index >= 0) Send(LB_SETCARETINDEX, index, FALSE);
    }
    void setVisible(bool visible) override {
        Send(WM_SETREDRAW, visible, 0);
        if (visible) InvalidateRect(list_, nullptr, TRUE);
    }

private:
    LRESULT Send(UINT message, WPARAM wParam, LPARAM lParam) const {
        return SendMessageW(list_, message, wParam, lParam);
    }
    HWND list_;
};

frmZNT_Selection::frmZNT_Selection(SelectionContext context, SelectionKind kind, ConfirmedRun run)
    : Form(kind == SelectionKind::Install ? "frmZNT_Install" : "frmZNT_Uninstall"),
      c_(context),
      kind_(kind),
      run_(std::move(run)) {
    BuildControls();
    adapter_ = std::make_unique<ListAdapter>(Control("List1"));
}

frmZNT_Selection::~frmZNT_Selection() = default;

void frmZNT_Selection::BuildControls() {
    Create(nullptr, 600, 400);
    AddGroup("fmSettings", 8, 8, 584, 350);
    AddListBox("List1", 20, 28, 560, 220, LBS_MULTIPLESEL);
    AddButton("cmdSelectAll", 20, 256, 122, 26);
    AddButton("cmdSelectNone", 148, 256, 122, 26);
    AddButton("cmdSelectInvert", 276, 256, 122, 26);
    AddLabel("lblSize", 404, 261, 176, 18, SS_RIGHT);
    AddLabel("lblInfo", 20, 290, 560, 56, SS_SUNKEN);
    AddButton("cmdUpdate", 384, 366, 100, 26);
    AddButton("cmdClose", 492, 366, 100, 26);
    SetDefaultButton("cmdUpdate");
}

void frmZNT_Selection::ShowModal() {
    if (!Form_Load()) return;
    RunModal();
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
    ApplyFont(t.charset);
    SetCaption(t[install ? kTextInstallTitle : kTextUninstallTitle]);
    SetText("fmSettings", t[kTextSelectionFrame]);
    SetText("cmdUpdate", t[install ? kTextInstallConfirm : kTextUninstallConfirm]);
    SetText("cmdClose", t[kTextCancel]);
    SetText("cmdSelectAll", t[kTextSelectAll]);
    SetText("cmdSelectNone", t[kTextSelectNone]);
    SetText("cmdSelectInvert", t[kTextSelectInvert]);
}

std::vector<bool> frmZNT_Selection::SelectedRows() const {
    std::vector<bool> rows(static_cast<size_t>(adapter_->count()));
    for (size_t row = 0; row < rows.size(); ++row) {
        rows[row] = adapter_->selected(static_cast<int>(row));
    }
    return rows;
}

void frmZNT_Selection::RefreshSummary() {
    const int current = RowCount() > 0 ? adapter_->currentIndex() : -1;
    SelectionSummary s =
        Summarize(c_.packages, c_.listMap, SelectedRows(), current, c_.english, c_.texts);
    SetEnabled("cmdUpdate", s.confirmEnabled);
    SetText("lblSize", s.sizeText);
    SetText("lblInfo", s.info);
}

void frmZNT_Selection::Select(void (*routine)(ov::MultiSelectList&)) {
    routine(*adapter_);
    RefreshSummary();
}

void frmZNT_Selection::SetButtonsEnabled(bool enabled) {
    for (const char* b :
         {"cmdClose", "cmdSelectAll", "cmdSelectInvert", "cmdSelectNone", "cmdUpdate"}) {
        SetEnabled(b, enabled);
    }
}

// Install: the download window runs with the selection, then this closes.
// Removal: runs here with the buttons disabled.
void frmZNT_Selection::cmdUpdate_Click() {
    ConfirmSelection(c_, kind_, SelectedRows(), run_, [this](bool on) { SetButtonsEnabled(on); });
    EndModal();
}

void frmZNT_Selection::OnClick(const std::string& control) {
    if (control == "cmdSelectAll") {
        Select(ov::SelectAllItems);
    } else if (control == "cmdSelectNone") {
        Select(ov::SelectNoItems);
    } else if (control == "cmdSelectInvert") {
        Select(ov::InvertSelection);
    } else if (control == "cmdUpdate") {
        cmdUpdate_Click();
    } else if (control == "cmdClose") {
        EndModal();
    }
}

void frmZNT_Selection::OnListChange(const std::string& control) {
    if (control == "List1") RefreshSummary();
}

bool frmZNT_Selection::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    const bool list = reinterpret_cast<HWND>(lParam) == Control("List1");
    const bool info = reinterpret_cast<HWND>(lParam) == Control("lblInfo");
    if ((message == WM_CTLCOLORLISTBOX && list) || (message == WM_CTLCOLORSTATIC && info)) {
        HDC dc = reinterpret_cast<HDC>(wParam);
        SetBkColor(dc, GetSysColor(colourIndex_));
        SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
        result = reinterpret_cast<LRESULT>(GetSysColorBrush(colourIndex_));
        return true;
    }
    // Focus coming back to the list refreshes the summary, as a click does.
    if (message == WM_COMMAND && list && HIWORD(wParam) == LBN_SETFOCUS) RefreshSummary();
    return false;
}

void frmZNT_Selection::ClearRows() { SendMessageW(Control("List1"), LB_RESETCONTENT, 0, 0); }

void frmZNT_Selection::AddRow(const std::string& text) {
    SendMessageW(Control("List1"), LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(text).c_str()));
}

int frmZNT_Selection::RowCount() const { return adapter_ ? adapter_->count() : 0; }

void frmZNT_Selection::SetCurrentRow(int row) { adapter_->setCurrentIndex(row); }

void frmZNT_Selection::SetListEnabled(bool enabled) { SetEnabled("List1", enabled); }

void frmZNT_Selection::SetListColours(ListColour colour) {
    colourIndex_ = colour == ListColour::Window ? COLOR_WINDOW : COLOR_BTNFACE;
    InvalidateRect(Control("List1"), nullptr, TRUE);
    InvalidateRect(Control("lblInfo"), nullptr, TRUE);
}

void frmZNT_Selection::SetConfirmEnabled(bool enabled) { SetEnabled("cmdUpdate", enabled); }

}  // namespace znt::win32
