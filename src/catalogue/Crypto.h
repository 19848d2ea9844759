#pragma once

// The few cryptographic primitives the signature checks and the publishing
// tool use, from one library chosen at build time (ZNT_SIGNATURE_BACKEND):
// libsodium (backend/CryptoSodium.cpp) or libgcrypt (backend/CryptoGcrypt.cpp,
// the Windows build). Both give the same answers for the same input; the
// minisign formats, key ids and trust rules stay in the portable callers.
//
// Every function may be called from any thread; the library is initialised
// on first use. When it cannot start, Ready() is false, checks fail and
// digests and signatures come back zeroed.

#include "catalogue/Signature.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string_view>

namespace znt::crypto {

inline constexpr std::size_t kSeedBytes = 32;

using PublicKeyBytes = std::array<std::uint8_t, kPublicKeyBytes>;
using Seed = std::array<std::uint8_t, kSeedBytes>;  // an Ed25519 secret key (RFC 8032)
using Digest256 = std::array<std::uint8_t, 32>;
using Digest512 = std::array<std::uint8_t, 64>;

bool Ready();

Digest512 Blake2b512(std::string_view bytes);
Digest256 Blake2b256(std::string_view bytes);  // BLAKE2b with a 32-byte output

// SHA-256 over bytes given in pieces.
class Sha256 {
public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;
    void Update(std::string_view bytes);
    Digest256 Final();

private:
    struct State;
    std::unique_ptr<State> state_;
};

// True when signature is key's Ed25519 signature of message. A signature
// whose second half is not below the group order is refused (RFC 8032).
bool VerifyEd25519(const SignatureBytes& signature, std::string_view message,
                   const PublicKeyBytes& key);

// Signing, for the publishing tool and the tests; the program only checks.
PublicKeyBytes Ed25519PublicKey(const Seed& seed);
SignatureBytes SignEd25519(const Seed& seed, std::string_view message);
// Fills out from the library's random source; false when it cannot.
bool RandomBytes(std::uint8_t* out, std::size_t size);

}  // namespace znt::crypto
