#include "archive/TargetFolder.h"

#include "OVShared/Platform/FileSystem.h"
#include "OVShared/Platform/WinSupport.h"

#include <atomic>
#include <filesystem>
#include <fstream>

#include <sys/stat.h>
#include <sys/types.h>
#include <sys/utime.h>
#include <windows.h>

namespace fs = std::filesystem;

namespace znt {
namespace {

// A reparse point (link or junction) is never entered or written through.
bool IsLink(const fs::path& p) {
    DWORD attributes = ::GetFileAttributesW(p.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

bool WalkFolders(fs::path& current, const MemberPath& path, size_t count, bool create) {
    for (size_t i = 0; i < count; ++i) {
        current /= fs::path(ov::Widen(path[i]));
        std::error_code ec;
        if (IsLink(current)) return false;
        if (create && !fs::exists(current, ec)) fs::create_directory(current, ec);
        if (!fs::is_directory(current, ec)) return false;
    }
    return true;
}

std::string TemporaryName() {
    static std::atomic<unsigned> counter{0};
    return ".znt-" + std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(++counter) +
           ".part";
}

}  // namespace

struct TargetFolder::Impl {
    fs::path root;
};

struct MemberOutput::Impl {
    fs::path temporary;
    fs::path finalPath;
    std::ofstream file;
    bool committed = false;
    bool diskFull = false;
};

MemberOutput::MemberOutput(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

MemberOutput::~MemberOutput() {
    if (impl_->committed) return;
    impl_->file.close();
    std::error_code ec;
    fs::remove(impl_->temporary, ec);
}

bool MemberOutput::Write(const char* data, std::size_t size) {
    impl_->file.write(data, static_cast<std::streamsize>(size));
    impl_->diskFull = !impl_->file;
    return static_cast<bool>(impl_->file);
}

bool MemberOutput::Commit(std::int64_t mtime) {
    impl_->file.close();
    if (!impl_->file || IsLink(impl_->finalPath)) return false;
    _utimbuf times{static_cast<time_t>(mtime), static_cast<time_t>(mtime)};
    ::_wutime(impl_->temporary.c_str(), &times);
    std::error_code ec;
    fs::rename(impl_->temporary, impl_->finalPath, ec);
    impl_->committed = !ec;
    return impl_->committed;
}

bool MemberOutput::DiskFull() const { return impl_->diskFull; }

std::unique_ptr<TargetFolder> TargetFolder::Open(std::string_view folder) {
    std::string native = ov::NativePath(folder);
    ov::CreateFolderChain(native);
    if (native.empty() || !ov::IsDirectory(native)) return nullptr;
    auto impl = std::make_unique<Impl>();
    impl->root = fs::path(ov::Widen(native));
    return std::make_unique<TargetFolder>(std::move(impl));
}

TargetFolder::TargetFolder(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
TargetFolder::~TargetFolder() = default;

ExistingEntry TargetFolder::Stat(const MemberPath& path) const {
    ExistingEntry entry;
    fs::path p = impl_->root;
    if (path.empty() || !WalkFolders(p, path, path.size() - 1, false)) return entry;
    p /= fs::path(ov::Widen(path.back()));
    std::error_code ec;
    auto status = fs::symlink_status(p, ec);
    if (ec || !fs::exists(status)) return entry;
    entry.exists = true;
    entry.isFolder = fs::is_directory(status);
    struct _stat64 st {};
    if (::_wstat64(p.c_str(), &st) == 0) entry.mtime = st.st_mtime;
    return entry;
}

bool TargetFolder::MakeFolders(const MemberPath& path) {
    fs::path p = impl_->root;
    return WalkFolders(p, path, path.size(), true);
}

std::unique_ptr<MemberOutput> TargetFolder::Begin(const MemberPath& path) {
    fs::path folder = impl_->root;
    if (path.empty() || !WalkFolders(folder, path, path.size() - 1, true)) return nullptr;
    auto impl = std::make_unique<MemberOutput::Impl>();
    impl->finalPath = folder / fs::path(ov::Widen(path.back()));
    impl->temporary = folder / TemporaryName();
    impl->file.open(impl->temporary, std::ios::binary | std::ios::trunc);
    if (!impl->file) return nullptr;
    return std::make_unique<MemberOutput>(std::move(impl));
}

std::optional<std::uint64_t> TargetFolder::FreeBytes() const {
    std::error_code ec;
    auto space = fs::space(impl_->root, ec);
    if (ec) return std::nullopt;
    return space.available;
}

}  // namespace znt
