#include "archive/TargetFolder.h"

#include "OVShared/Platform/FileSystem.h"

#include <atomic>
#include <cerrno>
#include <cstdint>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace znt {
namespace {

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

// Written data is handed to the disk in steps of this size while a member is
// extracted, so that the flush an install makes before it places its files
// finds little left to write.
constexpr std::uint64_t kWritebackStep = 8u << 20;

// Owns one descriptor.
class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd() { Reset(); }
    Fd(Fd&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
    Fd& operator=(Fd&& other) noexcept {
        if (this != &other) {
            Reset();
            fd_ = other.fd_;
            other.fd_ = -1;
        }
        return *this;
    }
    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    int release() {
        int fd = fd_;
        fd_ = -1;
        return fd;
    }
    void Reset() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

private:
    int fd_;
};

Fd OpenChild(int parent, const std::string& name, bool create) {
    Fd fd(::openat(parent, name.c_str(), kFolderFlags));
    if (fd.valid() || !create || errno != ENOENT) return fd;
    if (::mkdirat(parent, name.c_str(), 0777) != 0 && errno != EEXIST) return Fd();
    return Fd(::openat(parent, name.c_str(), kFolderFlags));
}

// Opens the folder made of the first `count` components, without following links.
Fd OpenFolders(int root, const MemberPath& path, size_t count, bool create) {
    Fd current(::fcntl(root, F_DUPFD_CLOEXEC, 0));
    for (size_t i = 0; i < count && current.valid(); ++i) {
        current = OpenChild(current.get(), path[i], create);
    }
    return current;
}

std::string TemporaryName() {
    static std::atomic<unsigned> counter{0};
    return ".znt-" + std::to_string(::getpid()) + "-" + std::to_string(++counter) + ".part";
}

}  // namespace

struct TargetFolder::Impl {
    Fd root;
};

struct MemberOutput::Impl {
    Fd folder;
    Fd file;
    std::string temporary;
    std::string finalName;
    bool committed = false;
    bool diskFull = false;
    std::uint64_t written = 0;
    std::uint64_t handedOver = 0;  // bytes whose writing to the disk has been started
};

namespace {

// Starts writing what the member has gained since the last step, without
// waiting for it (where the system offers that).
void StartWriteback(MemberOutput::Impl& out) {
#ifdef SYNC_FILE_RANGE_WRITE
    if (out.written - out.handedOver < kWritebackStep) return;
    ::sync_file_range(out.file.get(), static_cast<off_t>(out.handedOver),
                      static_cast<off_t>(out.written - out.handedOver), SYNC_FILE_RANGE_WRITE);
    out.handedOver = out.written;
#else
    (void)out;
#endif
}

}  // namespace

MemberOutput::MemberOutput(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

MemberOutput::~MemberOutput() {
    if (impl_->committed) return;
    impl_->file.Reset();
    ::unlinkat(impl_->folder.get(), impl_->temporary.c_str(), 0);
}

bool MemberOutput::Write(const char* data, std::size_t size) {
    while (size > 0) {
        ssize_t n = ::write(impl_->file.get(), data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            impl_->diskFull = n < 0 && (errno == ENOSPC || errno == EDQUOT);
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
        impl_->written += static_cast<std::uint64_t>(n);
    }
    StartWriteback(*impl_);
    return true;
}

bool MemberOutput::Commit(std::int64_t mtime) {
    const timespec times[2] = {{static_cast<time_t>(mtime), 0}, {static_cast<time_t>(mtime), 0}};
    ::futimens(impl_->file.get(), times);  // a file without its time is still a good file
    if (::close(impl_->file.release()) != 0) return false;
    int dir = impl_->folder.get();
    if (::renameat(dir, impl_->temporary.c_str(), dir, impl_->finalName.c_str()) != 0) return false;
    impl_->committed = true;
    return true;
}

bool MemberOutput::DiskFull() const { return impl_->diskFull; }

std::unique_ptr<TargetFolder> TargetFolder::Open(std::string_view folder) {
    std::string native = ov::NativePath(folder);
    if (native.empty()) return nullptr;
    ov::CreateFolderChain(native);
    auto impl = std::make_unique<Impl>();
    impl->root = Fd(::open(native.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!impl->root.valid()) return nullptr;
    return std::make_unique<TargetFolder>(std::move(impl));
}

TargetFolder::TargetFolder(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
TargetFolder::~TargetFolder() = default;

ExistingEntry TargetFolder::Stat(const MemberPath& path) const {
    ExistingEntry entry;
    if (path.empty()) return entry;
    Fd folder = OpenFolders(impl_->root.get(), path, path.size() - 1, false);
    struct stat st {};
    if (!folder.valid() ||
        ::fstatat(folder.get(), path.back().c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        return entry;
    }
    entry.exists = true;
    entry.isFolder = S_ISDIR(st.st_mode);
    entry.mtime = st.st_mtime;
    return entry;
}

bool TargetFolder::MakeFolders(const MemberPath& path) {
    return OpenFolders(impl_->root.get(), path, path.size(), true).valid();
}

std::unique_ptr<MemberOutput> TargetFolder::Begin(const MemberPath& path) {
    if (path.empty()) return nullptr;
    auto impl = std::make_unique<MemberOutput::Impl>();
    impl->folder = OpenFolders(impl_->root.get(), path, path.size() - 1, true);
    if (!impl->folder.valid()) return nullptr;
    impl->finalName = path.back();
    for (int attempt = 0; attempt < 10 && !impl->file.valid(); ++attempt) {
        impl->temporary = TemporaryName();
        impl->file = Fd(::openat(impl->folder.get(), impl->temporary.c_str(),
                                 O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
    }
    if (!impl->file.valid()) return nullptr;
    return std::make_unique<MemberOutput>(std::move(impl));
}

std::optional<std::uint64_t> TargetFolder::FreeBytes() const {
    struct statvfs vfs {};
    if (::fstatvfs(impl_->root.get(), &vfs) != 0) return std::nullopt;
    return static_cast<std::uint64_t>(vfs.f_bavail) * vfs.f_frsize;
}

}  // namespace znt
