#include "OVShared/Platform/InstanceLock.h"

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

std::string InstanceLock::LockFile(std::string_view installFolder) {
    return std::string(installFolder) + "\\core\\zntr.lock";
}

bool InstanceLock::TryAcquire(std::string_view installFolder) {
    return Acquire(installFolder) == Result::Held;
}

std::string InstanceLock::LockName(std::string_view installFolder) {
    std::string normalised = NormalisedFolder(installFolder);
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(Fnv1a64(normalised)));
    return std::string("zntr-") + hex;
}

}  // namespace ov
