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

bool IsAscii(const std::string& s) {
    return std::all_of(s.begin(), s.end(), [](char c) { return (c & 0x80) == 0; });
}

// Reads the records in file order. A field that cannot be read keeps its
// empty value and reading goes on; the first such fault is remembered, so the
// caller learns whether the whole catalogue was read.
class Parser {
public:
    explicit Parser(std::string_view bytes) : in_(bytes), size_(bytes.size()) {}

    CatalogueRead Read();

private:
    void Fail(const char* what);
    void ReadInt(std::int32_t& field);
    void ReadBool(bool& field);
    void ReadText(std::string& field);
    size_t ReadCount(size_t limit, bool& cut);
    void ReadFileRecord(PackageFileEntry& f);
    void ReadFiles(PackageEntry& p);
    void ReadPackageRecord(PackageEntry& p);

    SequentialReader in_;
    size_t size_;
    size_t filesLeft_ = kMaxFileEntries;
    bool exhausted_ = false;
    std::string problem_;
};

void Parser::Fail(const char* what) {
    if (!problem_.empty()) return;
    problem_ = std::string(what) + " before byte " + std::to_string(size_ - in_.Remaining());
}

void Parser::ReadInt(std::int32_t& field) {
    if (auto v = in_.ReadInt()) {
        field = *v;
    } else {
        Fail("a missing or malformed number");
    }
}

void Parser::ReadBool(bool& field) {
    if (auto v = in_.ReadBool()) {
        field = *v;
    } else {
        Fail("a missing or malformed Boolean");
    }
}

void Parser::ReadText(std::string& field) {
    auto v = in_.ReadText();
    if (!v) return Fail("a missing or malformed text");
    field = IsAscii(*v) ? std::move(*v) : ov::DecodeToUtf8(*v, ov::CodePage::Windows1253);
}

// A count item cut to limit (reporting the cut); a negative count reads nothing.
size_t Parser::ReadCount(size_t limit, bool& cut) {
    std::int32_t count = 0;
    ReadInt(count);
    if (count < 0) Fail("a negative count");
    size_t wanted = static_cast<size_t>(std::max(count, 0));
    cut = wanted > limit;
    if (cut) Fail("more entries than are read");
    return std::min(wanted, limit);
}

void Parser::ReadFileRecord(PackageFileEntry& f) {
    ReadInt(f.ProductVersionLow);
    ReadInt(f.ArchiveSize);
    ReadInt(f.SizeBytes);
    ReadText(f.ArchiveName);
    ReadText(f.FileName);
    ReadInt(f.CheckMode);
}

void Parser::ReadFiles(PackageEntry& p) {
    size_t wanted = ReadCount(filesLeft_, exhausted_);
    p.Files.reserve(std::min(wanted, in_.Remaining() / kMinFileRecordBytes));
    for (size_t j = 0; j < wanted && !in_.AtEnd(); ++j) ReadFileRecord(p.Files.emplace_back());
    if (p.Files.size() < wanted) Fail("the data ends before its file count");
    filesLeft_ -= p.Files.size();
    p.FileCount = static_cast<std::int32_t>(p.Files.size());
}

void Parser::ReadPackageRecord(PackageEntry& p) {
    ReadFiles(p);
    if (exhausted_) return;
    ReadInt(p.Code);
    ReadInt(p.ReservedNumber);
    ReadText(p.DescriptionEnglish);
    ReadText(p.DescriptionGreek);
    ReadText(p.NameEnglish);
    ReadText(p.NameGreek);
    ReadText(p.Version);
    ReadBool(p.ReservedFlag);
    ReadFileRecord(p.AltFile);
}

CatalogueRead Parser::Read() {
    CatalogueRead result;
    auto& entries = result.packages.entries;
    bool cut = false;
    size_t wanted = ReadCount(kMaxPackages, cut);
    entries.reserve(std::min(wanted, in_.Remaining() / kMinPackageRecordBytes));
    for (size_t i = 0; i < wanted && !in_.AtEnd() && !exhausted_; ++i) {
        ReadPackageRecord(entries.emplace_back());
    }
    if (entries.size() < wanted) Fail("the data ends before its package count");
    if (!exhausted_ && !in_.AtEnd()) Fail("data after the last package");
    result.complete = problem_.empty();
    result.problem = std::move(problem_);
    return result;
}

}  // namespace

CatalogueRead ReadCatalogue(std::string_view bytes) { return Parser(bytes).Read(); }

Packages ParseCatalogue(std::string_view bytes) { return ReadCatalogue(bytes).packages; }

CatalogueRead ReadCatalogueFile(std::string_view path) {
    auto bytes = ov::ReadWholeFile(path, kMaxCatalogueBytes);
    if (!bytes) return {{}, false, "the file cannot be read or is over the size limit"};
    return ReadCatalogue(*bytes);
}

void LoadCatalogue(Packages& packages, std::string_view installFolder) {
    const std::string path = std::string(installFolder) + "\\packages.dat";
    packages = std::move(ReadCatalogueFile(path).packages);
    ov::ClearAttributes(path);
    ov::RemoveFile(path);
}

bool IsSafeFileName(std::string_view name) { return ov::IsContainedRelativePath(name); }

bool IsSafeArchiveName(std::string_view name) {
    if (name.size() <= 4) return false;
    // One pass: every list build asks this for every file entry.
    char previous = '\0';
    for (char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F || c == '\\' || c == '/' || c == ':') return false;
        if (c == '.' && previous == '.') return false;
        previous = c;
    }
    return true;
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
