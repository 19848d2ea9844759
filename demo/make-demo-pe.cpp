// make-demo-pe <target> <a.b.c.d> [filler-bytes]
// Writes a small Windows executable image whose version resource carries the
// given product (and file) version, for the demo server's version-checked files.
#include "support/PeWriter.h"

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <sstream>
#include <string>

namespace {

bool ParseVersion(const std::string& text, std::array<std::uint16_t, 4>& version) {
    std::istringstream in(text);
    std::string part;
    for (auto& v : version) {
        if (!std::getline(in, part, '.') || part.empty()) return false;
        unsigned long n = std::strtoul(part.c_str(), nullptr, 10);
        if (n > 0xFFFF) return false;
        v = static_cast<std::uint16_t>(n);
    }
    return in.peek() == EOF;
}

}  // namespace

int main(int argc, char** argv) {
    testsupport::PeOptions options;
    if ((argc != 3 && argc != 4) || !ParseVersion(argv[2], options.productVersion)) {
        std::cerr << "usage: make-demo-pe <target> <a.b.c.d> [filler-bytes]\n";
        return 2;
    }
    options.fileVersion = options.productVersion;
    // Filler after the image gives each file its own size and content; it is
    // pseudo-random so that the archives are about as large as the files.
    std::string target = argv[1];
    size_t filler = argc == 4 ? std::strtoul(argv[3], nullptr, 10) : 0;
    std::uint32_t state = 2463534242u + static_cast<std::uint32_t>(target.size());
    for (size_t i = 0; i < filler; ++i) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        options.overlay += static_cast<char>(state & 0xFF);
    }
    std::filesystem::create_directories(std::filesystem::path(target).parent_path());
    if (!testsupport::WritePe(target, options)) {
        std::cerr << "make-demo-pe: cannot write " << target << '\n';
        return 1;
    }
    return 0;
}
