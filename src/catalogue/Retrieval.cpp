#include "catalogue/Retrieval.h"

#include "OVShared/Platform/CodePage.h"
#include "OVShared/Platform/FileSystem.h"
#include "OVShared/Platform/Inet.h"
#include "OVShared/Platform/Yield.h"

#include <optional>

namespace znt {
namespace {

// Synchronous download into target; nothing is written unless the whole
// body arrived. On failure, *reason says why.
bool DownloadTo(ov::InetControl& inet, const std::string& url, const std::string& target,
                std::string* reason = nullptr) {
    std::optional<std::string> body = inet.OpenUrl(url);
    while (inet.StillExecuting()) ov::YieldToEventLoop();
    if (!body) {
        if (reason) *reason = inet.LastError().empty() ? "transfer failed" : inet.LastError();
        return false;
    }
    if (ov::WriteFileAtomic(target, *body)) return true;
    if (reason) *reason = ov::LastFileError();
    return false;
}

bool NonEmptyFile(const std::string& path) {
    auto length = ov::FileLength(path);
    return length && *length > 0;
}

bool CopyCatalogue(const CatalogueSource& source, const std::string& target, std::string& reason) {
    const std::string from = source.SourceFolder + "\\packages.dat";
    if (ov::CopyFileReplacing(from, target)) return true;
    reason = ov::IsRegularFile(from) ? ov::LastFileError() : "not in the source folder";
    return false;
}

// packages.dat from the source into target; true when it is there and not
// empty, else reason says why.
bool PlaceCatalogue(const CatalogueSource& source, const std::string& target, ov::InetControl& inet,
                    std::string& reason) {
    bool placed =
        source.SourceIsInternet
            ? DownloadTo(inet, source.serverBase + "/ovw2010/packages.dat", target, &reason)
            : CopyCatalogue(source, target, reason);
    if (placed && !NonEmptyFile(target)) reason = "empty";
    return placed && reason.empty();
}

std::optional<std::string> Fetched(const CatalogueSource& source, ov::InetControl& inet,
                                   const std::string& name, std::uint64_t maxBytes) {
    if (!source.SourceIsInternet) {
        return ov::ReadWholeFile(source.SourceFolder + "\\" + name, maxBytes);
    }
    std::optional<std::string> body = inet.OpenUrl(source.serverBase + "/ovw2010/" + name);
    while (inet.StillExecuting()) ov::YieldToEventLoop();
    if (body && body->size() > maxBytes) return std::nullopt;
    return body;
}

// The placed catalogue's bytes against the hash list and signature from the same place.
TrustCheck CheckPlaced(const CatalogueSource& source, std::string_view catalogue,
                       ov::InetControl& inet, const CatalogueTrust& trust) {
    SignedFiles files{Fetched(source, inet, kHashListName, kMaxHashListBytes),
                      Fetched(source, inet, kHashListSignatureName, kMaxSignatureFileBytes)};
    return CheckSignedCatalogue(trust, catalogue, files);
}

std::vector<std::string> SplitLines(std::string_view text, size_t maxLines) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size() && lines.size() < maxLines) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.emplace_back(line);
        start = end + 1;
    }
    return lines;
}

std::string NameOf(const std::string& line) {
    size_t eq = line.find('=');
    std::string_view name =
        eq == std::string::npos ? std::string_view(line) : std::string_view(line).substr(eq + 1);
    return ov::DecodeToUtf8(name, ov::CodePage::Windows1253);
}

}  // namespace

bool FetchCatalogue(const CatalogueSource& source, std::string_view installFolder,
                    ov::InetControl& inet) {
    return FetchCatalogue(source, installFolder, inet, CatalogueTrust{}).status ==
           FetchStatus::Placed;
}

CatalogueFetchResult FetchCatalogue(const CatalogueSource& source, std::string_view folder,
                                    ov::InetControl& inet, const CatalogueTrust& trust) {
    CatalogueFetchResult result;
    const std::string target = std::string(folder) + "\\packages.dat";
    if (!PlaceCatalogue(source, target, inet, result.problem)) return result;
    // One read serves the signature check and the parse; an unreadable or
    // oversized file fails both.
    const std::optional<std::string> bytes = ov::ReadWholeFile(target, kMaxCatalogueBytes);
    TrustCheck check;
    if (RequiresSignature(trust)) {
        check = CheckPlaced(source, bytes.value_or(""), inet, trust);
        if (!check.accepted) {
            ov::RemoveFile(target);
            return {FetchStatus::Untrusted, check.problem, {}, {}};
        }
    }
    // A damaged, cut or still-compressed catalogue must not pass for the whole one.
    CatalogueRead read = bytes ? ReadCatalogue(*bytes) : CatalogueRead{};
    if (!read.complete) {
        ov::RemoveFile(target);
        result.problem = "damaged or cut short";
        return result;
    }
    RememberAccepted(trust, check);
    return {FetchStatus::Placed, "", std::move(check.hashes), std::move(read.packages)};
}

bool ReadNameList(std::string_view bytes, NameTables& names) {
    std::vector<std::string> lines = SplitLines(bytes, 2 * kNameTableSize);
    if (lines.size() < 2 * kNameTableSize) return false;
    NameTables read;
    for (int k = 0; k < kNameTableSize; ++k) {
        read.first.push_back(NameOf(lines[k]));
        read.second.push_back(NameOf(lines[k + kNameTableSize]));
    }
    names = std::move(read);
    return true;
}

bool FetchNameList(std::string_view serverBase, std::string_view installFolder,
                   ov::InetControl& inet, NameTables& names) {
    const std::string target = std::string(installFolder) + "\\pnames.txt";
    if (!DownloadTo(inet, std::string(serverBase) + "/ovw2010/pnames.txt", target)) return false;
    auto bytes = ov::ReadWholeFile(target, 1u << 20);
    return bytes && !bytes->empty() && ReadNameList(*bytes, names);
}

}  // namespace znt
