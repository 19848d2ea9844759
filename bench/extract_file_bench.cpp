// Times the extraction of one archive into a folder, best of N runs.
//
//   extract_file_bench <archive> <folder> [runs] [libzip|zlib]
//
// Prints "<best seconds> <result code>". The folder is emptied before every
// run; extract_bench.sh compares the figure with Info-ZIP unzip, for each of
// the two zip readers.

#include "archive/ZipExtract.h"
#include "archive/ZipReader.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>

namespace {

struct SilentCallbacks : znt::ExtractCallbacks {
    void Print(std::string_view text) override { std::cerr << text; }
    znt::ReplaceAnswer Replace(const std::string&) override { return znt::ReplaceAnswer::Yes; }
    std::optional<std::string> Password(const std::string&) override { return std::nullopt; }
    void Listed(const znt::ListedMember&) override {}
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::cerr << "usage: extract_file_bench <archive> <folder> [runs] [libzip|zlib]\n";
        return 2;
    }
    int runs = argc > 3 ? std::max(1, std::atoi(argv[3])) : 3;
    znt::ExtractOptions options;
    if (argc > 4 && std::string(argv[4]) == "zlib") options.openReader = znt::OpenZlibReader;
    double best = 1e9;
    int code = 0;
    for (int i = 0; i < runs; ++i) {
        std::filesystem::remove_all(argv[2]);
        SilentCallbacks callbacks;
        auto t0 = std::chrono::steady_clock::now();
        code = znt::ExtractArchive(argv[1], argv[2], options, callbacks);
        std::chrono::duration<double> d = std::chrono::steady_clock::now() - t0;
        best = std::min(best, d.count());
    }
    std::printf("%.3f %d\n", best, code);
    return code == 0 ? 0 : 1;
}
