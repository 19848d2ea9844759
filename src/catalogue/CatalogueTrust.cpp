#include "catalogue/CatalogueTrust.h"

#include "OVShared/Platform/AsciiText.h"
#include "OVShared/Platform/FileSystem.h"
#include "OVShared/Platform/RegistryStore.h"
#include "catalogue/DeltaIndex.h"
#include "settings/Settings.h"

#include <algorithm>
#include <charconv>
#include <filesystem>

namespace znt {
namespace {

constexpr std::string_view kCatalogueEntry = "packages.dat";
constexpr std::string_view kArchivePrefix = "files/";
constexpr std::string_view kTimestampValue = "P_CatalogueTimestamp_";
constexpr size_t kHexDigits = 64;

std::string ProgramKey() { return std::string(kFamilyKey) + kAppCode; }

bool IsHexDigest(std::string_view text) {
    return text.size() == kHexDigits && std::all_of(text.begin(), text.end(), [](char c) {
               return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
           });
}

// One "<hex>  <path>" line into list; what is wrong with it, if anything.
std::optional<std::string> AddLine(std::string_view line,
                                   std::map<std::string, std::string>& list) {
    const bool wellFormed = line.size() >= kHexDigits + 3 &&
                            IsHexDigest(line.substr(0, kHexDigits)) && line[kHexDigits] == ' ' &&
                            (line[kHexDigits + 1] == ' ' || line[kHexDigits + 1] == '*');
    if (!wellFormed) return "is malformed";
    std::string path(line.substr(kHexDigits + 2));
    if (list.emplace(path, ov::AsciiLower(line.substr(0, kHexDigits))).second) return std::nullopt;
    return "lists " + path + " again";
}

std::optional<std::uint64_t> StoredTimestamp(const CatalogueTrust& trust,
                                             const std::string& value) {
    if (!trust.store) return std::nullopt;
    std::optional<std::string> text = trust.store->QueryString(ProgramKey(), value);
    std::uint64_t seconds = 0;
    if (!text || text->empty()) return std::nullopt;
    auto [end, ec] = std::from_chars(text->data(), text->data() + text->size(), seconds);
    if (ec != std::errc() || end != text->data() + text->size()) return std::nullopt;
    return seconds;
}

// Once a timestamp was accepted, an older one, or none, may be a replay.
bool IsReplay(const CatalogueTrust& trust, const TrustCheck& check) {
    std::optional<std::uint64_t> stored = StoredTimestamp(trust, check.storeValue);
    return stored && (!check.timestamp.present || check.timestamp.seconds < *stored);
}

TrustCheck Refused(std::string problem) {
    TrustCheck check;
    check.problem = std::move(problem);
    return check;
}

// The archive entries of an accepted list.
ArchiveHashes HashesOf(const std::map<std::string, std::string>& list) {
    ArchiveHashes hashes{.required = true, .hexByName = {}, .deltaIndexHex = {}};
    for (const auto& [path, hex] : list) {
        if (path == kDeltaIndexName) hashes.deltaIndexHex = hex;
        if (!path.starts_with(kArchivePrefix)) continue;
        hashes.hexByName[path.substr(kArchivePrefix.size())] = hex;
    }
    return hashes;
}

}  // namespace

const std::string* ArchiveHashes::Find(const std::string& archiveName) const {
    auto it = hexByName.find(archiveName);
    return it == hexByName.end() ? nullptr : &it->second;
}

std::optional<std::map<std::string, std::string>> ParseHashList(std::string_view text,
                                                                std::string* problem) {
    std::map<std::string, std::string> list;
    size_t start = 0;
    for (size_t number = 1; start < text.size(); ++number) {
        size_t end = std::min(text.find('\n', start), text.size());
        std::string_view line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        std::optional<std::string> wrong = line.empty() ? std::nullopt : AddLine(line, list);
        if (wrong) {
            if (problem) *problem = "line " + std::to_string(number) + " " + *wrong;
            return std::nullopt;
        }
        start = end + 1;
    }
    return list;
}

CatalogueTrust InstallationTrust(std::string_view installFolder, ov::RegistryStore& store) {
    return CatalogueTrust{std::string(installFolder) + "\\core\\zntr.pub", &store};
}

bool RequiresSignature(const CatalogueTrust& trust) {
    std::error_code ec;
    return !trust.publicKeyPath.empty() &&
           std::filesystem::exists(ov::NativePath(trust.publicKeyPath), ec);
}

TrustCheck CheckSignedCatalogue(const CatalogueTrust& trust, std::string_view catalogue,
                                const SignedFiles& files) {
    auto keyText = ov::ReadWholeFile(trust.publicKeyPath, kMaxSignatureFileBytes);
    std::optional<MinisignPublicKey> key = keyText ? ParsePublicKey(*keyText) : std::nullopt;
    if (!key) return Refused(trust.publicKeyPath + " is not a minisign public key");
    if (!files.hashList || !files.signature) {
        return Refused(std::string(kHashListName) + " or its signature is missing");
    }
    std::optional<MinisignSignature> sig = ParseSignature(*files.signature);
    if (!sig || !VerifySignature(*key, *sig, *files.hashList)) {
        return Refused(std::string(kHashListName) + " is not signed by the trusted key");
    }
    TrustCheck check;
    check.timestamp = TimestampOf(sig->trustedComment);
    check.storeValue = std::string(kTimestampValue) + KeyIdText(key->keyId);
    if (!check.timestamp.valid || IsReplay(trust, check)) {
        return Refused("the signature is older than the catalogue accepted before");
    }
    std::string listProblem;
    auto list = ParseHashList(*files.hashList, &listProblem);
    if (!list) return Refused(std::string(kHashListName) + ": " + listProblem);
    if ((*list)[std::string(kCatalogueEntry)] != Sha256Hex(catalogue)) {
        return Refused("packages.dat does not have the hash its signed list gives");
    }
    check.accepted = true;
    check.hashes = HashesOf(*list);
    return check;
}

void RememberAccepted(const CatalogueTrust& trust, const TrustCheck& check) {
    if (!trust.store || !check.accepted || !check.timestamp.present) return;
    std::optional<std::uint64_t> stored = StoredTimestamp(trust, check.storeValue);
    if (stored && *stored >= check.timestamp.seconds) return;
    trust.store->SetString(ProgramKey(), check.storeValue, std::to_string(check.timestamp.seconds));
}

}  // namespace znt
