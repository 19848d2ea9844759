#include "catalogue/Crypto.h"

#include <sodium.h>

namespace znt::crypto {
namespace {

const std::uint8_t* Bytes(std::string_view text) {
    return reinterpret_cast<const std::uint8_t*>(text.data());
}

}  // namespace

bool Ready() {
    static const bool ready = sodium_init() >= 0;  // sodium_init is itself thread-safe
    return ready;
}

Digest512 Blake2b512(std::string_view bytes) {
    Digest512 digest{};
    if (Ready())
        crypto_generichash(digest.data(), digest.size(), Bytes(bytes), bytes.size(), nullptr, 0);
    return digest;
}

Digest256 Blake2b256(std::string_view bytes) {
    Digest256 digest{};
    if (Ready())
        crypto_generichash(digest.data(), digest.size(), Bytes(bytes), bytes.size(), nullptr, 0);
    return digest;
}

struct Sha256::State {
    crypto_hash_sha256_state sha;
};

Sha256::Sha256() : state_(std::make_unique<State>()) {
    Ready();
    crypto_hash_sha256_init(&state_->sha);
}

Sha256::~Sha256() = default;

void Sha256::Update(std::string_view bytes) {
    crypto_hash_sha256_update(&state_->sha, Bytes(bytes), bytes.size());
}

Digest256 Sha256::Final() {
    Digest256 digest{};
    crypto_hash_sha256_final(&state_->sha, digest.data());
    return digest;
}

bool VerifyEd25519(const SignatureBytes& signature, std::string_view message,
                   const PublicKeyBytes& key) {
    return Ready() && crypto_sign_verify_detached(signature.data(), Bytes(message), message.size(),
                                                  key.data()) == 0;
}

PublicKeyBytes Ed25519PublicKey(const Seed& seed) {
    PublicKeyBytes key{};
    std::uint8_t secret[crypto_sign_SECRETKEYBYTES];
    if (Ready()) crypto_sign_seed_keypair(key.data(), secret, seed.data());
    sodium_memzero(secret, sizeof secret);
    return key;
}

SignatureBytes SignEd25519(const Seed& seed, std::string_view message) {
    SignatureBytes signature{};
    std::uint8_t key[crypto_sign_PUBLICKEYBYTES], secret[crypto_sign_SECRETKEYBYTES];
    if (Ready() && crypto_sign_seed_keypair(key, secret, seed.data()) == 0) {
        crypto_sign_detached(signature.data(), nullptr, Bytes(message), message.size(), secret);
    }
    sodium_memzero(secret, sizeof secret);
    return signature;
}

bool RandomBytes(std::uint8_t* out, std::size_t size) {
    if (!Ready()) return false;
    randombytes_buf(out, size);
    return true;
}

}  // namespace znt::crypto
