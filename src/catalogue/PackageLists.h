#pragma once

// Installed-package detection and the install and uninstall lists. There is
// no record of installed packages: every build tests the catalogue's files in
// the installation folder.

#include "catalogue/Catalogue.h"
#include "catalogue/DeltaIndex.h"
#include "catalogue/FileTests.h"
#include "catalogue/PackageListView.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace ov {
class MessageSink;
class ProgressView;
}  // namespace ov

namespace znt {

struct AppTexts;

// Maps list rows to packages: row k (1-based; list position k - 1) shows
// package PackageAt(k).
struct ListMap {
    std::vector<std::int32_t> rows;  // rows[k - 1]

    std::int32_t ListMapCount() const { return static_cast<std::int32_t>(rows.size()); }
    // 0 when k is outside 1..ListMapCount().
    std::int32_t PackageAt(std::int32_t k) const;
};

// Everything a list build reads and writes, passed in by the dialog.
struct ListContext {
    std::string installFolder;
    Packages& packages;
    ListMap& listMap;
    bool english;           // interface language test (English when unknown)
    const AppTexts& texts;  // application texts: 1 (title), 210, 610
    ov::MessageSink& messages;
    ov::ProgressView& progress;
    PackageListView& view;
    // The update server's delta index, asked for only when the install list
    // has files to fetch; none, or nothing returned: archives only.
    std::function<const DeltaIndex*()> deltas{};
};

// bytes / 1024 rounded to a whole number, halves to the even neighbour.
std::int32_t RoundedKilobytes(std::int32_t bytes);
// Name for the language, " v" + Version when there is one, " [<kb> Kb]".
std::string ListLine(const PackageEntry& package, bool english);
// The package whose first file's FileName contains "ZNTR.EXE" (exact case).
bool IsSelfPackage(const PackageEntry& package);
// Codes 60, 61 and 62: never offered for removal.
bool IsProtectedCode(std::int32_t code);

// Marked = some file needs an update (testing stops at the first such file).
void MarkUpdates(Packages& packages, std::string_view installFolder);
// SizeBytes = the bytes to download for the out-of-date files of marked
// packages: a file's ArchiveSize, or the size of the delta chosen for its
// installed copy (its Delta, ChooseDelta over c.deltas); lists marked
// packages with something to download; finishes with text 610.
void FillInstallList(ListContext& c);
// FileNames of the entries IsSafeFileEntry refuses, over all packages in
// catalogue order: no list build tests them and no run touches them, so a
// caller that reports a run names them instead.
std::vector<std::string> UnsafeFileNames(const Packages& packages);
// The same two steps asking the given cache, so that one build that runs both
// tests each distinct file once (the forms above use a cache of their own).
void MarkUpdates(Packages& packages, FileTestCache& tests);
void FillInstallList(ListContext& c, FileTestCache& tests);
// Marked = some file present, SizeBytes = installed length; lists installed
// packages except the program's own and protected codes; finishes with text 210.
// Each distinct file is looked at once.
void FillUninstallList(ListContext& c);
// The same asking the given cache: a build of both lists over one
// installation looks at each distinct file once in all.
void FillUninstallList(ListContext& c, FileTestCache& tests);

// The dialogs' load steps: yields, LoadCatalogue, bar 50 (80) 100, close progress.
void BuildInstallList(ListContext& c);
void BuildUninstallList(ListContext& c);

}  // namespace znt
