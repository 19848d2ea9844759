#pragma once

// The second-instance test: one running copy of the program per
// installation folder, whoever runs it and from whichever session. The lock
// lives in the installation itself: the file core\zntr.lock, held with an
// advisory lock (flock) on POSIX and opened without sharing on Windows,
// which also takes the named mutex "Local\zntr-<hash>" of its session. The
// lock goes with the object or with the process, whichever ends first; the
// file stays. A lock that cannot be taken at all (no such file can be made
// or opened) refuses the run like a lock held elsewhere: a run that changes
// the installation never goes on unguarded.

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

    enum class Result { Held, Busy, Unavailable };

    // Held when this object now holds the lock for the folder; Busy when
    // another holder (this or another process) has it; Unavailable when the
    // lock file cannot be made or opened. Calling it again first releases
    // what the object held.
    Result Acquire(std::string_view installFolder);
    // Acquire(...) == Held.
    bool TryAcquire(std::string_view installFolder);
    void Release();
    bool held() const { return held_; }

    // installFolder + "\core\zntr.lock".
    static std::string LockFile(std::string_view installFolder);
    // "zntr-" + 16 hex digits of a hash of the folder's normalised full path.
    static std::string LockName(std::string_view installFolder);
    // The folder as the lock tells folders apart: POSIX its real path,
    // Windows its full path in lower case; no trailing separator.
    static std::string NormalisedFolder(std::string_view installFolder);

private:
#ifdef _WIN32
    void* handle_ = nullptr;
    void* file_ = nullptr;
#else
    int fd_ = -1;
#endif
    bool held_ = false;
};

}  // namespace ov
