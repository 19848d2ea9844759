// znt-delta: makes a delta between two files, or rebuilds a file from a base
// and a delta, as the program does. For trying deltas out and for benchmarks.
#include "DeltaEncoder.h"

#include "delta/DeltaDecoder.h"

#include <cstdio>
#include <iostream>
#include <string>

namespace {

int Apply(const char* base, const char* delta, const char* result) {
    std::FILE* out = std::fopen(result, "wb");
    if (!out) {
        std::cerr << "znt-delta: cannot write " << result << '\n';
        return 1;
    }
    std::string error;
    bool ok = znt::ApplyDelta(
        base, delta,
        [out](const char* data, std::size_t size) {
            return std::fwrite(data, 1, size, out) == size;
        },
        error);
    if (std::fclose(out) != 0 && ok) {
        ok = false;
        error = "cannot write the result";
    }
    if (!ok) {
        std::remove(result);
        std::cerr << "znt-delta: " << error << '\n';
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::string command = argc == 5 ? argv[1] : "";
    if (command == "apply") return Apply(argv[2], argv[3], argv[4]);
    if (command == "make") {
        std::string error;
        if (publish::MakeDeltaFile(argv[2], argv[3], argv[4], error)) return 0;
        std::cerr << "znt-delta: " << error << '\n';
        return 1;
    }
    std::cerr << "usage: znt-delta make <base> <new> <delta>\n"
                 "       znt-delta apply <base> <delta> <result>\n";
    return 2;
}
