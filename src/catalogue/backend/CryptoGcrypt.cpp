#include "catalogue/Crypto.h"

#include <gcrypt.h>

#include <algorithm>
#include <climits>
#include <type_traits>

namespace znt::crypto {
namespace {

struct SexpRelease {
    void operator()(gcry_sexp_t sexp) const { gcry_sexp_release(sexp); }
};
using Sexp = std::unique_ptr<std::remove_pointer_t<gcry_sexp_t>, SexpRelease>;

constexpr std::size_t kHalfBytes = kSignatureBytes / 2;  // R, then S
// libgcrypt's prefix for a public key given in its 32-byte EdDSA encoding.
constexpr std::uint8_t kCompressedPrefix = 0x40;
// The order of the Ed25519 group, little-endian.
constexpr std::array<std::uint8_t, 32> kGroupOrder = {
    0xed, 0xd3, 0xf5, 0x5c, 0x1a, 0x63, 0x12, 0x58, 0xd6, 0x9c, 0xf7, 0xa2, 0xde, 0xf9, 0xde, 0x14,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10};

bool Start() {
    if (gcry_control(GCRYCTL_INITIALIZATION_FINISHED_P)) {  // another part of the process did it
        return gcry_check_version(GCRYPT_VERSION) != nullptr;
    }
    if (!gcry_check_version(GCRYPT_VERSION)) return false;
    gcry_control(GCRYCTL_DISABLE_SECMEM, 0);
    gcry_control(GCRYCTL_INITIALIZATION_FINISHED, 0);
    return true;
}

// gcry_sexp_build reads buffer lengths as int.
bool Fits(std::string_view bytes) { return bytes.size() <= static_cast<std::size_t>(INT_MAX); }

const char* Data(std::string_view bytes) { return bytes.empty() ? "" : bytes.data(); }

Sexp MessageSexp(std::string_view message) {
    gcry_sexp_t sexp = nullptr;
    if (gcry_sexp_build(&sexp, nullptr, "(data(flags eddsa)(hash-algo sha512)(value %b))",
                        static_cast<int>(message.size()), Data(message)) != 0) {
        return nullptr;
    }
    return Sexp(sexp);
}

Sexp PublicKeySexp(const PublicKeyBytes& key) {
    std::array<std::uint8_t, 1 + kPublicKeyBytes> q{kCompressedPrefix};
    std::copy(key.begin(), key.end(), q.begin() + 1);
    gcry_sexp_t sexp = nullptr;
    if (gcry_sexp_build(&sexp, nullptr, "(public-key(ecc(curve Ed25519)(flags eddsa)(q %b)))",
                        static_cast<int>(q.size()), q.data()) != 0) {
        return nullptr;
    }
    return Sexp(sexp);
}

Sexp SecretKeySexp(const Seed& seed) {
    gcry_sexp_t sexp = nullptr;
    if (gcry_sexp_build(&sexp, nullptr, "(private-key(ecc(curve Ed25519)(flags eddsa)(d %b)))",
                        static_cast<int>(seed.size()), seed.data()) != 0) {
        return nullptr;
    }
    return Sexp(sexp);
}

Sexp SignatureSexp(const SignatureBytes& signature) {
    gcry_sexp_t sexp = nullptr;
    if (gcry_sexp_build(&sexp, nullptr, "(sig-val(eddsa(r %b)(s %b)))",
                        static_cast<int>(kHalfBytes), signature.data(),
                        static_cast<int>(kHalfBytes), signature.data() + kHalfBytes) != 0) {
        return nullptr;
    }
    return Sexp(sexp);
}

// libsodium refuses an S at or above the group order; libgcrypt does not
// look, and would accept S + order as well as S.
bool BelowGroupOrder(const std::uint8_t* scalar) {
    for (std::size_t i = kGroupOrder.size(); i-- > 0;) {
        if (scalar[i] != kGroupOrder[i]) return scalar[i] < kGroupOrder[i];
    }
    return false;
}

// Copies the named 32-byte value out of a signature.
bool CopyHalf(gcry_sexp_t signature, const char* name, std::uint8_t* out) {
    Sexp token(gcry_sexp_find_token(signature, name, 0));
    size_t length = 0;
    const char* bytes = token ? gcry_sexp_nth_data(token.get(), 1, &length) : nullptr;
    if (!bytes || length != kHalfBytes) return false;
    std::copy(bytes, bytes + kHalfBytes, out);
    return true;
}

}  // namespace

bool Ready() {
    static const bool ready = Start();
    return ready;
}

Digest512 Blake2b512(std::string_view bytes) {
    Digest512 digest{};
    if (Ready()) gcry_md_hash_buffer(GCRY_MD_BLAKE2B_512, digest.data(), Data(bytes), bytes.size());
    return digest;
}

Digest256 Blake2b256(std::string_view bytes) {
    Digest256 digest{};
    if (Ready()) gcry_md_hash_buffer(GCRY_MD_BLAKE2B_256, digest.data(), Data(bytes), bytes.size());
    return digest;
}

struct Sha256::State {
    gcry_md_hd_t md = nullptr;
};

Sha256::Sha256() : state_(std::make_unique<State>()) {
    if (!Ready() || gcry_md_open(&state_->md, GCRY_MD_SHA256, 0) != 0) state_->md = nullptr;
}

Sha256::~Sha256() {
    if (state_->md) gcry_md_close(state_->md);
}

void Sha256::Update(std::string_view bytes) {
    if (state_->md) gcry_md_write(state_->md, Data(bytes), bytes.size());
}

Digest256 Sha256::Final() {
    Digest256 digest{};
    const unsigned char* sum = state_->md ? gcry_md_read(state_->md, GCRY_MD_SHA256) : nullptr;
    if (sum) std::copy(sum, sum + digest.size(), digest.begin());
    return digest;
}

bool VerifyEd25519(const SignatureBytes& signature, std::string_view message,
                   const PublicKeyBytes& key) {
    if (!Ready() || !Fits(message) || !BelowGroupOrder(signature.data() + kHalfBytes)) return false;
    Sexp sig = SignatureSexp(signature), data = MessageSexp(message), pub = PublicKeySexp(key);
    return sig && data && pub && gcry_pk_verify(sig.get(), data.get(), pub.get()) == 0;
}

PublicKeyBytes Ed25519PublicKey(const Seed& seed) {
    PublicKeyBytes key{};
    Sexp secret = Ready() ? SecretKeySexp(seed) : nullptr;
    gcry_ctx_t context = nullptr;
    if (!secret || gcry_mpi_ec_new(&context, secret.get(), nullptr) != 0) return key;
    // The public key, computed from the secret one, in its 32-byte encoding.
    gcry_mpi_t q = gcry_mpi_ec_get_mpi("q@eddsa", context, 1);
    unsigned int bits = 0;
    const auto* bytes =
        q ? static_cast<const std::uint8_t*>(gcry_mpi_get_opaque(q, &bits)) : nullptr;
    if (bytes && bits == key.size() * 8) std::copy(bytes, bytes + key.size(), key.begin());
    gcry_mpi_release(q);
    gcry_ctx_release(context);
    return key;
}

SignatureBytes SignEd25519(const Seed& seed, std::string_view message) {
    SignatureBytes signature{};
    if (!Ready() || !Fits(message)) return signature;
    Sexp secret = SecretKeySexp(seed), data = MessageSexp(message);
    gcry_sexp_t made = nullptr;
    if (!secret || !data || gcry_pk_sign(&made, data.get(), secret.get()) != 0) return signature;
    Sexp result(made);
    if (!CopyHalf(made, "r", signature.data()) ||
        !CopyHalf(made, "s", signature.data() + kHalfBytes)) {
        signature.fill(0);
    }
    return signature;
}

bool RandomBytes(std::uint8_t* out, std::size_t size) {
    if (!Ready()) return false;
    gcry_randomize(out, size, GCRY_VERY_STRONG_RANDOM);
    return true;
}

}  // namespace znt::crypto
