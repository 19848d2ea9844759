#include "archive/TargetFolder.h"

#include "OVShared/Platform/FileSystem.h"
#include "OVShared/Platform/WinSupport.h"

#include <algorithm>
#include <atomic>
#include <filesystem>

#include <sys/stat.h>
#include <sys/types.h>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
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

// Seconds since 1970 as a FILETIME (100 ns steps since 1601).
FILETIME FileTimeOf(std::int64_t seconds) {
    constexpr std::int64_t kEpochDifference = 11644473600;  // 1601 to 1970
    auto ticks = static_cast<std::uint64_t>((seconds + kEpochDifference) * 10000000);
    return {static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

}  // namespace

struct TargetFolder::Impl {
    fs::path root;
};

struct MemberOutput::Impl {
    fs::path temporary;
    fs::path finalPath;
    HANDLE file = INVALID_HANDLE_VALUE;
    bool committed = false;
    bool diskFull = false;
};

MemberOutput::MemberOutput(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

MemberOutput::~MemberOutput() {
    if (impl_->file != INVALID_HANDLE_VALUE) ::CloseHandle(impl_->file);
    if (!impl_->committed) ::DeleteFileW(impl_->temporary.c_str());
}

bool MemberOutput::Write(const char* data, std::size_t size) {
    while (size > 0) {
        DWORD part = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 20));
        DWORD written = 0;
        if (!::WriteFile(impl_->file, data, part, &written, nullptr) || written == 0) {
            DWORD error = ::GetLastError();
            impl_->diskFull = error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL;
            return false;
        }
        data += written;
        size -= written;
    }
    return true;
}

bool MemberOutput::Commit(std::int64_t mtime) {
    const FILETIME time = FileTimeOf(mtime);
    ::SetFileTime(impl_->file, nullptr, &time, &time);  // a file without its time is still good
    bool closed = ::CloseHandle(impl_->file) != 0;
    impl_->file = INVALID_HANDLE_VALUE;
    if (!closed || IsLink(impl_->finalPath)) return false;
    impl_->committed = ::MoveFileExW(impl_->temporary.c_str(), impl_->finalPath.c_str(),
                                     MOVEFILE_REPLACE_EXISTING) != 0;
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
    impl->file = ::CreateFileW(impl->temporary.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                               CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (impl->file == INVALID_HANDLE_VALUE) return nullptr;
    return std::make_unique<MemberOutput>(std::move(impl));
}

std::optional<std::uint64_t> TargetFolder::FreeBytes() const {
    std::error_code ec;
    auto space = fs::space(impl_->root, ec);
    if (ec) return std::nullopt;
    return space.available;
}

}  // namespace znt
