// Reading speed of the catalogue: 10,000 packages with 50,000 files, parsed
// from memory (the reader's own cost, without the disk).
#include "catalogue/Catalogue.h"
#include "catalogue/CatalogueWriter.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <iostream>
#include <string>

namespace {

constexpr int kPackages = 10'000;
constexpr int kFilesPerPackage = 5;

znt::PackageEntry MakePackage(int i) {
    znt::PackageEntry p;
    p.Code = 100 + i;
    p.Version = std::to_string(1 + i % 7) + "." + std::to_string(i % 10);
    p.NameEnglish = "Structural package " + std::to_string(i);
    p.NameGreek = "Στατικό πακέτο " + std::to_string(i);
    p.DescriptionEnglish =
        "Analysis and design tools for frames, slabs and foundations, part " + std::to_string(i);
    p.DescriptionGreek = "Εργαλεία ανάλυσης και διαστασιολόγησης πλαισίων, πλακών και θεμελιώσεων";
    for (int j = 0; j < kFilesPerPackage; ++j) {
        std::string name = "p" + std::to_string(i) + "_f" + std::to_string(j) + ".dll";
        p.Files.push_back({"bin\\modules\\" + name, j % 2, (j << 16) | i % 65536, 12345 + i * 7 + j,
                           6789 + i + j, name + ".zip"});
    }
    p.FileCount = kFilesPerPackage;
    return p;
}

const std::string& CatalogueText() {
    static const std::string text = [] {
        znt::Packages c;
        for (int i = 0; i < kPackages; ++i) c.entries.push_back(MakePackage(i));
        std::string out, error;
        if (!znt::FormatCatalogue(c, out, error)) {
            std::cerr << "catalogue_bench: " << error << '\n';
            std::exit(1);
        }
        return out;
    }();
    return text;
}

void BM_ParseCatalogue(benchmark::State& state) {
    const std::string& text = CatalogueText();
    for (auto _ : state) {
        znt::Packages c = znt::ParseCatalogue(text);
        benchmark::DoNotOptimize(c.entries.data());
        if (c.PackageCount() != kPackages) state.SkipWithError("wrong package count");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(text.size()));
    state.counters["catalogue_MB"] = static_cast<double>(text.size()) / 1e6;
}
BENCHMARK(BM_ParseCatalogue)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
