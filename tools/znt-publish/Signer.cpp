#include "Signer.h"

#include "OVShared/Platform/FileSystem.h"
#include "catalogue/CatalogueTrust.h"

#include <sodium.h>

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

std::string Base64(const std::uint8_t* bytes, size_t size) {
    std::string text(sodium_base64_ENCODED_LEN(size, sodium_base64_VARIANT_ORIGINAL), '\0');
    sodium_bin2base64(text.data(), text.size(), bytes, size, sodium_base64_VARIANT_ORIGINAL);
    text.resize(text.find('\0'));
    return text;
}

// The second line of a two-line minisign key file, decoded.
std::optional<std::string> KeyLine(std::string_view text) {
    size_t first = text.find('\n');
    if (first == std::string_view::npos) return std::nullopt;
    std::string_view line = text.substr(first + 1);
    line = line.substr(0, line.find_first_of("\r\n"));
    std::string raw(kSecretFileBytes, '\0');
    size_t length = 0;
    if (sodium_base642bin(reinterpret_cast<std::uint8_t*>(raw.data()), raw.size(), line.data(),
                          line.size(), nullptr, &length, nullptr,
                          sodium_base64_VARIANT_ORIGINAL) != 0 ||
        length != raw.size()) {
        return std::nullopt;
    }
    return raw;
}

bool ChecksumHolds(const std::string& raw) {
    std::string_view stored(raw.data() + kChecksumAt, kChecksumBytes);
    if (stored.find_first_not_of('\0') == std::string_view::npos) return true;
    std::string covered = raw.substr(0, 2) + raw.substr(kKeyIdAt, kChecksumAt - kKeyIdAt);
    std::uint8_t sum[kChecksumBytes];
    crypto_generichash(sum, sizeof sum, reinterpret_cast<const std::uint8_t*>(covered.data()),
                       covered.size(), nullptr, 0);
    return std::equal(stored.begin(), stored.end(), reinterpret_cast<const char*>(sum));
}

// The public half of the secret key is the one its seed gives.
bool HalvesMatch(const SecretKey& key) {
    std::uint8_t pk[crypto_sign_PUBLICKEYBYTES], sk[crypto_sign_SECRETKEYBYTES];
    crypto_sign_seed_keypair(pk, sk, key.key.data());
    return std::equal(pk, pk + sizeof pk, key.key.begin() + 32);
}

std::uint64_t Now() {
    auto since = std::chrono::system_clock::now().time_since_epoch();
    auto seconds = std::chrono::duration_cast<std::chrono::seconds>(since).count();
    return static_cast<std::uint64_t>(seconds);
}

}  // namespace

std::optional<SecretKey> ParseSecretKey(std::string_view fileText, std::string& error) {
    if (sodium_init() < 0) return error = "libsodium cannot start", std::nullopt;
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
    if (sodium_init() < 0) return {};
    std::uint8_t pk[crypto_sign_PUBLICKEYBYTES], sk[crypto_sign_SECRETKEYBYTES];
    crypto_sign_keypair(pk, sk);
    std::string id(znt::kKeyIdBytes, '\0');
    randombytes_buf(id.data(), id.size());
    std::string pub = "Ed" + id + std::string(reinterpret_cast<char*>(pk), sizeof pk);
    std::string sec(kSecretFileBytes, '\0');
    sec.replace(0, 2, "Ed").replace(4, 2, "B2").replace(kKeyIdAt, id.size(), id);
    sec.replace(kSecretAt, sizeof sk, reinterpret_cast<char*>(sk), sizeof sk);
    znt::KeyId keyId{};
    std::copy(id.begin(), id.end(), keyId.begin());
    const std::string shown = znt::KeyIdText(keyId);
    auto line = [](const std::string& raw) {
        return Base64(reinterpret_cast<const std::uint8_t*>(raw.data()), raw.size());
    };
    return {"untrusted comment: minisign public key " + shown + "\n" + line(pub) + "\n",
            "untrusted comment: minisign secret key (unencrypted)\n" + line(sec) + "\n"};
}

std::string SignMessage(const SecretKey& key, std::string_view message,
                        std::string_view trustedComment) {
    if (sodium_init() < 0) return {};
    std::uint8_t digest[crypto_generichash_BYTES_MAX];
    crypto_generichash(digest, sizeof digest, reinterpret_cast<const std::uint8_t*>(message.data()),
                       message.size(), nullptr, 0);
    std::string sigLine = "ED";
    sigLine.append(reinterpret_cast<const char*>(key.keyId.data()), key.keyId.size());
    std::uint8_t sig[crypto_sign_BYTES];
    crypto_sign_detached(sig, nullptr, digest, sizeof digest, key.key.data());
    sigLine.append(reinterpret_cast<const char*>(sig), sizeof sig);
    std::string global = std::string(reinterpret_cast<const char*>(sig), sizeof sig);
    global += trustedComment;
    std::uint8_t globalSig[crypto_sign_BYTES];
    crypto_sign_detached(globalSig, nullptr, reinterpret_cast<const std::uint8_t*>(global.data()),
                         global.size(), key.key.data());
    return "untrusted comment: signature from znt-publish secret key\n" +
           Base64(reinterpret_cast<const std::uint8_t*>(sigLine.data()), sigLine.size()) +
           "\ntrusted comment: " + std::string(trustedComment) + "\n" +
           Base64(globalSig, sizeof globalSig) + "\n";
}

std::string TrustedCommentFor(std::string_view fileName, std::uint64_t seconds) {
    return "timestamp:" + std::to_string(seconds) + "\tfile:" + std::string(fileName) + "\thashed";
}

bool MakeHashList(const std::string& outFolder, const std::vector<std::string>& archives,
                  std::string& list, std::string& error) {
    std::vector<std::string> paths{"packages.dat"};
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
