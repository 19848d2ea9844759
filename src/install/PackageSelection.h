#pragma once

// The summary and confirmation rules shared by the install and uninstall
// selection dialogs, without the windows. A dialog hands in its rows'
// selection states (list positions 0..n-1, row k + 1 of the ListMap) and
// its current row (-1 when there is none).

#include "catalogue/Catalogue.h"
#include "catalogue/PackageListView.h"
#include "catalogue/PackageLists.h"
#include "i18n/LanguagePack.h"

#include <functional>
#include <string>
#include <vector>

namespace ov {
class MessageSink;
class ProgressView;
}  // namespace ov

namespace znt {

// What a selection dialog reads and writes.
struct SelectionContext {
    std::string installFolder;
    Packages& packages;
    ListMap& listMap;
    bool english;
    const AppTexts& texts;
    ov::MessageSink& messages;
    ov::ProgressView& progress;
    std::function<const DeltaIndex*()> deltas{};  // for the install list (ListContext)
};

enum class SelectionKind { Install, Uninstall };

// Fills the dialog's list from the catalogue (the install list or the
// installed packages). False when the list is empty: the builder has told
// the user, and the dialog does not show.
bool LoadSelectionList(const SelectionContext& c, SelectionKind kind, PackageListView& view);

// The dialog's confirm button: the rows' states become Marked, then the run
// the caller gave goes (downloads and placement, or removal). A removal
// runs with the dialog's buttons disabled (setButtonsEnabled false, then
// true again); the dialog closes afterwards.
void ConfirmSelection(const SelectionContext& c, SelectionKind kind,
                      const std::vector<bool>& selected, const std::function<void()>& run,
                      const std::function<void(bool)>& setButtonsEnabled);

struct SelectionSummary {
    bool confirmEnabled = false;  // some row is selected
    std::string sizeText;         // text 606 + ": " + kilobytes + " Kb"
    std::string info;             // the current row's description, or empty
};

// Sums SizeBytes of the selected rows' packages (rows without a package
// count nothing; the total saturates instead of wrapping) and describes the
// current row in the interface language.
SelectionSummary Summarize(const Packages& packages, const ListMap& map,
                           const std::vector<bool>& selected, int currentRow, bool english,
                           const AppTexts& texts);

// Sets Marked of each listed package to its row's state. With clearUnlisted
// every other package is unmarked first (removal), otherwise packages not in
// the list keep their Marked (install).
void ApplySelection(Packages& packages, const ListMap& map, const std::vector<bool>& selected,
                    bool clearUnlisted);

}  // namespace znt
