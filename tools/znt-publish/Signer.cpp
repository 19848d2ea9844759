#include "Signer.h"

#include "OVShared/Platform/FileSystem.h"
#include "catalogue/Base64.h"
#include "catalogue/CatalogueTrust.h"
#include "catalogue/Crypto.h"

#include <algorithm>
#include <chrono>

namespace publish {
namespace {

// minisign's secret key: algorithm "Ed", key derivation ("\0\0" when not
// encrypted), checksum algorithm "B2", salt, two limits, then key id,
// secret key and a BLAKE2b-256 checksum (zero when minisign -W wrote it).
constexpr size_t kKdfAt = 2, kKeyIdAt = 54, kSecretAt = 62, kChecksumAt = 126;
constexpr size_t kSecretFileBytes = 158;
constexpr size_t kChecksumBytes = 32;

using znt::crypto::Seed;

std::string Base64(const std::uint8_t* bytes, size_t size) {
    return znt::Base64Encode(bytes, size);
}

std::string Base64(std::string_view bytes) {
    return Base64(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

Seed SeedOf(const SecretKey& key) {
    Seed seed{};
    std::copy_n(key.key.begin(), seed.size(), seed.begin());
    return seed;
}

std::string_view View(const znt::SignatureBytes& signature) {
    return {reinterpret_cast<const char*>(signature.data()), signature.size()};
}

// The second line of a two-line minisign key file, decoded.
std::optional<std::string> KeyLine(std::string_view text) {
    size_t first = text.find('\n');
    if (first == std::string_view::npos) return std::nullopt;
    std::string_view line = text.substr(first + 1);
    line = line.substr(0, line.find_first_of("\r\n"));
    std::string raw(kSecretFileBytes, '\0');
    if (!znt::Base64DecodeExact(line, reinterpret_cast<std::uint8_t*>(raw.data()), raw.size())) {
        return std::nullopt;
    }
    return raw;
}

bool ChecksumHolds(const std::string& raw) {
    std::string_view stored(raw.data() + kChecksumAt, kChecksumBytes);
    if (stored.find_first_not_of('\0') == std::string_view::npos) return true;
    std::string covered = raw.substr(0, 2) + raw.substr(kKeyIdAt, kChecksumAt - kKeyIdAt);
    const znt::crypto::Digest256 sum = znt::crypto::Blake2b256(covered);
    return std::equal(stored.begin(), stored.end(), reinterpret_cast<const char*>(sum.data()));
}

// The public half of the secret key is the one its seed gives.
bool HalvesMatch(const SecretKey& key) {
    const znt::crypto::PublicKeyBytes pk = znt::crypto::Ed25519PublicKey(SeedOf(key));
    return std::equal(pk.begin(), pk.end(), key.key.begin() + znt::crypto::kSeedBytes);
}

std::uint64_t Now() {
    auto since = std::chrono::system_clock::now().time_since_epoch();
    auto seconds = std::chrono::duration_cast<std::chrono::seconds>(since).count();
    return static_cast<std::uint64_t>(seconds);
}

}  // namespace

std::optional<SecretKey> ParseSecretKey(std::string_view fileText, std::string& error) {
    if (!znt::crypto::Ready()) return error = "the signature library cannot start", std::nullopt;
    std::optional<std::string> raw = KeyLine(fileText);
    if (!raw || raw->compare(0, 2, "Ed") != 0 || raw->compare(4, 2, "B2") != 0) {
        return error = "not a minisign secret key", std::nullopt;
    }
    if ((*raw)[kKdfAt] != '\0' || (*raw)[kKdfAt + 1] != '\0') {
        return error = "the secret key is encrypted; make an unencrypted one (minisign -G -W)",
               std::nullopt;
    }
    SecretKey key;
    std::copy_n(raw->begin() + kKeyIdAt, key.keyId.size(), key.keyId.begin());
    std::copy_n(raw->begin() + kSecretAt, key.key.size(), key.key.begin());
    if (!ChecksumHolds(*raw) || !HalvesMatch(key)) {
        return error = "the secret key is damaged", std::nullopt;
    }
    return key;
}

std::pair<std::string, std::string> GenerateKeyPair() {
    Seed seed{};
    std::string id(znt::kKeyIdBytes, '\0');
    if (!znt::crypto::RandomBytes(seed.data(), seed.size()) ||
        !znt::crypto::RandomBytes(reinterpret_cast<std::uint8_t*>(id.data()), id.size())) {
        return {};
    }
    const znt::crypto::PublicKeyBytes pk = znt::crypto::Ed25519PublicKey(seed);
    const std::string pkBytes(pk.begin(), pk.end());
    std::string pub = "Ed" + id + pkBytes;
    std::string sec(kSecretFileBytes, '\0');
    sec.replace(0, 2, "Ed").replace(4, 2, "B2").replace(kKeyIdAt, id.size(), id);
    sec.replace(kSecretAt, seed.size(), std::string(seed.begin(), seed.end()));
    sec.replace(kSecretAt + seed.size(), pkBytes.size(), pkBytes);
    znt::KeyId keyId{};
    std::copy(id.begin(), id.end(), keyId.begin());
    const std::string shown = znt::KeyIdText(keyId);
    return {"untrusted comment: minisign public key " + shown + "\n" + Base64(pub) + "\n",
            "untrusted comment: minisign secret key (unencrypted)\n" + Base64(sec) + "\n"};
}

std::string SignMessage(const SecretKey& key, std::string_view message,
                        std::string_view trustedComment) {
    if (!znt::crypto::Ready()) return {};
    const znt::crypto::Digest512 digest = znt::crypto::Blake2b512(message);
    const Seed seed = SeedOf(key);
    const znt::SignatureBytes sig = znt::crypto::SignEd25519(
        seed, std::string_view(reinterpret_cast<const char*>(digest.data()), digest.size()));
    std::string sigLine = "ED";
    sigLine.append(reinterpret_cast<const char*>(key.keyId.data()), key.keyId.size());
    sigLine += View(sig);
    const std::string global = std::string(View(sig)) + std::string(trustedComment);
    const znt::SignatureBytes globalSig = znt::crypto::SignEd25519(seed, global);
    return "untrusted comment: signature from znt-publish secret key\n" + Base64(sigLine) +
           "\ntrusted comment: " + std::string(trustedComment) + "\n" +
           Base64(globalSig.data(), globalSig.size()) + "\n";
}

std::string TrustedCommentFor(std::string_view fileName, std::uint64_t seconds) {
    return "timestamp:" + std::to_string(seconds) + "\tfile:" + std::string(fileName) + "\thashed";
}

bool MakeHashList(const std::string& outFolder, const std::vector<std::string>& archives,
                  std::string& list, std::string& error) {
    std::vector<std::string> paths{"packages.dat"};
    if (ov::IsRegularFile(outFolder + "/packages.delta")) paths.push_back("packages.delta");
    for (const std::string& archive : archives) paths.push_back("files/" + archive);
    for (const std::string& path : paths) {
        std::optional<std::string> hex = znt::FileSha256Hex(outFolder + "/" + path);
        if (!hex) return error = "cannot read " + outFolder + "/" + path, false;
        list += *hex + "  " + path + "\n";
    }
    return true;
}

bool WriteHashList(const std::string& outFolder, const std::vector<std::string>& archives,
                   const std::string& secretKeyFile, std::string& error) {
    std::string list;
    if (!MakeHashList(outFolder, archives, list, error)) return false;
    std::optional<SecretKey> key;
    if (!secretKeyFile.empty()) {
        auto text = ov::ReadWholeFile(secretKeyFile, znt::kMaxSignatureFileBytes);
        key = text ? ParseSecretKey(*text, error) : std::nullopt;
        if (!key) return error = secretKeyFile + ": " + (text ? error : "cannot read"), false;
    }
    if (!ov::WriteFileAtomic(outFolder + "/" + znt::kHashListName, list)) {
        return error = "cannot write " + outFolder + "/" + znt::kHashListName, false;
    }
    // A signature from an earlier run would not match the new list.
    if (!key) {
        ov::RemoveFile(outFolder + "/" + znt::kHashListSignatureName);
        return true;
    }
    std::string sig = SignMessage(*key, list, TrustedCommentFor(znt::kHashListName, Now()));
    if (ov::WriteFileAtomic(outFolder + "/" + znt::kHashListSignatureName, sig)) return true;
    return error = "cannot write " + outFolder + "/" + znt::kHashListSignatureName, false;
}

}  // namespace publish
