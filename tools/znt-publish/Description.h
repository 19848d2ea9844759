#pragma once

// The package description that znt-publish reads (format in README.md).

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace publish {

enum class CheckBy { Version = 0, Size = 1 };

struct FileSpec {
    std::string fileName;  // as installed, "\" separated
    CheckBy check = CheckBy::Version;
};

struct PackageSpec {
    std::int32_t code = 0;
    std::int32_t reservedNumber = 0;
    bool reservedFlag = false;
    std::string version;
    std::string nameEnglish, nameGreek;
    std::string descriptionEnglish, descriptionGreek;
    std::vector<FileSpec> files;
};

constexpr int kNameLines = 108;

struct Description {
    std::vector<PackageSpec> packages;
    std::array<std::string, kNameLines> names;  // pnames.txt lines 1..108
};

// Parses UTF-8 description text. On failure returns false with error
// "line N: reason".
bool ParseDescription(std::string_view text, Description& out, std::string& error);

}  // namespace publish
