#include "DeltaPublish.h"

#include "DeltaEncoder.h"

#include "OVShared/Platform/FileSystem.h"
#include "catalogue/Signature.h"

#include <algorithm>
#include <cctype>
#include <optional>
#include <tuple>

namespace publish {
namespace {

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// "a.exe.zip" and a base hash give "a.exe.<16 hex digits>.zdelta".
std::string DeltaNameFor(const std::string& archive, const std::string& baseSha256) {
    return archive.substr(0, archive.size() - 4) + "." + baseSha256.substr(0, 16) + ".zdelta";
}

// One file against one earlier version of it: reads base and target; writes
// a delta to files/ and adds its entry when it is worth fetching.
bool DeltaForFile(const std::string& fileName, const std::string& basePath,
                  const std::string& targetPath, const std::string& archive, const std::string& out,
                  std::vector<DeltaEntry>& entries, std::string& error) {
    auto baseSha = znt::FileSha256Hex(basePath), targetSha = znt::FileSha256Hex(targetPath);
    if (!baseSha || !targetSha)
        return error = "cannot read " + (baseSha ? targetPath : basePath), false;
    if (*baseSha == *targetSha) return true;
    std::string name = DeltaNameFor(archive, *baseSha);
    for (const DeltaEntry& e : entries)
        if (e.deltaName == name) return true;  // the same base in two earlier versions
    auto base = ov::ReadWholeFile(basePath, kMaxDeltaBase),
         target = ov::ReadWholeFile(targetPath, kMaxDeltaBase);
    auto archiveSize = ov::FileLength(out + "/files/" + archive);
    if (!base || !target || !archiveSize)
        return error = "cannot read " + basePath + " or " + targetPath + " (or larger than 2 GiB)",
               false;
    std::string delta;
    if (!MakeDelta(*base, *target, delta, error)) return error = basePath + ": " + error, false;
    if (delta.size() * 2 >= *archiveSize) return true;
    if (!ov::WriteFileAtomic(out + "/files/" + name, delta))
        return error = "cannot write " + name, false;
    entries.push_back({fileName, *targetSha, *baseSha, target->size(), name, delta.size()});
    return true;
}

}  // namespace

std::string FormatDeltaIndex(const std::vector<DeltaEntry>& entries) {
    std::string text = "# result-sha256 result-size base-sha256 delta-file delta-size file-name\n";
    for (const DeltaEntry& e : entries) {
        text += e.resultSha256 + " " + std::to_string(e.resultSize) + " " + e.baseSha256 + " " +
                e.deltaName + " " + std::to_string(e.deltaSize) + " " + e.fileName + "\n";
    }
    return text;
}

bool PublishDeltas(const Description& d, const std::map<std::string, std::string>& archiveOf,
                   const std::string& payloadFolder, const std::vector<std::string>& previous,
                   const std::string& outFolder, std::vector<std::string>& deltaNames,
                   std::string& error) {
    const std::string indexPath = outFolder + "/" + kDeltaIndexName;
    if (previous.empty()) {
        // An index from an earlier run would offer deltas to files no longer published.
        if (ov::IsRegularFile(indexPath) && !ov::RemoveFile(indexPath))
            return error = "cannot remove " + indexPath, false;
        return true;
    }
    std::vector<DeltaEntry> entries;
    for (const PackageSpec& package : d.packages) {
        for (const FileSpec& file : package.files) {
            const std::string target = ov::NativePath(payloadFolder + "/" + file.fileName);
            for (const std::string& folder : previous) {
                const std::string base = ov::NativePath(folder + "/" + file.fileName);
                if (!ov::IsRegularFile(base)) continue;  // new in this version
                if (!DeltaForFile(file.fileName, base, target, archiveOf.at(Lower(file.fileName)),
                                  outFolder, entries, error))
                    return false;
            }
        }
    }
    std::sort(entries.begin(), entries.end(), [](const DeltaEntry& a, const DeltaEntry& b) {
        return std::tie(a.fileName, a.baseSha256) < std::tie(b.fileName, b.baseSha256);
    });
    for (const DeltaEntry& e : entries) deltaNames.push_back(e.deltaName);
    if (ov::WriteFileAtomic(indexPath, FormatDeltaIndex(entries))) return true;
    return error = "cannot write " + indexPath, false;
}

}  // namespace publish
