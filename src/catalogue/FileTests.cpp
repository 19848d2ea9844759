#include "catalogue/FileTests.h"

#include "OVShared/Platform/FileSystem.h"
#include "OVShared/Platform/VersionResource.h"

namespace znt {

bool SizeDiffers(std::int32_t expectedSize, std::string_view path) {
    auto length = ov::FileLength(path);
    return !length || expectedSize < 0 || *length != static_cast<std::uint64_t>(expectedSize);
}

bool VersionDiffers(std::int32_t expectedLow, std::string_view path) {
    auto low = ov::ReadProductVersionLow(path);
    return !low || *low != static_cast<std::uint32_t>(expectedLow);
}

bool FileNeedsUpdate(std::string_view installFolder, const PackageFileEntry& file) {
    if (!IsSafeFileEntry(file)) return false;
    const std::string path = InstalledPath(installFolder, file);
    return file.CheckMode == 0 ? VersionDiffers(file.ProductVersionLow, path)
                               : SizeDiffers(file.SizeBytes, path);
}

bool FileNeedsUpdate(const Packages& packages, std::string_view installFolder, std::int32_t i,
                     std::int32_t j) {
    if (!packages.HasPackage(i)) return false;
    const PackageEntry& p = packages.Package(i);
    if (j < 1 || static_cast<size_t>(j) > p.Files.size()) return false;
    return FileNeedsUpdate(installFolder, p.File(j));
}

}  // namespace znt
