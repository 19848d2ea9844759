#include "install/PackageSelection.h"

#include "i18n/TextNumbers.h"

#include <algorithm>
#include <cstdint>
#include <limits>

namespace znt {
namespace {

const PackageEntry* PackageOfRow(const Packages& packages, const ListMap& map, int row) {
    std::int32_t index = map.PackageAt(row + 1);
    return packages.HasPackage(index) ? &packages.Package(index) : nullptr;
}

std::int32_t SelectedBytes(const Packages& packages, const ListMap& map,
                           const std::vector<bool>& selected) {
    std::int64_t total = 0;
    for (size_t row = 0; row < selected.size(); ++row) {
        if (!selected[row]) continue;
        if (const PackageEntry* p = PackageOfRow(packages, map, static_cast<int>(row))) {
            total += std::max<std::int32_t>(p->SizeBytes, 0);
        }
    }
    return static_cast<std::int32_t>(
        std::min<std::int64_t>(total, std::numeric_limits<std::int32_t>::max()));
}

}  // namespace

SelectionSummary Summarize(const Packages& packages, const ListMap& map,
                           const std::vector<bool>& selected, int currentRow, bool english,
                           const AppTexts& texts) {
    SelectionSummary summary;
    summary.confirmEnabled = std::find(selected.begin(), selected.end(), true) != selected.end();
    summary.sizeText = texts[kTextTotalSize] + ": " +
                       std::to_string(RoundedKilobytes(SelectedBytes(packages, map, selected))) +
                       " Kb";
    if (const PackageEntry* p =
            currentRow >= 0 ? PackageOfRow(packages, map, currentRow) : nullptr) {
        summary.info = english ? p->DescriptionEnglish : p->DescriptionGreek;
    }
    return summary;
}

void ApplySelection(Packages& packages, const ListMap& map, const std::vector<bool>& selected,
                    bool clearUnlisted) {
    if (clearUnlisted) {
        for (PackageEntry& p : packages.entries) p.Marked = false;
    }
    for (size_t row = 0; row < selected.size(); ++row) {
        std::int32_t index = map.PackageAt(static_cast<std::int32_t>(row) + 1);
        if (packages.HasPackage(index)) packages.Package(index).Marked = selected[row];
    }
}

bool LoadSelectionList(const SelectionContext& c, SelectionKind kind, PackageListView& view) {
    ListContext list{c.installFolder, c.packages, c.listMap,  c.english,
                     c.texts,         c.messages, c.progress, view, c.deltas};
    if (kind == SelectionKind::Install) {
        BuildInstallList(list);
    } else {
        BuildUninstallList(list);
    }
    return view.RowCount() > 0;
}

void ConfirmSelection(const SelectionContext& c, SelectionKind kind,
                      const std::vector<bool>& selected, const std::function<void()>& run,
                      const std::function<void(bool)>& setButtonsEnabled) {
    const bool removal = kind == SelectionKind::Uninstall;
    ApplySelection(c.packages, c.listMap, selected, removal);
    if (removal) setButtonsEnabled(false);
    if (run) run();
    if (removal) setButtonsEnabled(true);
}

}  // namespace znt
