#pragma once

// The two tests that decide whether an installed file needs replacing. Both
// answer True ("differs") whenever the answer cannot be had.

#include "OVShared/Platform/FileSystem.h"
#include "catalogue/Catalogue.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace znt {

// True when the file is missing, its length cannot be read or differs from expected.
bool SizeDiffers(std::int32_t expectedSize, std::string_view path);

// True when the file is missing, has no readable version resource, or the low
// 32 bits of its product version differ from expectedLow.
bool VersionDiffers(std::int32_t expectedLow, std::string_view path);

// Applies VersionDiffers (CheckMode 0) or SizeDiffers (any other mode) to
// installFolder\FileName. An unsafe entry (IsSafeFileEntry) is never tested
// and never needs an update.
bool FileNeedsUpdate(std::string_view installFolder, const PackageFileEntry& file);
// The same for file j of package i (both 1-based); False outside the catalogue.
bool FileNeedsUpdate(const Packages& packages, std::string_view installFolder, std::int32_t i,
                     std::int32_t j);

// Tests each distinct installed file once however often a catalogue names it:
// what the disk says about a file (its length, its product version) is asked
// once and kept, and every entry is compared with what was kept. Entries are
// keyed by FileName with "/" read as "\": the same text always names the same
// file, while names that differ only in case may be two files on a disk that
// tells case apart, so they are asked separately. Lives for one list build;
// the disk is taken not to change meanwhile.
class FileTestCache {
public:
    explicit FileTestCache(std::string_view installFolder) : folder_(installFolder) {}
    // Room for this many names, when the caller knows the catalogue's size.
    void Reserve(std::size_t names);

    // FileNeedsUpdate(installFolder, file).
    bool NeedsUpdate(const PackageFileEntry& file);
    // Length of installFolder\FileName; nothing when it is no readable file.
    std::optional<std::uint64_t> InstalledLength(const PackageFileEntry& file);

private:
    struct Facts {
        bool lengthRead = false;
        bool versionRead = false;
        std::optional<std::uint64_t> length;
        std::optional<std::uint32_t> versionLow;
    };
    using Named = std::pair<const std::string, Facts>;
    // The lists ask about the same entries again and again, in the same
    // order: an entry seen before is found by its address, in a table whose
    // slots follow the entries' order in memory, and checked by its name.
    struct Seen {
        const PackageFileEntry* entry = nullptr;
        Named* named = nullptr;
    };

    Facts& FactsOf(const PackageFileEntry& file);
    Seen& SlotOf(const PackageFileEntry* entry);
    void Remember(const PackageFileEntry* entry, Named* named);

    std::string folder_;
    ov::FileLengthReader lengths_;
    std::string key_;  // reused, so a hit allocates nothing
    std::unordered_map<std::string, Facts> facts_;
    std::vector<Seen> seen_;
    std::size_t seenCount_ = 0;
};

}  // namespace znt
