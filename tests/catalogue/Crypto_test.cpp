// The signature library behind Crypto.h (libsodium, or libgcrypt in the
// Windows build) against published test vectors, so that both agree.

#include "catalogue/Crypto.h"

#include <gtest/gtest.h>

#include <string>

namespace {

namespace crypto = znt::crypto;

template <size_t N>
std::array<std::uint8_t, N> FromHex(const std::string& hex) {
    std::array<std::uint8_t, N> bytes{};
    for (size_t i = 0; i < N; ++i)
        bytes[i] = static_cast<std::uint8_t>(std::stoi(hex.substr(2 * i, 2), nullptr, 16));
    return bytes;
}

template <size_t N>
std::string HexOf(const std::array<std::uint8_t, N>& bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (std::uint8_t b : bytes) hex += std::string{kDigits[b >> 4], kDigits[b & 0xF]};
    return hex;
}

crypto::Seed SeedNumber(std::uint32_t n) {
    crypto::Seed seed{};
    for (size_t i = 0; i < 4; ++i) seed[i] = static_cast<std::uint8_t>(n >> (8 * i));
    return seed;
}

// RFC 8032, section 7.1, test 2: a one-byte message.
const std::string kSeedHex = "4ccd089b28ff96da9db6c346ec114e0f5b8a319f35aba624da8cf6ed4fb8a6fb";
const std::string kPublicHex = "3d4017c3e843895a92b70aa74d1b7ebc9c982ccf2ec4968cc0cd55f12af4660c";
const std::string kSignatureHex =
    "92a009a9f0d4cab8720e820b5f642540a2b27b5416503f8fb3762223ebdb69da"
    "085ac1e43e15996e458f3613d0f11d8c387b2eaeb4302aeeb00d291612bb0c00";
const std::string kMessage = "\x72";

}  // namespace

TEST(Crypto, Ed25519MatchesTheRfcVectorAndRefusesAnyChange) {
    const auto seed = FromHex<32>(kSeedHex);
    const auto key = FromHex<32>(kPublicHex);
    const auto signature = FromHex<64>(kSignatureHex);
    EXPECT_EQ(HexOf(crypto::Ed25519PublicKey(seed)), kPublicHex);
    EXPECT_EQ(HexOf(crypto::SignEd25519(seed, kMessage)), kSignatureHex);
    EXPECT_TRUE(crypto::VerifyEd25519(signature, kMessage, key));
    EXPECT_FALSE(crypto::VerifyEd25519(signature, "\x73", key));
    EXPECT_FALSE(crypto::VerifyEd25519(signature, "", key));
    EXPECT_FALSE(
        crypto::VerifyEd25519(signature, kMessage, crypto::Ed25519PublicKey(SeedNumber(1))));
    for (size_t at : {0u, 31u, 32u, 63u}) {
        auto changed = signature;
        changed[at] ^= 0x01;
        EXPECT_FALSE(crypto::VerifyEd25519(changed, kMessage, key)) << at;
    }
    // The same signature with the group order added to its second half.
    const auto order =
        FromHex<32>("edd3f55c1a631258d69cf7a2def9de1400000000000000000000000000000010");
    auto malleated = signature;
    unsigned carry = 0;
    for (size_t i = 0; i < 32; ++i) {
        carry += malleated[32 + i] + order[i];
        malleated[32 + i] = static_cast<std::uint8_t>(carry);
        carry >>= 8;
    }
    EXPECT_FALSE(crypto::VerifyEd25519(malleated, kMessage, key));
}

TEST(Crypto, KeysAndSignaturesThatStartOrEndWithZeroBytesRoundTrip) {
    // The library must keep every byte of the 32-byte values it is given.
    bool keyLeadingZero = false, sigLeadingZero = false, sigTrailingZero = false;
    for (std::uint32_t n = 0; n < 4000 && !(keyLeadingZero && sigLeadingZero && sigTrailingZero);
         ++n) {
        const crypto::Seed seed = SeedNumber(n);
        const auto key = crypto::Ed25519PublicKey(seed);
        const std::string message = "m" + std::to_string(n);
        const auto signature = crypto::SignEd25519(seed, message);
        const bool interesting = key[0] == 0 || signature[0] == 0 || signature[32] == 0 ||
                                 signature[31] == 0 || key[31] == 0;
        if (!interesting) continue;
        keyLeadingZero |= key[0] == 0;
        sigLeadingZero |= signature[0] == 0 || signature[32] == 0;
        sigTrailingZero |= signature[31] == 0;
        EXPECT_TRUE(crypto::VerifyEd25519(signature, message, key)) << n;
        EXPECT_FALSE(crypto::VerifyEd25519(signature, message + "!", key)) << n;
    }
    EXPECT_TRUE(keyLeadingZero && sigLeadingZero && sigTrailingZero);
}

TEST(Crypto, DigestsMatchTheirPublishedVectors) {
    EXPECT_EQ(HexOf(crypto::Blake2b512("abc")),  // RFC 7693, appendix A
              "ba80a53f981c4d0d6a2797b69f12f6e94c212f14685ac4b74b12bb6fdbffa2d1"
              "7d87c5392aab792dc252d5de4533cc9518d38aa8dbf1925ab92386edd4009923");
    EXPECT_EQ(HexOf(crypto::Blake2b256("abc")),
              "bddd813c634239723171ef3fee98579b94964e3bb1cb3e427262c8c068d52319");
    crypto::Sha256 pieces;
    pieces.Update("a");
    pieces.Update("");
    pieces.Update("bc");
    EXPECT_EQ(HexOf(pieces.Final()),
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
}
