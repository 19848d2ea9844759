#include "catalogue/DeltaIndex.h"

#include "OVShared/Platform/Inet.h"
#include "catalogue/Signature.h"

#include <limits>
#include <set>
#include <utility>

namespace znt {
namespace {

constexpr std::string_view kDeltaSuffix = ".zdelta";

// 64 hex digits, returned in lower case.
std::optional<std::string> HexHash(std::string_view field) {
    if (field.size() != 64) return std::nullopt;
    std::string hex(field);
    for (char& c : hex) {
        if (c >= 'A' && c <= 'F') c = static_cast<char>(c - 'A' + 'a');
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return std::nullopt;
    }
    return hex;
}

// Decimal digits up to INT32_MAX.
std::optional<std::int32_t> Size(std::string_view field) {
    if (field.empty() || field.size() > 10) return std::nullopt;
    std::int64_t value = 0;
    for (char c : field) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
    }
    if (value > std::numeric_limits<std::int32_t>::max()) return std::nullopt;
    return static_cast<std::int32_t>(value);
}

// The next field up to a blank; empty when there is none before the end.
std::string_view NextField(std::string_view& rest) {
    const size_t blank = rest.find(' ');
    if (blank == std::string_view::npos) return {};
    std::string_view field = rest.substr(0, blank);
    rest.remove_prefix(blank + 1);
    return field;
}

// One line into entry and its file name; the reason when it does not read.
std::string ReadLine(std::string_view line, DeltaSource& entry, std::string& fileName) {
    std::string_view rest = line;
    const std::string_view result = NextField(rest), resultSize = NextField(rest),
                           base = NextField(rest), delta = NextField(rest),
                           deltaSize = NextField(rest);
    if (deltaSize.empty()) return "too few fields";
    auto resultHex = HexHash(result), baseHex = HexHash(base);
    auto resultBytes = Size(resultSize), deltaBytes = Size(deltaSize);
    if (!resultHex) return "bad result hash";
    if (!baseHex) return "bad base hash";
    if (!resultBytes || !deltaBytes) return "bad size";
    if (!IsSafeDeltaName(delta)) return "bad delta name";
    if (!IsSafeFileName(rest)) return "bad file name";
    entry = DeltaSource{*resultHex, *resultBytes, *baseHex, std::string(delta), *deltaBytes};
    fileName = std::string(rest);
    return {};
}

}  // namespace

std::string DeltaFileKey(std::string_view fileName) {
    std::string key(fileName);
    for (char& c : key) {
        if (c == '/') c = '\\';
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return key;
}

bool IsSafeDeltaName(std::string_view name) {
    return name.size() > kDeltaSuffix.size() && name.ends_with(kDeltaSuffix) &&
           name.find(' ') == std::string_view::npos && IsSafeArchiveName(name);
}

std::vector<const DeltaSource*> DeltaIndex::For(std::string_view fileName) const {
    std::vector<const DeltaSource*> found;
    auto [first, last] = byFile.equal_range(DeltaFileKey(fileName));
    for (auto it = first; it != last; ++it) found.push_back(&it->second);
    return found;
}

std::optional<DeltaIndex> ParseDeltaIndex(std::string_view text, std::string* problem) {
    DeltaIndex index;
    std::set<std::pair<std::string, std::string>> seen;  // (file key, base hash)
    std::set<std::string> names;                         // delta files
    size_t number = 0;
    while (!text.empty()) {
        ++number;
        const size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (line.ends_with('\r')) line.remove_suffix(1);
        if (line.empty() || line.front() == '#') continue;
        DeltaSource entry;
        std::string fileName;
        std::string why = ReadLine(line, entry, fileName);
        std::string key = DeltaFileKey(fileName);
        if (why.empty() && !seen.emplace(key, entry.baseSha256).second) {
            why = "a second delta for the same file and base";
        } else if (why.empty() && !names.insert(entry.deltaName).second) {
            why = "a delta file named twice";
        }
        if (!why.empty()) {
            if (problem) *problem = "line " + std::to_string(number) + ": " + why;
            return std::nullopt;
        }
        index.byFile.emplace(std::move(key), std::move(entry));
    }
    return index;
}

std::optional<DeltaSource> ChooseDelta(const DeltaIndex& index, const PackageFileEntry& f,
                                       std::string_view installedSha256) {
    for (const DeltaSource* d : index.For(f.FileName)) {
        if (d->baseSha256 != installedSha256 || d->deltaSize >= f.ArchiveSize) continue;
        if (f.CheckMode == 1 && d->resultSize != f.SizeBytes) continue;
        if (d->baseSha256 == d->resultSha256) continue;  // nothing to change
        return *d;
    }
    return std::nullopt;
}

const DeltaIndex* AskDeltaIndex(DeltaOffer& offer, const CatalogueSource& source,
                                ov::InetControl& inet, const ArchiveHashes& hashes) {
    if (offer.asked) return offer.index ? &*offer.index : nullptr;
    offer.asked = true;
    if (!source.SourceIsInternet) return nullptr;
    if (hashes.required && hashes.deltaIndexHex.empty()) return nullptr;  // not published signed
    std::optional<std::string> text =
        inet.OpenUrl(source.serverBase + "/ovw2010/" + kDeltaIndexName);
    if (!text) {
        // A server without deltas answers 404; anything else is worth a line.
        if (inet.ResponseCode() != 404) offer.problem = inet.LastError();
        return nullptr;
    }
    if (text->size() > kMaxDeltaIndexBytes) {
        offer.problem = "larger than " + std::to_string(kMaxDeltaIndexBytes) + " bytes";
    } else if (hashes.required && Sha256Hex(*text) != hashes.deltaIndexHex) {
        offer.problem = "hash mismatch";
    } else {
        offer.index = ParseDeltaIndex(*text, &offer.problem);
    }
    return offer.index ? &*offer.index : nullptr;
}

}  // namespace znt
