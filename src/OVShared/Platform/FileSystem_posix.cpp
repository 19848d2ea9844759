#include "OVShared/Platform/FileSystem.h"

#include "OVShared/Platform/AsciiText.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

namespace ov {
namespace {

bool StatPath(const std::string& p, struct stat& st) { return ::stat(p.c_str(), &st) == 0; }

bool Exists(const std::string& p) {
    struct stat st;
    return StatPath(p, st);
}

// The entry of folder whose name equals name without regard to case; empty when none.
std::string FindNoCase(const std::string& folder, std::string_view name) {
    DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
    if (!dir) return {};
    std::string found;
    while (dirent* e = ::readdir(dir)) {
        if (EqualsNoCase(e->d_name, name)) {
            found = e->d_name;
            break;
        }
    }
    ::closedir(dir);
    return found;
}

bool WriteAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

// Writes bytes into a fresh temporary file beside target, then renames it over target.
bool ReplaceWith(const std::string& target, const char* data, size_t size, mode_t mode) {
    std::string tmp = target + ".tmp-XXXXXX";
    int fd = ::mkstemp(tmp.data());
    if (fd < 0) return false;
    bool ok = WriteAll(fd, data, size) && ::fsync(fd) == 0;
    ::fchmod(fd, mode);
    ok = (::close(fd) == 0) && ok;
    if (ok && ::rename(tmp.c_str(), target.c_str()) == 0) return true;
    ::unlink(tmp.c_str());
    return false;
}

// Opens a regular file for reading. O_NONBLOCK keeps open() from waiting for
// a writer when the name is a FIFO (or a device that would block); the file
// type is then checked on the opened descriptor, so nothing can swap it in
// between. The flag is left set: it changes nothing for a regular file.
// -1 when the file cannot be opened or is not a regular file (errno EINVAL).
int OpenRegular(const std::string& native, struct stat& st) {
    int fd = ::open(native.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return -1;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        errno = EINVAL;
        return -1;
    }
    return fd;
}

}  // namespace

char PlatformSeparator() { return '/'; }

std::string NativePath(std::string_view path) {
    std::string converted(path);
    for (char& c : converted) {
        if (c == '\\') c = '/';
    }
    if (converted.empty() || Exists(converted)) return converted;

    // Walk the components; where one is missing, try it without regard to case.
    std::string result;
    size_t pos = 0;
    if (converted[0] == '/') {
        result = "/";
        pos = 1;
    }
    bool resolving = true;
    while (pos <= converted.size()) {
        size_t next = converted.find('/', pos);
        if (next == std::string::npos) next = converted.size();
        std::string part = converted.substr(pos, next - pos);
        if (!part.empty()) {
            std::string candidate = result + part;
            if (resolving && part != "." && part != ".." && !Exists(candidate)) {
                std::string match = FindNoCase(result.empty() ? "." : result, part);
                if (!match.empty()) {
                    candidate = result + match;
                } else {
                    resolving = false;
                }
            }
            result = candidate;
        }
        if (next < converted.size()) {
            if (result.empty() || result.back() != '/') result += '/';
        }
        pos = next + 1;
    }
    return result;
}

namespace {

// stat of the path NativePath names, asking the exact spelling first: the
// case-insensitive walk (and its second stat) is needed only when it misses.
bool StatNative(std::string_view path, struct stat& st) {
    std::string converted(path);
    for (char& c : converted) {
        if (c == '\\') c = '/';
    }
    if (StatPath(converted, st)) return true;
    if (converted.empty()) return false;
    std::string resolved = NativePath(converted);
    return resolved != converted && StatPath(resolved, st);
}

}  // namespace

bool IsRegularFile(std::string_view path) {
    struct stat st;
    return StatNative(path, st) && S_ISREG(st.st_mode);
}

bool IsDirectory(std::string_view path) {
    struct stat st;
    return StatNative(path, st) && S_ISDIR(st.st_mode);
}

std::optional<std::uint64_t> FileLength(std::string_view path) {
    struct stat st;
    if (!StatNative(path, st) || !S_ISREG(st.st_mode)) return std::nullopt;
    return static_cast<std::uint64_t>(st.st_size);
}

FileLengthReader::~FileLengthReader() {
    if (folderFd_ >= 0) ::close(folderFd_);
}

std::optional<std::uint64_t> FileLengthReader::Length(std::string_view path) {
    const std::size_t cut = path.find_last_of("\\/");
    if (cut == std::string_view::npos || cut + 1 == path.size()) return FileLength(path);
    const std::string_view folder = path.substr(0, cut);
    if (folder != folder_ || !tried_) {
        if (folderFd_ >= 0) ::close(folderFd_);
        tried_ = true;
        std::string native(folder);
        for (char& c : native) {
            if (c == '\\') c = '/';
        }
        folder_ = folder;
        folderFd_ = ::open(native.empty() ? "/" : native.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    }
    const std::string leaf(path.substr(cut + 1));
    struct stat st;
    if (folderFd_ < 0 || ::fstatat(folderFd_, leaf.c_str(), &st, 0) != 0) {
        return FileLength(path);  // another spelling on disk, or no file at all
    }
    if (!S_ISREG(st.st_mode)) return std::nullopt;
    return static_cast<std::uint64_t>(st.st_size);
}

RegularFile::RegularFile(std::string_view path) {
    std::string converted(path);
    for (char& c : converted) {
        if (c == '\\') c = '/';
    }
    // The exact spelling first: the case-insensitive walk is needed only when it misses.
    struct stat st;
    handle_ = OpenRegular(converted, st);
    if (handle_ < 0 && (errno == ENOENT || errno == ENOTDIR)) {
        std::string resolved = NativePath(converted);
        if (resolved != converted) handle_ = OpenRegular(resolved, st);
    }
    if (handle_ >= 0) length_ = static_cast<std::uint64_t>(st.st_size);
}

bool RegularFile::IsOpen() const { return handle_ >= 0; }

RegularFile::~RegularFile() {
    if (handle_ >= 0) ::close(handle_);
}

std::string RegularFile::ReadAt(std::uint64_t offset, std::uint64_t length) const {
    if (handle_ < 0 || offset >= length_) return {};
    std::string bytes(static_cast<size_t>(std::min(length, length_ - offset)), '\0');
    size_t got = 0;
    while (got < bytes.size()) {
        ssize_t n = ::pread(handle_, bytes.data() + got, bytes.size() - got,
                            static_cast<off_t>(offset + got));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += static_cast<size_t>(n);
    }
    bytes.resize(got);
    return bytes;
}

bool WriteFileAtomic(std::string_view path, std::string_view bytes) {
    return ReplaceWith(NativePath(path), bytes.data(), bytes.size(), 0644);
}

bool CopyFileReplacing(std::string_view from, std::string_view to) {
    struct stat st;
    int in = OpenRegular(NativePath(from), st);
    if (in < 0) return false;
    std::string target = NativePath(to);
    std::string tmp = target + ".tmp-XXXXXX";
    int out = ::mkstemp(tmp.data());
    if (out < 0) {
        int error = errno;
        ::close(in);
        errno = error;
        return false;
    }
    int error = 0;  // the first failure's errno, kept for LastFileError
    char buf[65536];
    for (;;) {
        ssize_t n = ::read(in, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 || (n > 0 && !WriteAll(out, buf, static_cast<size_t>(n)))) {
            error = errno;
            break;
        }
        if (n == 0) break;
    }
    ::close(in);
    // A replaced file keeps its permissions (an installed program stays
    // runnable whatever mode its archive gave the new copy).
    struct stat old;
    bool replacing = ::stat(target.c_str(), &old) == 0 && S_ISREG(old.st_mode);
    ::fchmod(out, (replacing ? old.st_mode : st.st_mode) & 07777);
    if (error == 0 && ::fsync(out) != 0) error = errno;
    if (::close(out) != 0 && error == 0) error = errno;
    if (error == 0 && ::rename(tmp.c_str(), target.c_str()) == 0) return true;
    if (error == 0) error = errno;
    ::unlink(tmp.c_str());
    errno = error;
    return false;
}

bool MoveFileReplacing(std::string_view from, std::string_view to) {
    std::string source = NativePath(from);
    std::string target = NativePath(to);
    struct stat st;
    if (::lstat(source.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    struct stat old;
    bool replacing = ::stat(target.c_str(), &old) == 0 && S_ISREG(old.st_mode);
    if (replacing && ::chmod(source.c_str(), old.st_mode & 07777) != 0) return false;
    if (::rename(source.c_str(), target.c_str()) == 0) return true;
    int error = errno;
    if (replacing) ::chmod(source.c_str(), st.st_mode & 07777);
    errno = error;
    return false;
}

namespace {

std::string ErrorText(int error) {
    std::string text = std::generic_category().message(error);
    if (!text.empty()) text[0] = AsciiLower(text[0]);
    return text;
}

std::string AppendOpenProblem(int error) {
    switch (error) {
    case ELOOP: return "is a link";
    case EISDIR: return "is a folder";
    case ENOENT: return "no such folder";
    default: return ErrorText(error);
    }
}

}  // namespace

// O_NONBLOCK: a FIFO put in the file's place fails at once instead of
// waiting for a reader. O_NOFOLLOW: a link in its place is refused.
bool AppendToFile(std::string_view path, std::string_view bytes, std::string* problem) {
    std::string why;
    int fd = ::open(NativePath(path).c_str(),
                    O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | O_NOFOLLOW,
                    0644);
    struct stat st;
    if (fd < 0) {
        why = AppendOpenProblem(errno);
    } else if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        why = "not a regular file";
    } else if (st.st_nlink > 1) {
        why = "has other names (hard link)";
    } else {
        ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n != static_cast<ssize_t>(bytes.size())) why = n < 0 ? ErrorText(errno) : "short write";
    }
    if (fd >= 0 && ::close(fd) != 0 && why.empty()) why = ErrorText(errno);
    if (problem) *problem = why;
    return why.empty();
}

bool RenameReplacing(std::string_view from, std::string_view to) {
    return ::rename(NativePath(from).c_str(), NativePath(to).c_str()) == 0;
}

bool ClearAttributes(std::string_view path) {
    std::string p = NativePath(path);
    struct stat st;
    if (!StatPath(p, st)) return false;
    return ::chmod(p.c_str(), (st.st_mode & 07777) | S_IRUSR | S_IWUSR) == 0;
}

bool RemoveFile(std::string_view path) {
    std::string p = NativePath(path);
    struct stat st;
    if (::lstat(p.c_str(), &st) != 0) return false;
    if (S_ISDIR(st.st_mode)) {
        errno = EISDIR;
        return false;
    }
    return ::unlink(p.c_str()) == 0;
}

bool CreateFolder(std::string_view path) {
    std::string p = NativePath(path);
    while (p.size() > 1 && p.back() == '/') p.pop_back();
    if (::mkdir(p.c_str(), 0755) == 0) return true;
    struct stat st;
    return StatPath(p, st) && S_ISDIR(st.st_mode);
}

bool RemoveEmptyFolder(std::string_view path) {
    std::string p = NativePath(path);
    while (p.size() > 1 && p.back() == '/') p.pop_back();
    return ::rmdir(p.c_str()) == 0;
}

bool LinkBelow(std::string_view root, std::string_view folder) {
    std::string base = NativePath(root);
    std::string p = NativePath(folder);
    while (base.size() > 1 && base.back() == '/') base.pop_back();
    while (p.size() > 1 && p.back() == '/') p.pop_back();
    if (p.size() <= base.size() || p.compare(0, base.size(), base) != 0 || p[base.size()] != '/') {
        return false;
    }
    for (size_t at = base.size() + 1; at <= p.size(); ++at) {
        if (at < p.size() && p[at] != '/') continue;
        struct stat st;
        if (::lstat(p.substr(0, at).c_str(), &st) != 0) return false;
        if (S_ISLNK(st.st_mode)) return true;
    }
    return false;
}

bool MakeRealFolder(std::string_view path) {
    std::string p = NativePath(path);
    while (p.size() > 1 && p.back() == '/') p.pop_back();
    struct stat st;
    if (::lstat(p.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) ::unlink(p.c_str());
    CreateFolderChain(p);
    return ::lstat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string LastErrorText() { return ErrorText(errno); }

std::vector<std::string> MatchFiles(std::string_view folder, std::string_view pattern) {
    std::vector<std::string> out;
    std::string dirPath = NativePath(folder);
    while (dirPath.size() > 1 && dirPath.back() == '/') dirPath.pop_back();
    DIR* dir = ::opendir(dirPath.empty() ? "." : dirPath.c_str());
    if (!dir) return out;
    while (dirent* e = ::readdir(dir)) {
        std::string name = e->d_name;
        if (name == "." || name == "..") continue;
        if (!WildcardMatch(pattern, name)) continue;
        std::string full = (dirPath == "/" ? "" : dirPath) + "/" + name;
        struct stat st;
        if (::lstat(full.c_str(), &st) == 0 && !S_ISDIR(st.st_mode)) out.push_back(full);
    }
    ::closedir(dir);
    return out;
}

std::string ExecutablePath() {
    char buf[4096];
    ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return {};
    return std::string(buf, static_cast<size_t>(n));
}

std::string SystemTempFolder() {
    const char* t = std::getenv("TMPDIR");
    std::string dir = (t && *t) ? t : "/tmp";
    while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    return dir;
}

namespace {

bool SyncOpened(const std::string& native, int flags) {
    int fd = ::open(native.c_str(), flags | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return false;
    bool ok = ::fsync(fd) == 0;
    return (::close(fd) == 0) && ok;
}

}  // namespace

bool SyncFilesBelow(std::string_view folder) {
    // Every file first starts its writing, then each is flushed: the first
    // flush commits the file system's journal for all of them, so the later
    // ones find little to do, and nothing else on the volume is waited for.
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path root(NativePath(folder));
    if (!fs::is_directory(fs::symlink_status(root, ec))) return false;
    std::vector<fs::path> files;
    std::vector<fs::path> folders{root};
    for (fs::recursive_directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec)) {
        const fs::file_type type = it->symlink_status(ec).type();
        if (type == fs::file_type::regular) files.push_back(it->path());
        if (type == fs::file_type::directory) folders.push_back(it->path());
    }
    if (ec) return false;
#ifdef SYNC_FILE_RANGE_WRITE
    for (const fs::path& file : files) {
        int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
        if (fd < 0) continue;  // the flush below reports it
        ::sync_file_range(fd, 0, 0, SYNC_FILE_RANGE_WRITE);
        ::close(fd);
    }
#endif
    bool ok = true;
    for (const fs::path& file : files) ok = SyncOpened(file.string(), O_RDONLY | O_NOFOLLOW) && ok;
    for (const fs::path& dir : folders) ok = SyncOpened(dir.string(), O_RDONLY | O_DIRECTORY) && ok;
    return ok;
}

bool SyncFolder(std::string_view path) {
    return SyncOpened(NativePath(path), O_RDONLY | O_DIRECTORY);
}

}  // namespace ov

namespace ov {

std::string LastFileError() { return ErrnoText(errno); }

}  // namespace ov
