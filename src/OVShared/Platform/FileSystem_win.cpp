// The file-system boundary over the wide Win32 API. Files are opened with
// read, write and delete sharing, so that reading a file never stops another
// program from replacing it.

#include "OVShared/Platform/FileSystem.h"

#include "OVShared/Platform/WinSupport.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <cerrno>
#include <vector>

namespace ov {
namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr DWORD kChunk = 1u << 16;

std::wstring Wide(std::string_view path) { return Widen(NativePath(path)); }

// Closes the handle when it goes.
class Handle {
public:
    explicit Handle(HANDLE h = INVALID_HANDLE_VALUE) : h_(h) {}
    ~Handle() { Close(); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    HANDLE get() const { return h_; }
    bool valid() const { return h_ != INVALID_HANDLE_VALUE && h_ != nullptr; }
    bool Close() {
        bool ok = !valid() || CloseHandle(h_);
        h_ = INVALID_HANDLE_VALUE;
        return ok;
    }

private:
    HANDLE h_;
};

bool Attributes(const std::wstring& path, WIN32_FILE_ATTRIBUTE_DATA& data) {
    return GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) != 0;
}

DWORD AttributesOf(const std::wstring& path) { return GetFileAttributesW(path.c_str()); }

// Opens a file for reading; only a file on a disk is kept (a folder, a pipe,
// a console or a device such as NUL is closed again at once).
HANDLE OpenDiskFile(const std::wstring& path, DWORD access) {
    HANDLE h = CreateFileW(path.c_str(), access, kShareAll, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return h;
    BY_HANDLE_FILE_INFORMATION info;
    if (GetFileType(h) != FILE_TYPE_DISK || !GetFileInformationByHandle(h, &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        CloseHandle(h);
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    return h;
}

bool WriteAll(HANDLE h, const char* data, size_t size) {
    while (size > 0) {
        DWORD part = static_cast<DWORD>(std::min<size_t>(size, kChunk));
        DWORD written = 0;
        if (!WriteFile(h, data, part, &written, nullptr) || written == 0) return false;
        data += written;
        size -= written;
    }
    return true;
}

// A new, empty file beside target with a name no other writer uses.
HANDLE CreateTemporaryBeside(const std::wstring& target, std::wstring& name) {
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 16; ++attempt) {
        name = target + L".tmp-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
               std::to_wstring(++counter) + L"-" + std::to_wstring(GetTickCount());
        HANDLE h = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_EXISTS) return h;
    }
    return INVALID_HANDLE_VALUE;
}

// Renames source over target (written through to the disk, never copied to
// another volume) and gives it attributes. A read-only target is replaced as
// on POSIX: its flag is cleared for the rename and put back when the rename
// fails; source then stays where it is.
bool RenameOver(const std::wstring& source, const std::wstring& target, DWORD attributes) {
    DWORD old = AttributesOf(target);
    bool readOnly = old != INVALID_FILE_ATTRIBUTES && (old & FILE_ATTRIBUTE_READONLY);
    if (readOnly) SetFileAttributesW(target.c_str(), old & ~FILE_ATTRIBUTE_READONLY);
    if (!MoveFileExW(source.c_str(), target.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DWORD error = GetLastError();
        if (readOnly) SetFileAttributesW(target.c_str(), old);
        SetLastError(error);
        return false;
    }
    if (attributes != FILE_ATTRIBUTE_NORMAL) SetFileAttributesW(target.c_str(), attributes);
    return true;
}

// The same for a temporary, which goes when it cannot be renamed.
bool MoveIntoPlace(const std::wstring& temporary, const std::wstring& target, DWORD attributes) {
    if (RenameOver(temporary, target, attributes)) return true;
    DeleteFileW(temporary.c_str());
    return false;
}

// Writes bytes (or the rest of `from`) into a fresh temporary beside target,
// flushes it and renames it over target.
bool ReplaceWith(const std::wstring& target, std::string_view bytes, HANDLE from,
                 DWORD attributes) {
    std::wstring temporary;
    Handle out(CreateTemporaryBeside(target, temporary));
    if (!out.valid()) return false;
    bool ok = WriteAll(out.get(), bytes.data(), bytes.size());
    std::vector<char> buffer(from != INVALID_HANDLE_VALUE ? kChunk : 0);
    while (ok && from != INVALID_HANDLE_VALUE) {
        DWORD got = 0;
        if (!ReadFile(from, buffer.data(), kChunk, &got, nullptr)) ok = false;
        if (got == 0) break;
        ok = ok && WriteAll(out.get(), buffer.data(), got);
    }
    ok = ok && FlushFileBuffers(out.get());
    ok = out.Close() && ok;
    if (!ok) {
        DeleteFileW(temporary.c_str());
        return false;
    }
    return MoveIntoPlace(temporary, target, attributes);
}

std::wstring WithoutTrailingSeparators(std::wstring path) {
    // "C:\" and "\" keep theirs: without it they name something else.
    while (path.size() > 1 && (path.back() == L'\\' || path.back() == L'/') &&
           !(path.size() == 3 && path[1] == L':')) {
        path.pop_back();
    }
    return path;
}

// Flushes every file below folder (the part of the volume a caller staged).
bool FlushTree(const std::wstring& folder, int depth) {
    if (depth > 64) return false;
    WIN32_FIND_DATAW entry;
    HANDLE find = FindFirstFileExW((folder + L"\\*").c_str(), FindExInfoBasic, &entry,
                                   FindExSearchNameMatch, nullptr, 0);
    if (find == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND;
    bool ok = true;
    do {
        std::wstring name = entry.cFileName;
        if (name == L"." || name == L"..") continue;
        std::wstring full = folder + L"\\" + name;
        // Links are not ours to flush; read-only files were flushed before
        // they were made read-only (CopyFileReplacing flushes every copy).
        if (entry.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_READONLY)) {
            continue;
        }
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            ok = FlushTree(full, depth + 1) && ok;
            continue;
        }
        Handle h(CreateFileW(full.c_str(), GENERIC_WRITE, kShareAll, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr));
        ok = h.valid() && FlushFileBuffers(h.get()) && ok;
    } while (FindNextFileW(find, &entry));
    FindClose(find);
    return ok;
}

}  // namespace

char PlatformSeparator() { return '\\'; }

std::string NativePath(std::string_view path) {
    std::string converted(path);
    std::replace(converted.begin(), converted.end(), '/', '\\');
    return converted;
}

bool IsRegularFile(std::string_view path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    return Attributes(Wide(path), data) && !(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsDirectory(std::string_view path) {
    DWORD attributes = AttributesOf(Wide(path));
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::optional<std::uint64_t> FileLength(std::string_view path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!Attributes(Wide(path), data) || (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        return std::nullopt;
    }
    return (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

RegularFile::RegularFile(std::string_view path) {
    HANDLE h = OpenDiskFile(Wide(path), GENERIC_READ);
    LARGE_INTEGER size;
    if (h == INVALID_HANDLE_VALUE) return;
    if (!GetFileSizeEx(h, &size)) {
        CloseHandle(h);
        return;
    }
    handle_ = h;
    length_ = static_cast<std::uint64_t>(size.QuadPart);
}

bool RegularFile::IsOpen() const { return handle_ != nullptr; }

RegularFile::~RegularFile() {
    if (handle_) CloseHandle(static_cast<HANDLE>(handle_));
}

std::string RegularFile::ReadAt(std::uint64_t offset, std::uint64_t length) const {
    if (!handle_ || offset >= length_) return {};
    std::string bytes(static_cast<size_t>(std::min(length, length_ - offset)), '\0');
    size_t got = 0;
    while (got < bytes.size()) {
        // The offset goes with each read, so no shared file position is used.
        OVERLAPPED at = {};
        std::uint64_t position = offset + got;
        at.Offset = static_cast<DWORD>(position);
        at.OffsetHigh = static_cast<DWORD>(position >> 32);
        DWORD part = static_cast<DWORD>(std::min<size_t>(bytes.size() - got, 1u << 30));
        DWORD n = 0;
        if (!ReadFile(static_cast<HANDLE>(handle_), bytes.data() + got, part, &n, &at) || n == 0) {
            break;
        }
        got += n;
    }
    bytes.resize(got);
    return bytes;
}

bool WriteFileAtomic(std::string_view path, std::string_view bytes) {
    return ReplaceWith(Wide(path), bytes, INVALID_HANDLE_VALUE, FILE_ATTRIBUTE_NORMAL);
}

bool CopyFileReplacing(std::string_view from, std::string_view to) {
    std::wstring source = Wide(from);
    Handle in(OpenDiskFile(source, GENERIC_READ));
    if (!in.valid()) return false;
    std::wstring target = Wide(to);
    // A replaced file keeps its attributes; a new one takes the source's.
    DWORD attributes = AttributesOf(target);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        attributes = AttributesOf(source);
    }
    if (attributes == INVALID_FILE_ATTRIBUTES) attributes = FILE_ATTRIBUTE_NORMAL;
    return ReplaceWith(target, {}, in.get(), attributes);
}

bool MoveFileReplacing(std::string_view from, std::string_view to) {
    std::wstring source = Wide(from);
    std::wstring target = Wide(to);
    DWORD own = AttributesOf(source);
    if (own == INVALID_FILE_ATTRIBUTES || (own & FILE_ATTRIBUTE_DIRECTORY)) return false;
    // A replaced file keeps its attributes; a new one takes the file's own.
    DWORD attributes = AttributesOf(target);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        attributes = own;
    }
    return RenameOver(source, target, attributes);
}

namespace {

std::string ErrorText(DWORD error) {
    switch (error) {
    case ERROR_ACCESS_DENIED: return "permission denied";
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION: return "in use";
    case ERROR_FILE_NOT_FOUND: return "no such file";
    case ERROR_PATH_NOT_FOUND: return "no such folder";
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return "no space left on device";
    case ERROR_WRITE_PROTECT: return "read-only file system";
    case ERROR_CANT_ACCESS_FILE: return "is a link";
    default: return "system error " + std::to_string(error);
    }
}

}  // namespace

bool AppendToFile(std::string_view path, std::string_view bytes, std::string* problem) {
    // FILE_APPEND_DATA alone: every write goes to the end, whoever else writes.
    // FILE_FLAG_OPEN_REPARSE_POINT opens a link itself, which is then refused.
    std::wstring wide = Wide(path);
    Handle h(CreateFileW(wide.c_str(), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                         kShareAll, nullptr, OPEN_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    std::string why;
    BY_HANDLE_FILE_INFORMATION info;
    if (!h.valid()) {
        DWORD error = GetLastError();
        DWORD attributes = AttributesOf(wide);
        why = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)
                  ? "is a folder"
                  : ErrorText(error);
    } else if (GetFileType(h.get()) != FILE_TYPE_DISK ||
               !GetFileInformationByHandle(h.get(), &info) ||
               (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        why = "not a regular file";
    } else if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        why = "is a link";
    } else if (info.nNumberOfLinks > 1) {
        why = "has other names (hard link)";
    } else if (bytes.size() > MAXDWORD) {
        why = "too long";
    } else {
        DWORD written = 0;
        if (!WriteFile(h.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                       nullptr)) {
            why = ErrorText(GetLastError());
        } else if (written != bytes.size()) {
            why = "short write";
        }
    }
    if (!h.Close() && why.empty()) why = ErrorText(GetLastError());
    if (problem) *problem = why;
    return why.empty();
}

bool RenameReplacing(std::string_view from, std::string_view to) {
    return MoveFileExW(Wide(from).c_str(), Wide(to).c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

bool ClearAttributes(std::string_view path) {
    return SetFileAttributesW(Wide(path).c_str(), FILE_ATTRIBUTE_NORMAL) != 0;
}

bool RemoveFile(std::string_view path) { return DeleteFileW(Wide(path).c_str()) != 0; }

bool CreateFolder(std::string_view path) {
    std::wstring p = WithoutTrailingSeparators(Wide(path));
    if (CreateDirectoryW(p.c_str(), nullptr)) return true;
    DWORD attributes = AttributesOf(p);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool RemoveEmptyFolder(std::string_view path) {
    return RemoveDirectoryW(WithoutTrailingSeparators(Wide(path)).c_str()) != 0;
}

bool LinkBelow(std::string_view root, std::string_view folder) {
    std::wstring base = WithoutTrailingSeparators(Wide(root));
    std::wstring p = WithoutTrailingSeparators(Wide(folder));
    if (p.size() <= base.size() ||
        CompareStringOrdinal(p.c_str(), static_cast<int>(base.size()), base.c_str(),
                             static_cast<int>(base.size()), TRUE) != CSTR_EQUAL ||
        p[base.size()] != L'\\') {
        return false;
    }
    for (size_t at = base.size() + 1; at <= p.size(); ++at) {
        if (at < p.size() && p[at] != L'\\') continue;
        DWORD attributes = AttributesOf(p.substr(0, at));
        if (attributes == INVALID_FILE_ATTRIBUTES) return false;
        if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return true;
    }
    return false;
}

bool MakeRealFolder(std::string_view path) {
    std::wstring p = WithoutTrailingSeparators(Wide(path));
    DWORD attributes = AttributesOf(p);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        // A junction or folder link goes with RemoveDirectory, a file link
        // with DeleteFile; neither touches what it names.
        if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
            RemoveDirectoryW(p.c_str());
        } else {
            DeleteFileW(p.c_str());
        }
    }
    CreateFolderChain(Narrow(p));
    attributes = AttributesOf(p);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
           !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

std::string LastErrorText() { return ErrorText(GetLastError()); }

std::vector<std::string> MatchFiles(std::string_view folder, std::string_view pattern) {
    // Every name is listed and matched here: the system's own matching also
    // tries the short 8.3 names ("*.htm" would find "page.html").
    std::vector<std::string> out;
    std::wstring dir = WithoutTrailingSeparators(Wide(folder));
    std::wstring prefix = dir.empty() ? L"" : (dir.back() == L'\\' ? dir : dir + L"\\");
    WIN32_FIND_DATAW entry;
    HANDLE find = FindFirstFileExW((prefix + L"*").c_str(), FindExInfoBasic, &entry,
                                   FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (find == INVALID_HANDLE_VALUE) return out;
    do {
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        std::string name = Narrow(entry.cFileName);
        if (WildcardMatch(pattern, name)) out.push_back(Narrow(prefix) + name);
    } while (FindNextFileW(find, &entry));
    FindClose(find);
    return out;
}

std::string ExecutablePath() {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0) return {};
        if (n < buffer.size()) return Narrow(std::wstring_view(buffer.data(), n));
        if (buffer.size() >= 32768) return {};  // longer than any Windows path
        buffer.resize(buffer.size() * 2);
    }
}

std::string SystemTempFolder() {
    DWORD n = GetTempPathW(0, nullptr);
    if (n == 0) return {};
    std::vector<wchar_t> buffer(n + 1, L'\0');
    DWORD got = GetTempPathW(static_cast<DWORD>(buffer.size()), buffer.data());
    if (got == 0 || got >= buffer.size()) return {};
    return Narrow(WithoutTrailingSeparators(std::wstring(buffer.data(), got)));
}

FileLengthReader::~FileLengthReader() = default;

// Windows opens no folder for it: each file is asked by its whole path.
std::optional<std::uint64_t> FileLengthReader::Length(std::string_view path) {
    return FileLength(path);
}

bool SyncFilesBelow(std::string_view folder) {
    std::wstring dir = WithoutTrailingSeparators(Wide(folder));
    return IsDirectory(folder) && FlushTree(dir, 0);
}

bool SyncFolder(std::string_view path) {
    std::wstring dir = WithoutTrailingSeparators(Wide(path));
    if (!IsDirectory(path)) return false;
    // A folder opens for writing only with backup semantics, and not on every
    // system; the renames that matter were written through already.
    Handle h(CreateFileW(dir.c_str(), GENERIC_READ | GENERIC_WRITE, kShareAll, nullptr,
                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (h.valid()) FlushFileBuffers(h.get());
    return true;
}

std::string LastFileError() {
    switch (GetLastError()) {
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return "no space left on device";
    case ERROR_ACCESS_DENIED: return "permission denied";
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION: return "file in use";
    case ERROR_WRITE_PROTECT: return "read-only file system";
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: return "no such file or folder";
    default: return ErrnoText(errno);
    }
}

}  // namespace ov
