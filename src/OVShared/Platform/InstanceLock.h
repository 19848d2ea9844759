#pragma once

// The second-instance test: one running copy of the program per user and
// installation folder. Windows: a named mutex "Local\zntr-<hash>". POSIX: an
// advisory lock (flock) on a per-user lock file named after the same hash,
// in $XDG_RUNTIME_DIR or else the system's temporary folder. The lock goes
// with the object or with the process, whichever ends first.

#include <cstdint>
#include <string>
#include <string_view>

namespace ov {

class InstanceLock {
public:
    InstanceLock() = default;
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    // True when this object now holds the lock for the folder; false when
    // another holder (this or another process) has it. Calling it again
    // first releases what the object held. When no lock can be made at all
    // (POSIX: no usable lock file) it answers true without holding one.
    bool TryAcquire(std::string_view installFolder);
    void Release();
    bool held() const { return held_; }

    // "zntr-" + 16 hex digits of a hash of the folder's normalised full path.
    static std::string LockName(std::string_view installFolder);
    // The folder as the lock tells folders apart: POSIX its real path,
    // Windows its full path in lower case; no trailing separator.
    static std::string NormalisedFolder(std::string_view installFolder);

private:
#ifdef _WIN32
    void* handle_ = nullptr;
#else
    int fd_ = -1;
#endif
    bool held_ = false;
};

// FNV-1a, 64 bits.
std::uint64_t Fnv1a64(std::string_view bytes);

}  // namespace ov
