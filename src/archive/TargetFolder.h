#pragma once

// The folder an archive is extracted into, and the only place an extraction
// may write. Member paths are given as lists of plain components (no
// separators, no "." or ".."; the caller checks names first). No symbolic
// link below the folder is followed: a link where a folder or a file is
// expected makes that member fail, and a file is never written through one.
//
// Files are written to a temporary name in their own folder and renamed into
// place by Commit; a MemberOutput that is dropped without Commit removes its
// temporary file, so a failed member leaves nothing behind and never a half
// file in place of the one that was there.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace znt {

using MemberPath = std::vector<std::string>;

struct ExistingEntry {
    bool exists = false;
    bool isFolder = false;
    std::int64_t mtime = 0;  // seconds since 1970
};

class MemberOutput {
public:
    struct Impl;
    explicit MemberOutput(std::unique_ptr<Impl> impl);
    ~MemberOutput();
    MemberOutput(const MemberOutput&) = delete;
    MemberOutput& operator=(const MemberOutput&) = delete;

    // False when the bytes could not all be written.
    bool Write(const char* data, std::size_t size);
    // Sets the file time and renames the file into place.
    bool Commit(std::int64_t mtime);
    // True after a write failed because the disk is full.
    bool DiskFull() const;

private:
    std::unique_ptr<Impl> impl_;
};

class TargetFolder {
public:
    struct Impl;
    // Creates the folder and its parents when missing; nothing on failure.
    static std::unique_ptr<TargetFolder> Open(std::string_view folder);
    explicit TargetFolder(std::unique_ptr<Impl> impl);
    ~TargetFolder();
    TargetFolder(const TargetFolder&) = delete;
    TargetFolder& operator=(const TargetFolder&) = delete;

    // What is at the path now (a link counts as an existing file).
    ExistingEntry Stat(const MemberPath& path) const;
    // Creates every component as a folder.
    bool MakeFolders(const MemberPath& path);
    // Starts the file at path (its folders are created); nothing on failure.
    std::unique_ptr<MemberOutput> Begin(const MemberPath& path);
    // Bytes available to us on the folder's disk; nothing when unknown.
    std::optional<std::uint64_t> FreeBytes() const;

private:
    std::unique_ptr<Impl> impl_;
};

}  // namespace znt
