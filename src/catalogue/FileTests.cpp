#include "catalogue/FileTests.h"

#include "OVShared/Platform/FileSystem.h"
#include "OVShared/Platform/VersionResource.h"

namespace znt {
namespace {

bool LengthDiffers(std::optional<std::uint64_t> length, std::int32_t expected) {
    return !length || expected < 0 || *length != static_cast<std::uint64_t>(expected);
}

bool VersionLowDiffers(std::optional<std::uint32_t> low, std::int32_t expected) {
    return !low || *low != static_cast<std::uint32_t>(expected);
}

}  // namespace

bool SizeDiffers(std::int32_t expectedSize, std::string_view path) {
    return LengthDiffers(ov::FileLength(path), expectedSize);
}

bool VersionDiffers(std::int32_t expectedLow, std::string_view path) {
    return VersionLowDiffers(ov::ReadProductVersionLow(path), expectedLow);
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

FileTestCache::Facts& FileTestCache::FactsOf(const PackageFileEntry& file) {
    key_.assign(file.FileName);
    for (char& c : key_) {
        if (c == '/') c = '\\';
    }
    return facts_.try_emplace(key_).first->second;  // copies the key only when it is new
}

bool FileTestCache::NeedsUpdate(const PackageFileEntry& file) {
    if (!IsSafeFileEntry(file)) return false;
    if (file.CheckMode != 0) return LengthDiffers(InstalledLength(file), file.SizeBytes);
    Facts& facts = FactsOf(file);
    if (!facts.versionRead) {
        facts.versionLow = ov::ReadProductVersionLow(InstalledPath(folder_, file));
        facts.versionRead = true;
    }
    return VersionLowDiffers(facts.versionLow, file.ProductVersionLow);
}

std::optional<std::uint64_t> FileTestCache::InstalledLength(const PackageFileEntry& file) {
    Facts& facts = FactsOf(file);
    if (!facts.lengthRead) {
        facts.length = ov::FileLength(InstalledPath(folder_, file));
        facts.lengthRead = true;
    }
    return facts.length;
}

}  // namespace znt
