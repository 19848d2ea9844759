#include "OVShared/Platform/InstanceLock.h"

#include "OVShared/Platform/FileSystem.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

namespace ov {
namespace {

// $XDG_RUNTIME_DIR when it is a folder of this user, else the temporary
// folder with the user id in the file name.
std::string LockFilePath(const std::string& name) {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    struct stat st;
    if (runtime && runtime[0] == '/' && ::stat(runtime, &st) == 0 && S_ISDIR(st.st_mode) &&
        st.st_uid == ::getuid()) {
        return std::string(runtime) + "/" + name + ".lock";
    }
    return SystemTempFolder() + "/" + name + "-" + std::to_string(::getuid()) + ".lock";
}

}  // namespace

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

bool InstanceLock::TryAcquire(std::string_view installFolder) {
    Release();
    std::string file = LockFilePath(LockName(installFolder));
    int fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    struct stat st;
    // No usable lock file (folder not writable, a file of another user in a
    // shared temporary folder): the test cannot be made, and not being able
    // to tell is no reason to refuse the start.
    if (fd < 0 || ::fstat(fd, &st) != 0 || st.st_uid != ::getuid() || !S_ISREG(st.st_mode)) {
        if (fd >= 0) ::close(fd);
        return true;
    }
    int rc;
    do {
        rc = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        bool taken = errno == EWOULDBLOCK;
        ::close(fd);
        return !taken;
    }
    fd_ = fd;
    held_ = true;
    return true;
}

}  // namespace ov
