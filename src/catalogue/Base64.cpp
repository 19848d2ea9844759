#include "catalogue/Base64.h"

#include <algorithm>

namespace znt {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr std::size_t kGroupBytes = 3, kGroupChars = 4;

int ValueOf(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

std::size_t EncodedLength(std::size_t size) {
    return (size + kGroupBytes - 1) / kGroupBytes * kGroupChars;
}

}  // namespace

std::string Base64Encode(const std::uint8_t* bytes, std::size_t size) {
    std::string text;
    text.reserve(EncodedLength(size));
    for (std::size_t at = 0; at < size; at += kGroupBytes) {
        const std::size_t have = std::min(kGroupBytes, size - at);
        std::uint32_t group = std::uint32_t{bytes[at]} << 16;
        if (have > 1) group |= std::uint32_t{bytes[at + 1]} << 8;
        if (have > 2) group |= bytes[at + 2];
        for (std::size_t i = 0; i < kGroupChars; ++i) {
            text += i <= have ? kAlphabet[(group >> (18 - 6 * i)) & 0x3F] : '=';
        }
    }
    return text;
}

bool Base64DecodeExact(std::string_view text, std::uint8_t* out, std::size_t size) {
    if (text.size() != EncodedLength(size)) return false;
    const std::size_t padding = (kGroupBytes - size % kGroupBytes) % kGroupBytes;
    const std::size_t digits = text.size() - padding;
    if (text.substr(digits).find_first_not_of('=') != std::string_view::npos) return false;
    std::uint32_t bits = 0;
    int held = 0;
    std::size_t written = 0;
    for (char c : text.substr(0, digits)) {
        const int value = ValueOf(c);
        if (value < 0) return false;
        bits = (bits << 6) | static_cast<std::uint32_t>(value);
        held += 6;
        if (held >= 8) {
            held -= 8;
            out[written++] = static_cast<std::uint8_t>(bits >> held);
            bits &= (1u << held) - 1;
        }
    }
    return bits == 0;  // the bits after the last byte must be zero
}

}  // namespace znt
