#pragma once

// The package selection dialog and its twin: frmZNT_Install lists the
// packages with something to download, frmZNT_Uninstall the installed ones.
// Both show one row per package with its size, the selected total and the
// current row's description, and hand the confirmed selection to the run
// the caller gives (downloads and installation, or removal). A click on a
// row toggles its selection.

#include "OVShared/Modules/MultiSelectList.h"
#include "catalogue/PackageListView.h"
#include "catalogue/PackageLists.h"
#include "install/PackageSelection.h"
#include "ui/win32/Win32Form.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace znt::win32 {

class frmZNT_Selection : public Form, public PackageListView {
public:
    // Runs the confirmed selection: Marked holds the user's choice.
    using ConfirmedRun = std::function<void()>;

    frmZNT_Selection(SelectionContext context, SelectionKind kind, ConfirmedRun run);
    ~frmZNT_Selection() override;

    // Loads the dialog (captions, list, summary) and shows it modally; with
    // an empty list it closes at once. Returns when the dialog has closed.
    void ShowModal();

    // PackageListView, for the list builders.
    void ClearRows() override;
    void AddRow(const std::string& text) override;
    int RowCount() const override;
    void SetCurrentRow(int row) override;
    void SetListEnabled(bool enabled) override;
    void SetListColours(ListColour colour) override;
    void SetConfirmEnabled(bool enabled) override;

protected:
    void OnClick(const std::string& control) override;
    void OnListChange(const std::string& control) override;
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

private:
    class ListAdapter;

    void BuildControls();
    bool Form_Load();
    void SetCaptions();
    void RefreshSummary();
    std::vector<bool> SelectedRows() const;
    void SetButtonsEnabled(bool enabled);
    void Select(void (*routine)(ov::MultiSelectList&));
    void cmdUpdate_Click();

    SelectionContext c_;
    SelectionKind kind_;
    ConfirmedRun run_;
    std::unique_ptr<ListAdapter> adapter_;
    int colourIndex_ = COLOR_WINDOW;
};

class frmZNT_Install : public frmZNT_Selection {
public:
    frmZNT_Install(SelectionContext context, ConfirmedRun run)
        : frmZNT_Selection(context, SelectionKind::Install, std::move(run)) {}
};

class frmZNT_Uninstall : public frmZNT_Selection {
public:
    frmZNT_Uninstall(SelectionContext context, ConfirmedRun run)
        : frmZNT_Selection(context, SelectionKind::Uninstall, std::move(run)) {}
};

}  // namespace znt::win32
