#include "OVShared/Platform/InstanceLock.h"

#include "OVShared/Platform/Fnv1a.h"

namespace ov {

std::string InstanceLock::LockFile(std::string_view installFolder) {
    return std::string(installFolder) + "\\core\\zntr.lock";
}

bool InstanceLock::TryAcquire(std::string_view installFolder) {
    return Acquire(installFolder) == Result::Held;
}

std::string InstanceLock::LockName(std::string_view installFolder) {
    return "zntr-" + Fnv1a64Hex(NormalisedFolder(installFolder));
}

}  // namespace ov
