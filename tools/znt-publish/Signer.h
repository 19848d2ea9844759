#pragma once

// The publishing tool's signing: the hash list packages.sha256 (sha256sum
// format) and its minisign signature, made with an unencrypted minisign
// secret key (as "minisign -G -W" writes it, or GenerateKeyPair below), so
// that "sha256sum -c" and "minisign -V" check what the tool wrote.

#include "catalogue/Signature.h"

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace publish {

struct SecretKey {
    znt::KeyId keyId{};
    std::array<std::uint8_t, 64> key{};  // Ed25519 secret key: seed (RFC 8032), then public key
};

// An unencrypted minisign secret key file. Nothing, with error, for an
// encrypted key, a damaged one, or one whose halves do not belong together.
std::optional<SecretKey> ParseSecretKey(std::string_view fileText, std::string& error);

// A fresh key pair as minisign's files: public key, then unencrypted secret key.
std::pair<std::string, std::string> GenerateKeyPair();

// A minisign signature file ("ED": over BLAKE2b-512 of message).
std::string SignMessage(const SecretKey& key, std::string_view message,
                        std::string_view trustedComment);

// "timestamp:<seconds>\tfile:<fileName>\thashed", as minisign writes it.
std::string TrustedCommentFor(std::string_view fileName, std::uint64_t seconds);

// sha256sum lines for outFolder/packages.dat, outFolder/packages.delta when
// there is one, and outFolder/files/<name> of every archive (and delta),
// paths relative to outFolder. False with error when a file
// cannot be read.
bool MakeHashList(const std::string& outFolder, const std::vector<std::string>& archives,
                  std::string& list, std::string& error);

// Writes outFolder/packages.sha256 and, with a secret key file,
// outFolder/packages.sha256.minisig signed at the current time.
bool WriteHashList(const std::string& outFolder, const std::vector<std::string>& archives,
                   const std::string& secretKeyFile, std::string& error);

}  // namespace publish
