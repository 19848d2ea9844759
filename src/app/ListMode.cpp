#include "app/ListMode.h"

#include "OVShared/Modules/ProgressView.h"
#include "app/UnattendedSteps.h"
#include "catalogue/PackageLists.h"

namespace znt {
namespace {

void PrintRows(const char* kind, const ListContext& c, const RowListView& view, std::ostream& out) {
    for (std::int32_t k = 1; k <= c.listMap.ListMapCount(); ++k) {
        const PackageEntry& p = c.packages.Package(c.listMap.PackageAt(k));
        out << kind << '\t' << p.Code << '\t' << OneRowText(view.rows[static_cast<size_t>(k) - 1])
            << '\n';
    }
}

// Builds both lists from the parsed catalogue, reading the installation only.
std::size_t FileEntryCount(const Packages& packages) {
    std::size_t count = 0;
    for (const PackageEntry& p : packages.entries) count += p.Files.size();
    return count;
}

// Marks and sizes are written into packages; the uninstall list sets again
// every mark and size it reads, so both lists work on the one copy.
void PrintLists(Packages& packages, const UnattendedRun& run, std::ostream& out,
                std::ostream& err) {
    ListMap listMap;
    StreamMessageSink messages(err);
    ov::NullProgressView progress;
    RowListView view;
    ListContext c{run.appFolder, packages, listMap,  run.english,
                  run.texts,     messages, progress, view};
    FileTestCache tests(run.appFolder);  // each installed file is looked at once
    tests.Reserve(FileEntryCount(packages));
    MarkUpdates(packages, tests);
    FillInstallList(c, tests);
    PrintRows("INSTALL", c, view, out);
    FillUninstallList(c, tests);
    PrintRows("UNINSTALL", c, view, out);
}

}  // namespace

int RunListMode(const LaunchOptions& options, const std::string& programPath, std::ostream& out,
                std::ostream& err) {
    UnattendedJob job(options, programPath, "LIST", out, err);
    if (auto end = PrepareListing(job)) return *end;
    PrintLists(job.packages, job.run, out, err);
    return FlushedStatus(out, err, "LIST", "listing", kListOk);
}

}  // namespace znt
