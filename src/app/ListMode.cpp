#include "app/ListMode.h"

#include "OVShared/Modules/ProgressView.h"
#include "catalogue/PackageLists.h"

#include <exception>

namespace znt {
namespace {

void PrintRows(const char* kind, const ListContext& c, const RowListView& view,
               std::ostream& out) {
    for (std::int32_t k = 1; k <= c.listMap.ListMapCount(); ++k) {
        const PackageEntry& p = c.packages.Package(c.listMap.PackageAt(k));
        out << kind << '\t' << p.Code << '\t' << OneRowText(view.rows[static_cast<size_t>(k) - 1])
            << '\n';
    }
}

// Builds both lists from the parsed catalogue, reading the installation only.
void PrintLists(const Packages& catalogue, const UnattendedRun& run, std::ostream& out,
                std::ostream& err) {
    Packages packages = catalogue;
    ListMap listMap;
    StreamMessageSink messages(err);
    ov::NullProgressView progress;
    RowListView view;
    ListContext c{run.appFolder, packages, listMap, run.english, run.texts, messages, progress, view};
    FileTestCache tests(run.appFolder);  // each installed file is looked at once
    MarkUpdates(packages, tests);
    FillInstallList(c, tests);
    PrintRows("INSTALL", c, view, out);
    packages = catalogue;
    FillUninstallList(c, tests);
    PrintRows("UNINSTALL", c, view, out);
}

int ListInstallation(const std::string& commandLine, const std::string& programPath,
                     std::ostream& out, std::ostream& err) {
    const UnattendedRun run = UnattendedRunOf(commandLine, programPath);
    auto source = SourceOf(commandLine, err);
    if (!source) return kListBadServer;
    std::optional<Packages> catalogue = FetchPrivateCatalogue(*source, run, "LIST", err);
    if (!catalogue) return kListFetchFailed;
    PrintLists(*catalogue, run, out, err);
    if (!out.flush()) {
        err << "LIST: the listing could not be written to standard output.\n";
        return kListWriteFailed;
    }
    return kListOk;
}

}  // namespace

int RunListMode(const std::string& commandLine, const std::string& programPath,
                std::ostream& out, std::ostream& err) {
    try {
        return ListInstallation(commandLine, programPath, out, err);
    } catch (const std::exception& e) {
        // The private folder has been removed on the way out.
        err << "LIST: " << e.what() << '\n';
        return kListFetchFailed;
    }
}

}  // namespace znt
