#pragma once

// The shared pack ovshared.lng: named sections, each with language blocks
// ({ENGLISH|GREEK}, {DEFAULT}) of numbered texts "n=text", n from 1 to 350.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace znt {

constexpr int kSectionTextCount = 351;  // indices 0 to 350; 0 is never set
using SectionTexts = std::vector<std::string>;

// Upper-cases (ASCII letters), trims, collapses runs of spaces and removes
// spaces next to any character of charList, as the shared pack's names are
// compared.
std::string NormalizeKey(std::string_view text, bool toUpper, bool trim, bool collapse,
                         std::string_view charList);

// text without any character of charList.
std::string StripChars(std::string_view text, std::string_view charList);

class SharedPackIndex {
public:
    struct Section {
        std::string name;      // normalised, brackets removed
        std::size_t position;  // 1-based byte offset of the block's first line; 0 = none
    };

    // IndexSharedPack: indexes the pack for one language ("ENGLISH", "GREEK").
    // The pack is read as Windows-1253. A missing, unreadable or oversized
    // (over 16 MiB) pack gives an empty index. Always returns true.
    bool Build(std::string_view packPath, std::string_view languageName);

    // LoadSharedSection: fills table (re-created with 351 empty texts) from
    // the section's block and returns true; false leaves table untouched.
    // The first section of that name counts; a section without a block for
    // the language or a DEFAULT block is not found.
    bool LoadSection(std::string_view sectionName, SectionTexts& table) const;

    const std::vector<Section>& sections() const { return sections_; }

private:
    std::string path_;
    std::string language_;
    std::vector<Section> sections_;
};

}  // namespace znt
