#include "OVShared/Platform/Fnv1a.h"

#include <cstdio>

namespace ov {

std::uint64_t Fnv1a64(std::string_view bytes) {
    std::uint64_t h = 14695981039346656037ull;
    for (char c : bytes) {
        h ^= static_cast<unsigned char>(c);
        h *= 1099511628211ull;
    }
    return h;
}

std::string Fnv1a64Hex(std::string_view bytes) {
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(Fnv1a64(bytes)));
    return hex;
}

}  // namespace ov
