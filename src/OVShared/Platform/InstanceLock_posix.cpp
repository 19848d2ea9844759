#include "OVShared/Platform/InstanceLock.h"

#include "OVShared/Platform/FileSystem.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace ov {

std::string InstanceLock::NormalisedFolder(std::string_view installFolder) {
    std::string path = NativePath(installFolder);
    if (char* real = ::realpath(path.c_str(), nullptr)) {
        path = real;
        std::free(real);
    }
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

InstanceLock::~InstanceLock() { Release(); }

void InstanceLock::Release() {
    if (fd_ >= 0) ::close(fd_);  // closing the descriptor drops the flock
    fd_ = -1;
    held_ = false;
}

InstanceLock::Result InstanceLock::Acquire(std::string_view installFolder) {
    Release();
    const std::string file = NativePath(LockFile(installFolder));
    CreateFolder(file.substr(0, file.rfind('/')));
    // Read access is enough for flock, so users who share the installation
    // share the file whoever made it. A link or anything but a plain file
    // in its place is refused.
    int fd = ::open(file.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0644);
    struct stat st;
    if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        if (fd >= 0) ::close(fd);
        return Result::Unavailable;
    }
    int rc;
    do {
        rc = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        bool taken = errno == EWOULDBLOCK;
        ::close(fd);
        return taken ? Result::Busy : Result::Unavailable;
    }
    fd_ = fd;
    held_ = true;
    return Result::Held;
}

}  // namespace ov
