#include "catalogue/Signature.h"

#include "OVShared/Platform/AsciiText.h"
#include "OVShared/Platform/FileSystem.h"
#include "OVShared/Platform/Yield.h"
#include "catalogue/Base64.h"
#include "catalogue/Crypto.h"

#include <algorithm>
#include <vector>

namespace znt {
namespace {

constexpr std::string_view kUntrustedPrefix = "untrusted comment:";
constexpr std::string_view kTrustedPrefix = "trusted comment: ";
constexpr std::string_view kTimestampWord = "timestamp:";
constexpr std::uint64_t kHashBlockBytes = 4u << 20;  // the event loop gets a turn after each

std::vector<std::string_view> Lines(std::string_view text) {
    std::vector<std::string_view> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = std::min(text.find('\n', start), text.size());
        std::string_view line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.push_back(line);
        start = end + 1;
    }
    while (!lines.empty() && lines.back().empty()) lines.pop_back();
    return lines;
}

template <size_t N>
void CopyOut(const std::uint8_t* from, std::array<std::uint8_t, N>& to) {
    std::copy(from, from + N, to.begin());
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    c = ov::AsciiLower(c);
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

}  // namespace

std::optional<MinisignPublicKey> ParsePublicKey(std::string_view fileText) {
    std::vector<std::string_view> lines = Lines(fileText);
    if (!lines.empty() && lines.front().starts_with(kUntrustedPrefix)) lines.erase(lines.begin());
    std::array<std::uint8_t, 2 + kKeyIdBytes + kPublicKeyBytes> raw{};
    if (lines.size() != 1 || !Base64DecodeExact(lines[0], raw.data(), raw.size())) {
        return std::nullopt;
    }
    if (raw[0] != 'E' || raw[1] != 'd') return std::nullopt;
    MinisignPublicKey key;
    CopyOut(raw.data() + 2, key.keyId);
    CopyOut(raw.data() + 2 + kKeyIdBytes, key.key);
    return key;
}

std::optional<MinisignSignature> ParseSignature(std::string_view fileText) {
    std::vector<std::string_view> lines = Lines(fileText);
    if (lines.size() != 4 || !lines[0].starts_with(kUntrustedPrefix) ||
        !lines[2].starts_with(kTrustedPrefix)) {
        return std::nullopt;
    }
    std::array<std::uint8_t, 2 + kKeyIdBytes + kSignatureBytes> raw{};
    MinisignSignature sig;
    if (!Base64DecodeExact(lines[1], raw.data(), raw.size()) ||
        !Base64DecodeExact(lines[3], sig.globalSignature.data(), kSignatureBytes)) {
        return std::nullopt;
    }
    if (raw[0] != 'E' || (raw[1] != 'd' && raw[1] != 'D')) return std::nullopt;
    sig.prehashed = raw[1] == 'D';
    CopyOut(raw.data() + 2, sig.keyId);
    CopyOut(raw.data() + 2 + kKeyIdBytes, sig.signature);
    sig.trustedComment = std::string(lines[2].substr(kTrustedPrefix.size()));
    return sig;
}

bool VerifySignature(const MinisignPublicKey& key, const MinisignSignature& sig,
                     std::string_view message) {
    if (!crypto::Ready() || key.keyId != sig.keyId) return false;
    crypto::Digest512 digest{};
    std::string_view covered = message;
    if (sig.prehashed) {
        digest = crypto::Blake2b512(message);
        covered = {reinterpret_cast<const char*>(digest.data()), digest.size()};
    }
    std::string global(sig.signature.begin(), sig.signature.end());
    global += sig.trustedComment;
    return crypto::VerifyEd25519(sig.signature, covered, key.key) &&
           crypto::VerifyEd25519(sig.globalSignature, global, key.key);
}

std::string KeyIdText(const KeyId& id) {
    std::string text;
    for (auto it = id.rbegin(); it != id.rend(); ++it) {
        static constexpr char kDigits[] = "0123456789ABCDEF";
        text += kDigits[*it >> 4];
        text += kDigits[*it & 0xF];
    }
    return text;
}

CommentTimestamp TimestampOf(std::string_view comment) {
    size_t at = 0;
    if (!comment.starts_with(kTimestampWord)) {
        at = comment.find("\t" + std::string(kTimestampWord));
        if (at == std::string_view::npos) return {};
        ++at;
    }
    std::string_view digits = comment.substr(at + kTimestampWord.size());
    digits = digits.substr(0, digits.find('\t'));
    CommentTimestamp stamp{.present = true, .valid = !digits.empty() && digits.size() <= 19};
    for (char c : digits) {
        if (c < '0' || c > '9') stamp.valid = false;
    }
    if (!stamp.valid) return stamp;
    for (char c : digits) stamp.seconds = stamp.seconds * 10 + static_cast<std::uint64_t>(c - '0');
    return stamp;
}

std::string Sha256Hex(std::string_view bytes) {
    if (!crypto::Ready()) return {};
    crypto::Sha256 sha;
    sha.Update(bytes);
    return Sha256DigestHex(sha.Final());
}

std::optional<std::string> FileSha256Hex(const std::string& path) {
    ov::RegularFile file(path);
    if (!file.IsOpen() || !crypto::Ready()) return std::nullopt;
    crypto::Sha256 sha;
    for (std::uint64_t offset = 0; offset < file.Length(); offset += kHashBlockBytes) {
        const std::uint64_t want = std::min(kHashBlockBytes, file.Length() - offset);
        std::string block = file.ReadAt(offset, want);
        if (block.size() != want) return std::nullopt;
        sha.Update(block);
        ov::YieldToEventLoop();
    }
    return Sha256DigestHex(sha.Final());
}

std::string Sha256DigestHex(const crypto::Digest256& digest) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (std::uint8_t byte : digest) {
        hex += kDigits[byte >> 4];
        hex += kDigits[byte & 0xF];
    }
    return hex;
}

bool ArchiveHashMatches(const std::string& path, std::string_view expectedHex) {
    std::optional<std::string> actual = FileSha256Hex(path);
    if (!actual || expectedHex.size() != actual->size()) return false;
    return std::equal(actual->begin(), actual->end(), expectedHex.begin(), [](char a, char e) {
        return HexValue(e) >= 0 && HexValue(a) == HexValue(e);
    });
}

}  // namespace znt
