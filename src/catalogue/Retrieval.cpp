#include "catalogue/Retrieval.h"

#include "OVShared/Platform/CodePage.h"
#include "OVShared/Platform/FileSystem.h"
#include "OVShared/Platform/Inet.h"
#include "OVShared/Platform/Yield.h"
#include "catalogue/KeptCatalogue.h"

#include <limits>
#include <map>
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

constexpr const char* kCatalogueName = "packages.dat";

// One file of the server's catalogue folder, whole: asked only if changed
// since its kept copy, when kept offers one, and then taken from that copy.
struct Obtained {
    std::optional<std::string> bytes;
    ov::InetValidators validators;  // of the bytes, as the server gave them
    bool reused = false;            // the kept copy, after a 304
    std::string problem;            // why there are no bytes
};

Obtained FromServer(const CatalogueSource& source, ov::InetControl& inet, const KeptCatalogue* kept,
                    const std::string& name, std::uint64_t maxBytes) {
    std::optional<KeptFile> held = kept ? kept->Load(name, maxBytes) : std::nullopt;
    ov::InetFetch fetch = inet.OpenUrlIf(source.serverBase + "/ovw2010/" + name,
                                         held ? held->validators : ov::InetValidators{});
    while (inet.StillExecuting()) ov::YieldToEventLoop();
    Obtained got;
    switch (fetch.outcome) {
    case ov::InetFetch::Outcome::Body:
        if (fetch.body.size() > maxBytes) {
            got.problem = "too large";
            break;
        }
        got.bytes = std::move(fetch.body);
        got.validators = std::move(fetch.validators);
        break;
    case ov::InetFetch::Outcome::NotModified:
        // Only asked with validators, which only a held copy gives.
        if (!held) {
            got.problem = "HTTP 304";
            break;
        }
        got.bytes = std::move(held->bytes);
        got.validators = std::move(held->validators);
        got.reused = true;
        break;
    case ov::InetFetch::Outcome::Failed: got.problem = fetch.error; break;
    }
    return got;
}

// One attempt at the catalogue's files on the server: where copies are
// kept (none: nothing is kept), whether the kept ones are offered, and what
// was read, to keep once the catalogue is accepted.
struct ServerFiles {
    const KeptCatalogue* kept = nullptr;
    bool ask = false;
    std::map<std::string, Obtained> byName;

    Obtained& Get(const CatalogueSource& source, ov::InetControl& inet, const std::string& name,
                  std::uint64_t maxBytes) {
        return byName[name] = FromServer(source, inet, ask ? kept : nullptr, name, maxBytes);
    }
    bool reusedAny() const {
        for (const auto& [name, got] : byName) {
            if (got.reused) return true;
        }
        return false;
    }
    void Keep() const {
        for (const auto& [name, got] : byName) {
            if (kept && !got.reused && got.bytes) kept->Store(name, *got.bytes, got.validators);
        }
    }
};

// packages.dat from the source into target; true when it is there and not
// empty, else reason says why.
bool PlaceCatalogue(const CatalogueSource& source, const std::string& target, ov::InetControl& inet,
                    ServerFiles& files, std::string& reason) {
    bool placed = false;
    if (source.SourceIsInternet) {
        const Obtained& got =
            files.Get(source, inet, kCatalogueName, std::numeric_limits<std::uint64_t>::max());
        reason = got.problem;
        placed = got.bytes && ov::WriteFileAtomic(target, *got.bytes);
        if (got.bytes && !placed) reason = ov::LastFileError();
        if (!placed && reason.empty()) reason = "transfer failed";
    } else {
        placed = CopyCatalogue(source, target, reason);
    }
    if (placed && !NonEmptyFile(target)) reason = "empty";
    return placed && reason.empty();
}

std::optional<std::string> Fetched(const CatalogueSource& source, ov::InetControl& inet,
                                   ServerFiles& files, const std::string& name,
                                   std::uint64_t maxBytes) {
    if (!source.SourceIsInternet) {
        return ov::ReadWholeFile(source.SourceFolder + "\\" + name, maxBytes);
    }
    return files.Get(source, inet, name, maxBytes).bytes;
}

// The placed catalogue's bytes against the hash list and signature from the same place.
TrustCheck CheckPlaced(const CatalogueSource& source, std::string_view catalogue,
                       ov::InetControl& inet, const CatalogueTrust& trust, ServerFiles& got) {
    SignedFiles files{Fetched(source, inet, got, kHashListName, kMaxHashListBytes),
                      Fetched(source, inet, got, kHashListSignatureName, kMaxSignatureFileBytes)};
    return CheckSignedCatalogue(trust, catalogue, files);
}

// One attempt: packages.dat placed, checked against trust and read; the
// files read from the server are kept once it is accepted. Sets reused when
// a kept copy took part.
CatalogueFetchResult Attempt(const CatalogueSource& source, std::string_view folder,
                             ov::InetControl& inet, const CatalogueTrust& trust, ServerFiles files,
                             bool& reused) {
    CatalogueFetchResult result;
    const std::string target = std::string(folder) + "\\packages.dat";
    bool placed = PlaceCatalogue(source, target, inet, files, result.problem);
    reused = files.reusedAny();
    if (!placed) return result;
    // One read serves the signature check and the parse; an unreadable or
    // oversized file fails both.
    const std::optional<std::string> bytes = ov::ReadWholeFile(target, kMaxCatalogueBytes);
    TrustCheck check;
    if (RequiresSignature(trust)) {
        check = CheckPlaced(source, bytes.value_or(""), inet, trust, files);
        reused = files.reusedAny();
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
    files.Keep();
    return {FetchStatus::Placed, "", std::move(check.hashes), std::move(read.packages)};
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
    bool reused = false;
    return Attempt(source, folder, inet, trust, ServerFiles{}, reused);
}

CatalogueFetchResult FetchCatalogue(const CatalogueSource& source, std::string_view folder,
                                    ov::InetControl& inet, const CatalogueTrust& trust,
                                    const KeptCatalogue& kept) {
    if (!source.SourceIsInternet) return FetchCatalogue(source, folder, inet, trust);
    bool reused = false;
    CatalogueFetchResult result =
        Attempt(source, folder, inet, trust, ServerFiles{&kept, true, {}}, reused);
    // A kept copy that is not accepted again is not trusted to stand in for
    // the server's files: they are fetched whole, without asking.
    if (result.status == FetchStatus::Placed || !reused) return result;
    return Attempt(source, folder, inet, trust, ServerFiles{&kept, false, {}}, reused);
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
