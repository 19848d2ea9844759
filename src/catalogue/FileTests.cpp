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

namespace {

// True when name is key with "/" read as "\\".
bool SameName(std::string_view key, std::string_view name) {
    if (key.size() != name.size()) return false;
    for (std::size_t i = 0; i < key.size(); ++i) {
        if (key[i] != (name[i] == '/' ? '\\' : name[i])) return false;
    }
    return true;
}

}  // namespace

void FileTestCache::Reserve(std::size_t names) {
    facts_.reserve(names);
    std::size_t slots = 16;
    while (slots < 2 * names) slots *= 2;
    if (slots > seen_.size()) {
        std::vector<Seen> old = std::exchange(seen_, std::vector<Seen>(slots));
        seenCount_ = 0;
        for (const Seen& s : old) {
            if (s.entry) Remember(s.entry, s.named);
        }
    }
}

FileTestCache::Seen& FileTestCache::SlotOf(const PackageFileEntry* entry) {
    const std::size_t mask = seen_.size() - 1;
    std::size_t i = reinterpret_cast<std::uintptr_t>(entry) / sizeof(PackageFileEntry) & mask;
    while (seen_[i].entry && seen_[i].entry != entry) i = (i + 1) & mask;
    return seen_[i];
}

void FileTestCache::Remember(const PackageFileEntry* entry, Named* named) {
    if (2 * (seenCount_ + 1) > seen_.size()) Reserve(seenCount_ + 1);
    Seen& slot = SlotOf(entry);
    if (!slot.entry) ++seenCount_;
    slot = Seen{entry, named};
}

FileTestCache::Facts& FileTestCache::FactsOf(const PackageFileEntry& file) {
    if (!seen_.empty()) {
        const Seen& slot = SlotOf(&file);
        if (slot.entry && SameName(slot.named->first, file.FileName)) return slot.named->second;
    }
    key_.assign(file.FileName);
    for (char& c : key_) {
        if (c == '/') c = '\\';
    }
    Named& named = *facts_.try_emplace(key_).first;  // copies the key only when it is new
    Remember(&file, &named);
    return named.second;
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
        facts.length = lengths_.Length(InstalledPath(folder_, file));
        facts.lengthRead = true;
    }
    return facts.length;
}

}  // namespace znt
