#include "catalogue/PackageLists.h"

#include "OVShared/Modules/ProgressView.h"
#include "OVShared/Platform/MessageBox.h"
#include "OVShared/Platform/Yield.h"
#include "catalogue/FileTests.h"
#include "catalogue/Signature.h"
#include "i18n/LanguagePack.h"
#include "i18n/TextNumbers.h"

#include <algorithm>
#include <limits>
#include <map>

namespace znt {
namespace {

// Byte totals stay within 0..INT32_MAX whatever the catalogue or the disk says.
void AddBytes(std::int32_t& total, std::uint64_t bytes) {
    constexpr std::uint64_t kMax = std::numeric_limits<std::int32_t>::max();
    std::uint64_t sum = static_cast<std::uint64_t>(std::max(total, 0)) + std::min(bytes, kMax);
    total = static_cast<std::int32_t>(std::min(sum, kMax));
}

bool AnyFileNeedsUpdate(const PackageEntry& p, FileTestCache& tests) {
    return std::any_of(p.Files.begin(), p.Files.end(),
                       [&](const PackageFileEntry& f) { return tests.NeedsUpdate(f); });
}

// The delta for each out-of-date file whose installed copy an index lists
// as a base. A copy is hashed only when the index has a delta for its name,
// and once however many entries name it.
class DeltaChooser {
public:
    DeltaChooser(std::string_view installFolder, const DeltaIndex* index)
        : folder_(installFolder), index_(index) {}

    std::optional<DeltaSource> For(const PackageFileEntry& f) {
        // The install run fetches only files tested by version or by size.
        if (!index_ || (f.CheckMode != 0 && f.CheckMode != 1) || !IsSafeFileEntry(f) ||
            index_->For(f.FileName).empty()) {
            return std::nullopt;
        }
        const std::string path = InstalledPath(folder_, f);
        auto [it, added] = hashes_.try_emplace(DeltaFileKey(path));
        if (added) it->second = FileSha256Hex(path);
        if (!it->second) return std::nullopt;
        return ChooseDelta(*index_, f, *it->second);
    }

private:
    std::string folder_;
    const DeltaIndex* index_;
    std::map<std::string, std::optional<std::string>> hashes_;
};

std::int32_t DownloadBytes(PackageEntry& p, FileTestCache& tests, DeltaChooser& deltas) {
    std::int32_t total = 0;
    for (auto& f : p.Files) {
        if (!tests.NeedsUpdate(f)) continue;
        f.Delta = deltas.For(f);
        AddBytes(total, static_cast<std::uint64_t>(std::max(f.DownloadSize(), 0)));
    }
    return total;
}

// The index, asked for only when some package has files to fetch.
const DeltaIndex* DeltaIndexFor(const ListContext& c) {
    if (!c.deltas) return nullptr;
    const bool any = std::any_of(c.packages.entries.begin(), c.packages.entries.end(),
                                 [](const PackageEntry& p) { return p.Marked; });
    return any ? c.deltas() : nullptr;
}

// Sets Marked and SizeBytes from the package's safe files that exist.
void MeasureInstalled(PackageEntry& p, FileTestCache& tests) {
    p.SizeBytes = 0;
    for (const auto& f : p.Files) {
        if (!IsSafeFileEntry(f)) continue;
        if (auto length = tests.InstalledLength(f)) {
            p.Marked = true;
            AddBytes(p.SizeBytes, *length);
        }
    }
}

void AddPackageRow(ListContext& c, std::int32_t index) {
    c.listMap.rows.push_back(index);
    c.view.AddRow(ListLine(c.packages.Package(index), c.english));
}

void FinishList(ListContext& c, int emptyText) {
    if (c.listMap.ListMapCount() > 0) {
        c.view.SetListColours(ListColour::Window);
        c.view.SetListEnabled(true);
        c.view.SetCurrentRow(0);
        return;
    }
    c.progress.Close();
    c.messages.Show(c.texts[emptyText], c.texts[kTextTitle], ov::MsgIcon::Information);
    c.view.SetListColours(ListColour::ButtonFace);
    c.view.SetListEnabled(false);
    c.view.SetConfirmEnabled(false);
}

void ClearList(ListContext& c) {
    c.listMap.rows.clear();
    c.view.ClearRows();
}

void SetBarAndYield(ov::ProgressView& progress, int value) {
    progress.SetBar(value);
    ov::YieldToEventLoop();
}

}  // namespace

std::int32_t ListMap::PackageAt(std::int32_t k) const {
    return k >= 1 && k <= ListMapCount() ? rows[static_cast<size_t>(k) - 1] : 0;
}

std::int32_t RoundedKilobytes(std::int32_t bytes) {
    std::int64_t magnitude = bytes < 0 ? -static_cast<std::int64_t>(bytes) : bytes;
    std::int64_t q = magnitude / 1024;
    std::int64_t r = magnitude % 1024;
    if (r > 512 || (r == 512 && q % 2 == 1)) ++q;
    return static_cast<std::int32_t>(bytes < 0 ? -q : q);
}

std::string ListLine(const PackageEntry& p, bool english) {
    std::string line = english ? p.NameEnglish : p.NameGreek;
    if (!p.Version.empty()) line += " v" + p.Version;
    return line + " [" + std::to_string(RoundedKilobytes(p.SizeBytes)) + " Kb]";
}

bool IsSelfPackage(const PackageEntry& p) {
    return !p.Files.empty() && p.Files.front().FileName.find("ZNTR.EXE") != std::string::npos;
}

bool IsProtectedCode(std::int32_t code) { return code >= 60 && code <= 62; }

void MarkUpdates(Packages& packages, std::string_view installFolder) {
    FileTestCache tests(installFolder);
    MarkUpdates(packages, tests);
}

void MarkUpdates(Packages& packages, FileTestCache& tests) {
    for (auto& p : packages.entries) p.Marked = AnyFileNeedsUpdate(p, tests);
}

std::vector<std::string> UnsafeFileNames(const Packages& packages) {
    std::vector<std::string> names;
    for (const PackageEntry& p : packages.entries) {
        for (const PackageFileEntry& f : p.Files) {
            if (!IsSafeFileEntry(f)) names.push_back(f.FileName);
        }
    }
    return names;
}

void FillInstallList(ListContext& c) {
    FileTestCache tests(c.installFolder);
    FillInstallList(c, tests);
}

void FillInstallList(ListContext& c, FileTestCache& tests) {
    DeltaChooser deltas(c.installFolder, DeltaIndexFor(c));
    for (auto& p : c.packages.entries) {
        for (auto& f : p.Files) f.Delta.reset();
        p.SizeBytes = p.Marked ? DownloadBytes(p, tests, deltas) : 0;
    }
    ClearList(c);
    for (std::int32_t i = 1; i <= c.packages.PackageCount(); ++i) {
        const auto& p = c.packages.Package(i);
        if (p.Marked && p.SizeBytes > 0) AddPackageRow(c, i);
    }
    FinishList(c, kTextNothingToInstall);
}

void FillUninstallList(ListContext& c) {
    FileTestCache tests(c.installFolder);
    FillUninstallList(c, tests);
}

void FillUninstallList(ListContext& c, FileTestCache& tests) {
    for (auto& p : c.packages.entries) {
        p.Marked = false;
        if (!IsSelfPackage(p)) MeasureInstalled(p, tests);
    }
    ClearList(c);
    for (std::int32_t i = 1; i <= c.packages.PackageCount(); ++i) {
        const auto& p = c.packages.Package(i);
        if (p.Marked && p.SizeBytes > 0 && !IsProtectedCode(p.Code)) AddPackageRow(c, i);
    }
    FinishList(c, kTextNothingToRemove);
}

void BuildInstallList(ListContext& c) {
    ov::YieldToEventLoop();
    LoadCatalogue(c.packages, c.installFolder);
    SetBarAndYield(c.progress, 50);
    FileTestCache tests(c.installFolder);  // each file is tested once for both steps
    MarkUpdates(c.packages, tests);
    SetBarAndYield(c.progress, 80);
    FillInstallList(c, tests);
    SetBarAndYield(c.progress, 100);
    c.progress.Close();
}

void BuildUninstallList(ListContext& c) {
    ov::YieldToEventLoop();
    LoadCatalogue(c.packages, c.installFolder);
    SetBarAndYield(c.progress, 50);
    FillUninstallList(c);
    SetBarAndYield(c.progress, 100);
    c.progress.Close();
}

}  // namespace znt
