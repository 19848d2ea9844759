#include "catalogue/Catalogue.h"

#include "OVShared/Platform/CodePage.h"
#include "OVShared/Platform/FileSystem.h"
#include "OVShared/Platform/SafePath.h"
#include "i18n/SequentialReader.h"

#include <algorithm>

namespace znt {
namespace {

// Reservation hints: the smallest plausible records ("0," per item).
constexpr size_t kMinFileRecordBytes = 12;
constexpr size_t kMinPackageRecordBytes = 30;

// Reading stops at these totals, which bounds memory whatever the counts say.
constexpr size_t kMaxPackages = 100'000;
constexpr size_t kMaxFileEntries = 1'000'000;

struct Budget {
    size_t files = kMaxFileEntries;
    bool exhausted = false;
};

void ReadInt(SequentialReader& in, std::int32_t& field) {
    if (auto v = in.ReadInt()) field = *v;
}

void ReadBool(SequentialReader& in, bool& field) {
    if (auto v = in.ReadBool()) field = *v;
}

bool IsAscii(const std::string& s) {
    return std::all_of(s.begin(), s.end(), [](char c) { return (c & 0x80) == 0; });
}

void ReadText(SequentialReader& in, std::string& field) {
    auto v = in.ReadText();
    if (!v) return;
    field = IsAscii(*v) ? std::move(*v) : ov::DecodeToUtf8(*v, ov::CodePage::Windows1253);
}

void ReadFileRecord(SequentialReader& in, PackageFileEntry& f) {
    ReadInt(in, f.ProductVersionLow);
    ReadInt(in, f.ArchiveSize);
    ReadInt(in, f.SizeBytes);
    ReadText(in, f.ArchiveName);
    ReadText(in, f.FileName);
    ReadInt(in, f.CheckMode);
}

void ReadFiles(SequentialReader& in, PackageEntry& p, std::int32_t count, Budget& budget) {
    size_t wanted = static_cast<size_t>(std::max(count, 0));
    if (wanted > budget.files) {
        wanted = budget.files;
        budget.exhausted = true;
    }
    p.Files.reserve(std::min(wanted, in.Remaining() / kMinFileRecordBytes));
    for (size_t j = 0; j < wanted && !in.AtEnd(); ++j) {
        ReadFileRecord(in, p.Files.emplace_back());
    }
    budget.files -= p.Files.size();
    p.FileCount = static_cast<std::int32_t>(p.Files.size());
}

void ReadPackageRecord(SequentialReader& in, PackageEntry& p, Budget& budget) {
    std::int32_t count = 0;
    ReadInt(in, count);
    ReadFiles(in, p, count, budget);
    if (budget.exhausted) return;
    ReadInt(in, p.Code);
    ReadInt(in, p.ReservedNumber);
    ReadText(in, p.DescriptionEnglish);
    ReadText(in, p.DescriptionGreek);
    ReadText(in, p.NameEnglish);
    ReadText(in, p.NameGreek);
    ReadText(in, p.Version);
    ReadBool(in, p.ReservedFlag);
    ReadFileRecord(in, p.AltFile);
}

bool HasControlCharacter(std::string_view s) {
    return std::any_of(s.begin(), s.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; });
}

}  // namespace

Packages ParseCatalogue(std::string_view bytes) {
    Packages result;
    SequentialReader in(bytes);
    std::int32_t count = 0;
    ReadInt(in, count);
    size_t wanted = std::min(static_cast<size_t>(std::max(count, 0)), kMaxPackages);
    result.entries.reserve(std::min(wanted, in.Remaining() / kMinPackageRecordBytes));
    Budget budget;
    for (size_t i = 0; i < wanted && !in.AtEnd(); ++i) {
        ReadPackageRecord(in, result.entries.emplace_back(), budget);
        if (budget.exhausted) break;
    }
    return result;
}

void LoadCatalogue(Packages& packages, std::string_view installFolder) {
    const std::string path = std::string(installFolder) + "\\packages.dat";
    auto bytes = ov::ReadWholeFile(path, kMaxCatalogueBytes);
    packages = bytes ? ParseCatalogue(*bytes) : Packages{};
    ov::ClearAttributes(path);
    ov::RemoveFile(path);
}

bool IsSafeFileName(std::string_view name) {
    return ov::IsContainedRelativePath(name);
}

bool IsSafeArchiveName(std::string_view name) {
    if (name.size() <= 4 || HasControlCharacter(name)) return false;
    if (name.find_first_of("\\/:") != std::string_view::npos) return false;
    return name.find("..") == std::string_view::npos;
}

bool IsSafeFileEntry(const PackageFileEntry& file) {
    return IsSafeFileName(file.FileName) && IsSafeArchiveName(file.ArchiveName);
}

std::string InstalledPath(std::string_view installFolder, const PackageFileEntry& file) {
    std::string path(installFolder);
    path += '\\';
    path += file.FileName;
    return path;
}

}  // namespace znt
