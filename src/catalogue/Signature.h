#pragma once

// minisign public keys and detached signatures (checked with Crypto.h), and
// the SHA-256 digests the signed hash list names.
//
// Public key file: an "untrusted comment:" line, then base64 of "Ed", the
// 8-byte key id and the 32-byte Ed25519 key. Signature file: an "untrusted
// comment:" line, base64 of the algorithm ("Ed": the file itself is signed;
// "ED": its BLAKE2b-512 digest is), the key id and the 64-byte signature, a
// "trusted comment:" line, and base64 of the global signature over the
// signature followed by the trusted comment's text. Both are untrusted
// input: anything malformed parses to nothing.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace znt {

inline constexpr std::size_t kKeyIdBytes = 8;
inline constexpr std::size_t kPublicKeyBytes = 32;
inline constexpr std::size_t kSignatureBytes = 64;
// Largest key or signature file read; minisign's are a few hundred bytes.
inline constexpr std::uint64_t kMaxSignatureFileBytes = 8u << 10;

using KeyId = std::array<std::uint8_t, kKeyIdBytes>;
using SignatureBytes = std::array<std::uint8_t, kSignatureBytes>;

struct MinisignPublicKey {
    KeyId keyId{};
    std::array<std::uint8_t, kPublicKeyBytes> key{};
};

struct MinisignSignature {
    bool prehashed = false;  // "ED": the signature covers BLAKE2b-512 of the file
    KeyId keyId{};
    SignatureBytes signature{};
    std::string trustedComment;  // the text after "trusted comment: "
    SignatureBytes globalSignature{};
};

std::optional<MinisignPublicKey> ParsePublicKey(std::string_view fileText);
std::optional<MinisignSignature> ParseSignature(std::string_view fileText);

// True when the key ids match, the signature covers message and the global
// signature covers the signature and the trusted comment.
bool VerifySignature(const MinisignPublicKey& key, const MinisignSignature& sig,
                     std::string_view message);

// The key id as minisign prints it (16 upper-case hex digits).
std::string KeyIdText(const KeyId& id);

// The number after "timestamp:" at the start of the trusted comment or after
// a tab in it. Nothing when there is none; malformed when it is not a number.
struct CommentTimestamp {
    bool present = false;
    bool valid = true;
    std::uint64_t seconds = 0;
};
CommentTimestamp TimestampOf(std::string_view trustedComment);

// Lower-case hex SHA-256 of bytes, or of a regular file read in blocks
// (nothing when the file cannot be read whole).
std::string Sha256Hex(std::string_view bytes);
std::optional<std::string> FileSha256Hex(const std::string& path);
// The same text for a digest taken in pieces (crypto::Sha256).
std::string Sha256DigestHex(const std::array<std::uint8_t, 32>& digest);

// True when the file at path (a "\" path) has the SHA-256 expectedHex (either
// case). The one check of a fetched archive against a signed hash list.
bool ArchiveHashMatches(const std::string& path, std::string_view expectedHex);

}  // namespace znt
