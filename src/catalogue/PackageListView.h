#pragma once

// The package list of the install and uninstall dialogs as the list builders
// see it. The Qt dialogs implement it; tests and the LIST mode record rows.

#include <string>
#include <vector>

namespace znt {

enum class ListColour { Window, ButtonFace };

class PackageListView {
public:
    virtual ~PackageListView() = default;
    virtual void ClearRows() = 0;
    virtual void AddRow(const std::string& text) = 0;
    virtual int RowCount() const = 0;
    // Makes list position row (0-based) the current row without selecting it.
    virtual void SetCurrentRow(int row) = 0;
    virtual void SetListEnabled(bool enabled) = 0;
    // Background of the list and of the dialog's information label.
    virtual void SetListColours(ListColour colour) = 0;
    // The dialog's confirm button (cmdUpdate).
    virtual void SetConfirmEnabled(bool enabled) = 0;
};

// Keeps the rows and nothing else; for runs without a dialog.
class RowListView : public PackageListView {
public:
    void ClearRows() override { rows.clear(); }
    void AddRow(const std::string& text) override { rows.push_back(text); }
    int RowCount() const override { return static_cast<int>(rows.size()); }
    void SetCurrentRow(int) override {}
    void SetListEnabled(bool) override {}
    void SetListColours(ListColour) override {}
    void SetConfirmEnabled(bool) override {}

    std::vector<std::string> rows;
};

}  // namespace znt
