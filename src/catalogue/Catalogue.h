#pragma once

// The package catalogue in memory, read from packages.dat.
//
// Numbering: packages are numbered 1..PackageCount() and a package's files
// 1..FileCount, as the lists and the install run address them. Storage is an
// ordinary 0-based vector (entries[i - 1] is package i, Files[j - 1] is file
// j) so that range-for works; Package(i) and File(j) take the 1-based number.
//
// The catalogue comes from a server and is not trusted. A file entry whose
// FileName or ArchiveName could reach outside the installation or cache
// folder is kept (so numbering stays as in the file) but IsSafeFileEntry()
// refuses it: it must never be tested, fetched, written or deleted.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace znt {

// A delta that rebuilds a file's new version from the installed one
// (DeltaIndex.h); sizes are within 32 bits like the catalogue's.
struct DeltaSource {
    std::string resultSha256;  // lower-case hex
    std::int32_t resultSize = 0;
    std::string baseSha256;  // lower-case hex
    std::string deltaName;   // below files/
    std::int32_t deltaSize = 0;
    bool operator==(const DeltaSource&) const = default;
};

struct PackageFileEntry {
    std::string FileName;        // relative to the installation folder, "\" separated
    std::int32_t CheckMode = 0;  // 0 = by product version, other = by exact size
    std::int32_t ProductVersionLow = 0;
    std::int32_t SizeBytes = 0;    // expected length of the installed file
    std::int32_t ArchiveSize = 0;  // exact length of the archive
    std::string ArchiveName;       // archive file name; holds FileName's file minus ".zip"
    bool Fetched = false;          // run time: archive placed in the cache folder
    // Run time: the delta the install list chose for the installed copy;
    // none: the archive is fetched.
    std::optional<DeltaSource> Delta{};

    // The bytes its fetch moves: its delta's size, or its archive's.
    std::int32_t DownloadSize() const { return Delta ? Delta->deltaSize : ArchiveSize; }
};

struct PackageEntry {
    bool Marked = false;         // run time scratch flag (see the list builders)
    std::int32_t FileCount = 0;  // always equals Files.size()
    std::int32_t SizeBytes = 0;  // run time: installed or download byte total
    std::string Version;
    std::string DescriptionGreek;
    std::string DescriptionEnglish;
    std::string NameGreek;
    std::string NameEnglish;
    std::int32_t Code = 0;
    std::int32_t ReservedNumber = 0;
    bool ReservedFlag = false;
    PackageFileEntry AltFile;
    std::vector<PackageFileEntry> Files;

    // File j, 1-based (1..FileCount). Throws std::out_of_range outside.
    PackageFileEntry& File(std::int32_t j) { return Files.at(static_cast<size_t>(j) - 1); }
    const PackageFileEntry& File(std::int32_t j) const {
        return Files.at(static_cast<size_t>(j) - 1);
    }
};

struct Packages {
    std::vector<PackageEntry> entries;

    std::int32_t PackageCount() const { return static_cast<std::int32_t>(entries.size()); }
    bool HasPackage(std::int32_t i) const { return i >= 1 && i <= PackageCount(); }
    // Package i, 1-based (1..PackageCount). Throws std::out_of_range outside.
    PackageEntry& Package(std::int32_t i) { return entries.at(static_cast<size_t>(i) - 1); }
    const PackageEntry& Package(std::int32_t i) const {
        return entries.at(static_cast<size_t>(i) - 1);
    }
};

// Largest packages.dat that is read; a larger file gives an empty catalogue.
constexpr std::uint64_t kMaxCatalogueBytes = 64u << 20;

// A catalogue as read, and whether it was read whole: every count met, every
// item of its kind (numbers within 32 bits, Booleans #TRUE# / #FALSE#),
// nothing but separators after the last package, and within the limits.
// Otherwise packages holds what could be read and problem says what failed.
struct CatalogueRead {
    Packages packages;
    bool complete = false;
    std::string problem;
};

// Parses catalogue bytes (Windows-1253 texts, decoded to UTF-8). A field that
// cannot be read keeps its empty value and reading goes on; counts beyond the
// data read what is there and stop, negative counts read nothing. Reading
// also stops before the 100,001st package or the 1,000,001st file entry.
CatalogueRead ReadCatalogue(std::string_view bytes);
// The packages of ReadCatalogue, whole or not.
Packages ParseCatalogue(std::string_view bytes);
// ReadCatalogue of a file; a missing, unreadable or oversized file is incomplete.
CatalogueRead ReadCatalogueFile(std::string_view path);

// Reads <installFolder>\packages.dat into packages (replacing what was there)
// and deletes the file, also when it is read-only. A missing, unreadable or
// oversized file gives an empty catalogue.
void LoadCatalogue(Packages& packages, std::string_view installFolder);

// FileName: relative, not empty, no drive or ":", no leading "\" or "/", no
// ".." component, no trailing separator, no control characters.
bool IsSafeFileName(std::string_view fileName);
// ArchiveName: a bare name longer than its four-character extension, without
// separators, ":", ".." or control characters.
bool IsSafeArchiveName(std::string_view archiveName);
// Both of the above: the entry may be tested, fetched, placed and removed.
bool IsSafeFileEntry(const PackageFileEntry& file);

// installFolder + "\" + FileName.
std::string InstalledPath(std::string_view installFolder, const PackageFileEntry& file);

}  // namespace znt
