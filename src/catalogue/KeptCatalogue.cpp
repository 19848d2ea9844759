#include "catalogue/KeptCatalogue.h"

#include "OVShared/Platform/FileSystem.h"
#include "catalogue/Signature.h"

#include <algorithm>
#include <utility>

namespace znt {
namespace {

constexpr std::uint64_t kMaxValidatorsBytes = 4096;
constexpr const char* kValidatorsSuffix = ".validators";

bool IsLowerHex(std::string_view s) {
    return s.size() == 64 && std::all_of(s.begin(), s.end(), [](char c) {
               return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
           });
}

bool Sendable(const std::string& value) {
    return value.size() <= ov::InetControl::kMaxValidatorLength &&
           std::none_of(value.begin(), value.end(), [](char c) {
               auto u = static_cast<unsigned char>(c);
               return u < 0x20 || u == 0x7f;
           });
}

// Sets the field line names; false for a line this program does not write.
bool TakeLine(std::string_view line, KeptRecord& record) {
    std::size_t space = line.find(' ');
    if (space == std::string_view::npos || space + 1 == line.size()) return false;
    std::string_view key = line.substr(0, space);
    std::string value(line.substr(space + 1));
    if (!Sendable(value)) return false;
    if (key == "etag") {
        record.validators.entityTag = std::move(value);
    } else if (key == "last-modified") {
        record.validators.lastModified = std::move(value);
    } else if (key == "sha256" && IsLowerHex(value)) {
        record.sha256Hex = std::move(value);
    } else {
        return false;
    }
    return true;
}

}  // namespace

std::string ValidatorsText(const ov::InetValidators& validators, std::string_view sha256Hex) {
    std::string text;
    if (!validators.entityTag.empty()) text += "etag " + validators.entityTag + "\n";
    if (!validators.lastModified.empty()) text += "last-modified " + validators.lastModified + "\n";
    return text + "sha256 " + std::string(sha256Hex) + "\n";
}

std::optional<KeptRecord> ReadValidatorsText(std::string_view text) {
    KeptRecord record;
    while (!text.empty()) {
        std::size_t end = text.find('\n');
        if (end == std::string_view::npos) return std::nullopt;  // cut short
        if (!TakeLine(text.substr(0, end), record)) return std::nullopt;
        text.remove_prefix(end + 1);
    }
    bool asks = !record.validators.entityTag.empty() || !record.validators.lastModified.empty();
    if (!asks || record.sha256Hex.empty()) return std::nullopt;
    return record;
}

KeptCatalogue::KeptCatalogue(std::string folder, bool writable)
    : folder_(std::move(folder)), writable_(writable) {}

KeptCatalogue KeptCatalogue::OfInstallation(std::string_view installFolder, bool writable) {
    return KeptCatalogue(std::string(installFolder) + "\\core\\cache\\catalogue", writable);
}

std::string KeptCatalogue::Path(std::string_view name) const {
    return folder_ + "\\" + std::string(name);
}

std::optional<KeptFile> KeptCatalogue::Load(std::string_view name, std::uint64_t maxBytes) const {
    std::optional<std::string> text =
        ov::ReadWholeFile(Path(name) + kValidatorsSuffix, kMaxValidatorsBytes);
    std::optional<KeptRecord> record = text ? ReadValidatorsText(*text) : std::nullopt;
    if (!record) return std::nullopt;
    std::optional<std::string> bytes = ov::ReadWholeFile(Path(name), maxBytes);
    if (!bytes || Sha256Hex(*bytes) != record->sha256Hex) return std::nullopt;
    return KeptFile{std::move(*bytes), std::move(record->validators)};
}

bool KeptCatalogue::Store(std::string_view name, std::string_view bytes,
                          const ov::InetValidators& validators) const {
    if (!writable_) return false;
    bool asks = (!validators.entityTag.empty() && Sendable(validators.entityTag)) ||
                (!validators.lastModified.empty() && Sendable(validators.lastModified));
    const std::string sidecar = Path(name) + kValidatorsSuffix;
    // The old record goes first, so a copy cut short is never offered.
    ov::RemoveFile(sidecar);
    if (!asks || !Sendable(validators.entityTag) || !Sendable(validators.lastModified)) {
        return false;
    }
    ov::MakeRealFolder(folder_);
    return ov::WriteFileAtomic(Path(name), bytes) &&
           ov::WriteFileAtomic(sidecar, ValidatorsText(validators, Sha256Hex(bytes)));
}

}  // namespace znt
