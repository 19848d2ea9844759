// Helper of list_bench.sh: builds a tree of installed files with a catalogue
// that describes them, and times the install-list build over it.
//
//   list_build_bench make <dir> <files> size             size-checked files
//   list_build_bench make <dir> <files> version <pe>     copies of a PE file
//   list_build_bench time <dir> [repeats]                prints the best seconds
//   list_build_bench repeat <dir> <entries> <pe>         one file named <entries> times:
//                                                        prints read, install and uninstall seconds
#include "OVShared/Modules/ProgressView.h"
#include "OVShared/Platform/FileSystem.h"
#include "OVShared/Platform/MessageBox.h"
#include "OVShared/Platform/VersionResource.h"
#include "catalogue/CatalogueWriter.h"
#include "catalogue/PackageLists.h"
#include "i18n/LanguagePack.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>

namespace {

constexpr int kFilesPerPackage = 5;
constexpr int kFilesPerFolder = 100;

// Every 100th package has one file whose recorded size is wrong, so the
// list is not empty and FillInstallList has work to do.
znt::PackageFileEntry Describe(int k, bool version, std::int32_t peLow, std::int32_t length) {
    std::string name = "f" + std::to_string(k) + (version ? ".dll" : ".dat");
    std::string folder = "mod" + std::to_string(k / kFilesPerFolder);
    bool stale = k % (100 * kFilesPerPackage) == 0;
    return {folder + "\\" + name,
            version ? 0 : 1,
            peLow + (stale && version ? 1 : 0),
            length + (stale && !version ? 1 : 0),
            1000 + k % 50000,
            name + ".zip"};
}

std::string Contents(int k) { return std::string(static_cast<size_t>(k % 2048), 'x'); }

int Make(const std::string& dir, int files, bool version, const std::string& pe) {
    std::string peBytes = version ? ov::ReadWholeFile(pe).value_or("") : "";
    std::int32_t peLow = static_cast<std::int32_t>(ov::ReadProductVersionLow(pe).value_or(0));
    if (version && peBytes.empty()) return std::fprintf(stderr, "cannot read %s\n", pe.c_str()), 1;
    znt::Packages c;
    for (int k = 0; k < files; ++k) {
        if (k % kFilesPerPackage == 0)
            c.entries.emplace_back().NameEnglish = "P" + std::to_string(k);
        std::string data = version ? peBytes : Contents(k);
        auto entry = Describe(k, version, peLow, static_cast<std::int32_t>(data.size()));
        std::string path = dir + "/tree/" + entry.FileName;
        std::replace(path.begin(), path.end(), '\\', '/');
        if (k % kFilesPerFolder == 0)
            std::filesystem::create_directories(path.substr(0, path.rfind('/')));
        std::ofstream(path, std::ios::binary) << data;
        c.entries.back().Files.push_back(entry);
        c.entries.back().FileCount = static_cast<std::int32_t>(c.entries.back().Files.size());
    }
    std::string bytes, error;
    if (!znt::FormatCatalogue(c, bytes, error))
        return std::fprintf(stderr, "%s\n", error.c_str()), 1;
    return ov::WriteFileAtomic(dir + "/catalogue.dat", bytes) ? 0 : 1;
}

double SecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// What a list build needs besides the catalogue.
struct Lists {
    znt::ListMap map;
    znt::AppTexts texts;
    ov::ConsoleMessageSink messages;
    ov::NullProgressView progress;
    znt::RowListView view;

    znt::ListContext Context(const std::string& folder, znt::Packages& packages) {
        return {folder, packages, map, true, texts, messages, progress, view};
    }
};

double TimeOnce(const std::string& dir, const std::string& bytes, int& rows) {
    znt::Packages packages = znt::ParseCatalogue(bytes);
    Lists lists;
    znt::ListContext c = lists.Context(dir + "/tree", packages);
    auto start = std::chrono::steady_clock::now();
    znt::FileTestCache tests(c.installFolder);  // one cache for both steps, as a build has
    znt::MarkUpdates(packages, tests);
    znt::FillInstallList(c, tests);
    double seconds = SecondsSince(start);
    rows = lists.view.RowCount();
    return seconds;
}

// One package whose every entry names the same stale PE file.
int Repeat(const std::string& dir, int entries, const std::string& pe) {
    auto peBytes = ov::ReadWholeFile(pe);
    if (!peBytes || !ov::WriteFileAtomic(dir + "/tree/same.dll", *peBytes)) return 1;
    znt::Packages c;
    auto& p = c.entries.emplace_back();
    p.NameEnglish = "Same";
    p.Files.assign(static_cast<size_t>(entries), {"same.dll", 0, 1, 0, 10, "same.dll.zip"});
    p.FileCount = entries;
    std::string bytes, error;
    if (!znt::FormatCatalogue(c, bytes, error))
        return std::fprintf(stderr, "%s\n", error.c_str()), 1;
    auto start = std::chrono::steady_clock::now();
    znt::CatalogueRead read = znt::ReadCatalogue(bytes);
    double readSeconds = SecondsSince(start);
    Lists lists;
    znt::ListContext context = lists.Context(dir + "/tree", read.packages);
    start = std::chrono::steady_clock::now();
    znt::FileTestCache tests(context.installFolder);
    znt::MarkUpdates(read.packages, tests);
    znt::FillInstallList(context, tests);
    double installSeconds = SecondsSince(start);
    start = std::chrono::steady_clock::now();
    znt::FillUninstallList(context);
    std::printf("%zu bytes, complete %d: read %.3f s, install list %.3f s, uninstall list %.3f s\n",
                bytes.size(), read.complete, readSeconds, installSeconds, SecondsSince(start));
    return 0;
}

int Time(const std::string& dir, int repeats) {
    auto bytes = ov::ReadWholeFile(dir + "/catalogue.dat");
    if (!bytes) return std::fprintf(stderr, "no catalogue in %s\n", dir.c_str()), 1;
    double best = 1e9;
    int rows = 0;
    for (int r = 0; r < repeats; ++r) best = std::min(best, TimeOnce(dir, *bytes, rows));
    std::printf("%.4f %d\n", best, rows);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::string mode = argc > 2 ? argv[1] : "";
    if (mode == "make" && argc >= 5) {
        bool version = std::string(argv[4]) == "version";
        return Make(argv[2], std::atoi(argv[3]), version, argc > 5 ? argv[5] : "");
    }
    if (mode == "time") return Time(argv[2], argc > 3 ? std::atoi(argv[3]) : 3);
    if (mode == "repeat" && argc >= 5) return Repeat(argv[2], std::atoi(argv[3]), argv[4]);
    std::fprintf(stderr,
                 "usage: list_build_bench make <dir> <files> size|version [pe]\n"
                 "       list_build_bench time <dir> [repeats]\n"
                 "       list_build_bench repeat <dir> <entries> <pe>\n");
    return 2;
}
