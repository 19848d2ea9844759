#pragma once

// File-system boundary. The program builds paths as text with "\" between
// folder names (as its catalogues and installations do); every routine here
// accepts such paths, mixed with "/" as well, and converts them to the
// platform's form. On POSIX a component that does not exist with its exact
// spelling is looked up without regard to case, because installations mix
// "Languages" and "languages". Windows file names ignore case already; there
// paths are UTF-8 here and wide at the Win32 boundary.
//
// Where the platforms differ: Windows refuses to replace or delete a file
// that another program holds open without delete sharing (RemoveFile and
// the replacing writes then fail and the old file stays), and a read-only
// file cannot be deleted before ClearAttributes. POSIX has neither limit.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ov {

// Converts "\" and "/" to the platform separator and resolves each existing
// component case-insensitively where the exact name misses. Components that
// do not exist at all are kept as given (so the result can name a new file).
std::string NativePath(std::string_view path);

// True for a path separator of either kind.
inline bool IsSeparator(char c) { return c == '\\' || c == '/'; }

bool IsRegularFile(std::string_view path);
bool IsDirectory(std::string_view path);

// Length in bytes of a regular file; nothing when it cannot be read.
std::optional<std::uint64_t> FileLength(std::string_view path);

// FileLength for many files that share a few folders: the folder of the last
// file stays open and the next file in it is asked by name, so the system
// walks each folder's path once instead of once a file. Same answers as
// FileLength; the folders are taken not to move while it lives.
class FileLengthReader {
public:
    FileLengthReader() = default;
    ~FileLengthReader();
    FileLengthReader(const FileLengthReader&) = delete;
    FileLengthReader& operator=(const FileLengthReader&) = delete;

    std::optional<std::uint64_t> Length(std::string_view path);

private:
    std::string folder_;  // the last folder asked for, as the path spelled it
    bool tried_ = false;  // whether folder_ was opened (folderFd_ -1: it could not be)
    int folderFd_ = -1;
};

// Reads a whole regular file. Nothing when it cannot be opened, is larger than
// maxBytes, or is no regular file (a FIFO or a device is refused at once).
std::optional<std::string> ReadWholeFile(std::string_view path, std::uint64_t maxBytes = 64u << 20);

// A regular file open for reads at any offset, for readers that need only a
// few parts of a large file. Folders, FIFOs and devices are refused at once;
// a name that misses with its exact spelling is found as NativePath finds it.
class RegularFile {
public:
    explicit RegularFile(std::string_view path);
    ~RegularFile();
    RegularFile(const RegularFile&) = delete;
    RegularFile& operator=(const RegularFile&) = delete;

    bool IsOpen() const;
    // Length when opened.
    std::uint64_t Length() const { return length_; }
    // Up to length bytes from offset; fewer where the file ends or a read fails.
    std::string ReadAt(std::uint64_t offset, std::uint64_t length) const;

private:
#ifdef _WIN32
    void* handle_ = nullptr;
#else
    int handle_ = -1;
#endif
    std::uint64_t length_ = 0;
};

// Writes through a temporary file in the same folder and renames it into
// place, so the target is either the old or the new content, never half.
bool WriteFileAtomic(std::string_view path, std::string_view bytes);

// Copies a regular file (a FIFO or a device is refused at once); the target
// is replaced only once the copy is complete and flushed to the disk, so a
// power loss leaves the old or the new file, never a cut one. A replaced target keeps its
// permission bits (Windows: attributes); a new one takes the source's.
// On failure the system's error is left for LastFileError.
bool CopyFileReplacing(std::string_view from, std::string_view to);

// Renames a file over to in one step, when both lie on one volume: a
// replaced target's permission bits (Windows: attributes) stay, a new one
// takes the file's own. False when it cannot be renamed there (another
// volume, a target in use, no permission): from and to are then as they
// were, and the caller copies instead. The file's bytes are not flushed
// here; the rename itself is (Windows: write-through).
bool MoveFileReplacing(std::string_view from, std::string_view to);

// A short lower-case phrase for a C library error number: "no space left on
// device", "permission denied".
std::string ErrnoText(int error);
// The same for the error the last failed file call of this thread left
// (errno here, the thread's last Windows error there).
std::string LastFileError();

// Appends bytes to a regular file (created when missing) with one write to
// a file opened for appending, so lines of concurrent writers never mix. A
// FIFO or a device is refused at once, and so are a link in the file's place
// (it is never followed) and a file with other names (hard links), which
// could lie anywhere. False when not all bytes went out; problem, when
// given, then says why in a few words ("is a folder", "no space left on
// device"). Appending no bytes tests whether the file can be written.
bool AppendToFile(std::string_view path, std::string_view bytes, std::string* problem = nullptr);

// True when name is a temporary that a replacing write of target (the two
// above, FileOps::Replace) makes beside it: target's name, ".tmp-" and the
// write's own suffix. Case is ignored in target's part.
bool IsReplaceTemporaryOf(std::string_view name, std::string_view target);

// Deletes the temporaries that replacing writes of path left beside it when
// they were cut short (the process killed, the power lost); the count.
int RemoveReplaceLeftovers(std::string_view path);

// Renames a file, replacing a file of the target name.
bool RenameReplacing(std::string_view from, std::string_view to);

// Makes a file writable by its owner ("normal attributes").
bool ClearAttributes(std::string_view path);

// Deletes one file (not a folder).
bool RemoveFile(std::string_view path);

// Creates one folder level; true when it exists afterwards.
bool CreateFolder(std::string_view path);

// Creates the folder and every missing parent.
bool CreateFolderChain(std::string_view path);

// Removes a folder only when it is empty.
bool RemoveEmptyFolder(std::string_view path);

// True when a component of folder below root (folder itself included, root
// and what lies above it not) is a symbolic link (Windows: a reparse point,
// such as a junction). Components that do not exist end the walk.
bool LinkBelow(std::string_view root, std::string_view folder);

// Makes path a real folder: a link in its place is removed (never what it
// names) and the folder created. True when a real folder is there afterwards.
bool MakeRealFolder(std::string_view path);

// The last failing system call's error in a few lower-case words
// ("permission denied"), for reports.
std::string LastErrorText();

// Files (not folders) in a folder whose names match a wildcard pattern with
// "*" and "?" (case-insensitive, as the Windows shell does; "*.*" matches
// every name). Returns full paths in platform form.
std::vector<std::string> MatchFiles(std::string_view folder, std::string_view pattern);

// Wildcard match of one name, case-insensitive.
bool WildcardMatch(std::string_view pattern, std::string_view name);

// Full path of the running executable, in platform form.
std::string ExecutablePath();

// The system's temporary folder, without a trailing separator.
std::string SystemTempFolder();

// The platform's path separator.
char PlatformSeparator();

// Flushes every file and folder below the folder to the disk (links are not
// followed), and only those: other programs' writes on the same volume are
// not waited for. False when one could not be flushed.
bool SyncFilesBelow(std::string_view folder);

// Flushes a folder's entries (names created, renamed or removed) to the disk.
// Windows: NTFS journals its names and the renames here are write-through;
// the folder is flushed where the system allows it, and an existing folder
// counts as flushed where it does not.
bool SyncFolder(std::string_view path);

}  // namespace ov
