#include "Publisher.h"

#include "DeltaPublish.h"
#include "Precompress.h"
#include "Signer.h"

#include "OVShared/Platform/CodePage.h"
#include "OVShared/Platform/FileSystem.h"
#include "OVShared/Platform/VersionResource.h"
#include "catalogue/CatalogueWriter.h"

#include <zip.h>

#include <algorithm>
#include <cctype>
#include <limits>
#include <set>

namespace publish {
namespace {

// Archives carry a fixed time stamp so that publishing the same files twice
// gives the same bytes (2010-01-01 00:00 UTC).
constexpr time_t kArchiveTime = 1262304000;

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string LastPart(const std::string& name) {
    size_t cut = name.find_last_of('\\');
    return cut == std::string::npos ? name : name.substr(cut + 1);
}

bool IsPlainAscii(const std::string& s) {
    return std::all_of(s.begin(), s.end(), [](char c) { return c >= 0x20 && c < 0x7F; });
}

bool WriteZip(const std::string& zipPath, const std::string& member, const std::string& source,
              std::string& error) {
    int code = 0;
    zip_t* za = zip_open(zipPath.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &code);
    if (!za) {
        error = "cannot create " + zipPath;
        return false;
    }
    zip_source_t* src = zip_source_file(za, source.c_str(), 0, 0);
    zip_int64_t index = src ? zip_file_add(za, member.c_str(), src, ZIP_FL_OVERWRITE) : -1;
    if (index < 0) {
        if (src) zip_source_free(src);
        error = "cannot add " + source + " to " + zipPath + ": " + zip_strerror(za);
        zip_discard(za);
        return false;
    }
    zip_file_set_mtime(za, static_cast<zip_uint64_t>(index), kArchiveTime, 0);
    if (zip_close(za) != 0) {
        error = "cannot write " + zipPath + ": " + zip_strerror(za);
        zip_discard(za);
        return false;
    }
    return true;
}

// Length of a file as a catalogue number; false when missing or too large.
bool CatalogueLength(const std::string& path, std::int32_t& length, std::string& error) {
    auto size = ov::FileLength(path);
    if (!size || *size > static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max())) {
        error = size ? path + " is larger than 2 GiB - 1" : "cannot read " + path;
        return false;
    }
    length = static_cast<std::int32_t>(*size);
    return true;
}

bool PublishFile(const FileSpec& file, const std::string& archive, const std::string& payload,
                 const std::string& out, znt::PackageFileEntry& f, std::string& error) {
    const std::string source = ov::NativePath(payload + "/" + file.fileName);
    const std::string zipPath = out + "/files/" + archive;
    f.FileName = file.fileName;
    f.CheckMode = static_cast<std::int32_t>(file.check);
    f.ArchiveName = archive;
    f.ProductVersionLow = static_cast<std::int32_t>(ov::ReadProductVersionLow(source).value_or(0));
    if (!CatalogueLength(source, f.SizeBytes, error)) return false;
    if (!WriteZip(zipPath, archive.substr(0, archive.size() - 4), source, error)) return false;
    return CatalogueLength(zipPath, f.ArchiveSize, error);
}

znt::PackageEntry EntryOf(const PackageSpec& package) {
    znt::PackageEntry p;
    p.Code = package.code;
    p.ReservedNumber = package.reservedNumber;
    p.ReservedFlag = package.reservedFlag;
    p.Version = package.version;
    p.NameEnglish = package.nameEnglish;
    p.NameGreek = package.nameGreek;
    p.DescriptionEnglish = package.descriptionEnglish;
    p.DescriptionGreek = package.descriptionGreek;
    return p;
}

bool BuildCatalogue(const Description& d, const std::map<std::string, std::string>& archiveOf,
                    const std::string& payload, const std::string& out, znt::Packages& packages,
                    std::string& error) {
    for (const PackageSpec& package : d.packages) {
        znt::PackageEntry& p = packages.entries.emplace_back(EntryOf(package));
        for (const FileSpec& file : package.files) {
            const std::string& archive = archiveOf.at(Lower(file.fileName));
            if (!PublishFile(file, archive, payload, out, p.Files.emplace_back(), error)) {
                return false;
            }
        }
        p.FileCount = static_cast<std::int32_t>(p.Files.size());
    }
    return true;
}

bool WriteNames(const Description& d, const std::string& out, std::string& error) {
    std::string text;
    for (int n = 1; n <= kNameLines; ++n) {
        const std::string& name = d.names[static_cast<size_t>(n) - 1];
        if (!ov::IsEncodable(name, ov::CodePage::Windows1253)) {
            error =
                "name " + std::to_string(n) + " holds a character Windows-1253 cannot represent";
            return false;
        }
        text +=
            std::to_string(n) + "=" + ov::EncodeFromUtf8(name, ov::CodePage::Windows1253) + "\r\n";
    }
    if (ov::WriteFileAtomic(out + "/pnames.txt", text)) return true;
    error = "cannot write " + out + "/pnames.txt";
    return false;
}

}  // namespace

bool AssignArchiveNames(const Description& d, std::map<std::string, std::string>& archiveOf,
                        std::string& error) {
    std::map<std::string, std::set<std::string>> byLastPart;  // lower-case keys
    for (const auto& p : d.packages) {
        for (const auto& f : p.files) {
            if (!IsPlainAscii(f.fileName)) {
                error = "file name \"" + f.fileName + "\" must be plain ASCII";
                return false;
            }
            byLastPart[Lower(LastPart(f.fileName))].insert(Lower(f.fileName));
        }
    }
    std::map<std::string, std::string> owner;  // lower-case archive name -> file
    for (const auto& p : d.packages) {
        for (const auto& f : p.files) {
            std::string key = Lower(f.fileName);
            bool shared = byLastPart[Lower(LastPart(f.fileName))].size() > 1;
            std::string archive = Lower(shared ? f.fileName : LastPart(f.fileName)) + ".zip";
            std::replace(archive.begin(), archive.end(), '\\', '_');
            if (!znt::IsSafeArchiveName(archive)) {
                error = "file name \"" + f.fileName + "\" gives an unusable archive name";
                return false;
            }
            auto [it, fresh] = owner.emplace(Lower(archive), key);
            if (!fresh && it->second != key) {
                error = "files \"" + f.fileName + "\" and \"" + it->second + "\" would share " +
                        archive;
                return false;
            }
            archiveOf[key] = archive;
        }
    }
    return true;
}

bool Publish(const Description& d, const std::string& payloadFolder, const std::string& outFolder,
             std::string& error) {
    return Publish(d, payloadFolder, outFolder, "", error);
}

bool Publish(const Description& d, const std::string& payloadFolder, const std::string& outFolder,
             const std::string& secretKeyFile, std::string& error) {
    return Publish(d, payloadFolder, outFolder, secretKeyFile, {}, error);
}

bool Publish(const Description& d, const std::string& payloadFolder, const std::string& outFolder,
             const std::string& secretKeyFile, const std::vector<std::string>& previous,
             std::string& error) {
    std::map<std::string, std::string> archiveOf;
    if (!AssignArchiveNames(d, archiveOf, error)) return false;
    if (!ov::CreateFolderChain(outFolder + "/files")) {
        error = "cannot create " + outFolder + "/files";
        return false;
    }
    znt::Packages packages;
    if (!BuildCatalogue(d, archiveOf, payloadFolder, outFolder, packages, error)) return false;
    std::string bytes;
    if (!znt::FormatCatalogue(packages, bytes, error)) return false;
    if (!ov::WriteFileAtomic(outFolder + "/packages.dat", bytes)) {
        error = "cannot write " + outFolder + "/packages.dat";
        return false;
    }
    if (!WriteNames(d, outFolder, error)) return false;
    std::vector<std::string> deltas;
    if (!PublishDeltas(d, archiveOf, payloadFolder, previous, outFolder, deltas, error)) return false;
    std::set<std::string> archives(deltas.begin(), deltas.end());
    for (const auto& [file, archive] : archiveOf) archives.insert(archive);
    return WriteHashList(outFolder, {archives.begin(), archives.end()}, secretKeyFile, error) &&
           WritePrecompressed(outFolder, kPrecompressedNames, error);
}

}  // namespace publish
