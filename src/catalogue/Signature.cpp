#include "catalogue/Signature.h"

#include "OVShared/Platform/FileSystem.h"
#include "OVShared/Platform/Yield.h"

#include <sodium.h>

#include <algorithm>
#include <cctype>
#include <vector>

namespace znt {
namespace {

constexpr std::string_view kUntrustedPrefix = "untrusted comment:";
constexpr std::string_view kTrustedPrefix = "trusted comment: ";
constexpr std::string_view kTimestampWord = "timestamp:";
constexpr std::uint64_t kHashBlockBytes = 4u << 20;  // the event loop gets a turn after each
constexpr std::size_t kPrehashBytes = crypto_generichash_BYTES_MAX;  // BLAKE2b-512

bool SodiumReady() {
    static const bool ready = sodium_init() >= 0;
    return ready;
}

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

bool IsBase64Character(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
           c == '+' || c == '/' || c == '=';
}

// Decodes base64 that must give exactly size bytes. Other characters are
// refused first: libsodium 1.0.18 reads some bytes above 127 as digits.
bool DecodeExact(std::string_view base64, std::uint8_t* out, size_t size) {
    if (!SodiumReady() || !std::all_of(base64.begin(), base64.end(), IsBase64Character)) {
        return false;
    }
    size_t length = 0;
    const char* end = nullptr;
    int rc = sodium_base642bin(out, size, base64.data(), base64.size(), nullptr, &length, &end,
                               sodium_base64_VARIANT_ORIGINAL);
    return rc == 0 && length == size && end == base64.data() + base64.size();
}

template <size_t N>
void CopyOut(const std::uint8_t* from, std::array<std::uint8_t, N>& to) {
    std::copy(from, from + N, to.begin());
}

bool VerifyEd25519(const SignatureBytes& sig, const std::uint8_t* message, size_t length,
                   const MinisignPublicKey& key) {
    return crypto_sign_verify_detached(sig.data(), message, length, key.key.data()) == 0;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

std::string HexOf(const std::uint8_t* bytes, size_t size) {
    std::string hex(size * 2 + 1, '\0');
    sodium_bin2hex(hex.data(), hex.size(), bytes, size);
    hex.pop_back();
    return hex;
}

}  // namespace

std::optional<MinisignPublicKey> ParsePublicKey(std::string_view fileText) {
    std::vector<std::string_view> lines = Lines(fileText);
    if (!lines.empty() && lines.front().starts_with(kUntrustedPrefix)) lines.erase(lines.begin());
    std::array<std::uint8_t, 2 + kKeyIdBytes + kPublicKeyBytes> raw{};
    if (lines.size() != 1 || !DecodeExact(lines[0], raw.data(), raw.size())) return std::nullopt;
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
    if (!DecodeExact(lines[1], raw.data(), raw.size()) ||
        !DecodeExact(lines[3], sig.globalSignature.data(), kSignatureBytes)) {
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
    if (!SodiumReady() || key.keyId != sig.keyId) return false;
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(message.data());
    std::array<std::uint8_t, kPrehashBytes> digest{};
    if (sig.prehashed) {
        crypto_generichash(digest.data(), digest.size(), bytes, message.size(), nullptr, 0);
    }
    bool signedOk = sig.prehashed ? VerifyEd25519(sig.signature, digest.data(), digest.size(), key)
                                  : VerifyEd25519(sig.signature, bytes, message.size(), key);
    std::string global(sig.signature.begin(), sig.signature.end());
    global += sig.trustedComment;
    return signedOk && VerifyEd25519(sig.globalSignature,
                                     reinterpret_cast<const std::uint8_t*>(global.data()),
                                     global.size(), key);
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
    std::array<std::uint8_t, crypto_hash_sha256_BYTES> digest{};
    if (!SodiumReady()) return {};
    crypto_hash_sha256(digest.data(), reinterpret_cast<const std::uint8_t*>(bytes.data()),
                       bytes.size());
    return HexOf(digest.data(), digest.size());
}

std::optional<std::string> FileSha256Hex(const std::string& path) {
    ov::RegularFile file(path);
    if (!file.IsOpen() || !SodiumReady()) return std::nullopt;
    crypto_hash_sha256_state state;
    crypto_hash_sha256_init(&state);
    for (std::uint64_t offset = 0; offset < file.Length(); offset += kHashBlockBytes) {
        const std::uint64_t want = std::min(kHashBlockBytes, file.Length() - offset);
        std::string block = file.ReadAt(offset, want);
        if (block.size() != want) return std::nullopt;
        crypto_hash_sha256_update(&state, reinterpret_cast<const std::uint8_t*>(block.data()),
                                  block.size());
        ov::YieldToEventLoop();
    }
    std::array<std::uint8_t, crypto_hash_sha256_BYTES> digest{};
    crypto_hash_sha256_final(&state, digest.data());
    return HexOf(digest.data(), digest.size());
}

bool ArchiveHashMatches(const std::string& path, std::string_view expectedHex) {
    std::optional<std::string> actual = FileSha256Hex(path);
    if (!actual || expectedHex.size() != actual->size()) return false;
    return std::equal(actual->begin(), actual->end(), expectedHex.begin(), [](char a, char e) {
        return HexValue(e) >= 0 && HexValue(a) == HexValue(e);
    });
}

}  // namespace znt
