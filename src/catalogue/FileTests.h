#pragma once

// The two tests that decide whether an installed file needs replacing. Both
// answer True ("differs") whenever the answer cannot be had.

#include "catalogue/Catalogue.h"

#include <cstdint>
#include <string_view>

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

}  // namespace znt
