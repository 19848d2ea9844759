#pragma once

// File work of the install run: the path texts it builds (with "\" like the
// catalogue) and the file operations it performs, behind an interface so
// that tests can make a replace fail (files in use can be replaced on
// Linux, so the patcher path could not be reached otherwise).
//
// Every path goes through ov::NativePath, which finds an existing component
// without regard to case: "core\ZNTR.EXE" names an existing core/zntr.exe,
// and a replace writes over that file instead of creating a second one.

#include "OVShared/Platform/PathText.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace znt {

class FileOps {
public:
    virtual ~FileOps() = default;
    // True when path is a regular file that can be opened for reading.
    virtual bool Exists(const std::string& path) = 0;
    // Copies from to a temporary name beside to, then renames it over to.
    // False when any step fails; to is then as it was.
    virtual bool Replace(const std::string& from, const std::string& to) = 0;
    // Renames from over to in one step where both lie on one volume; a
    // replaced to keeps its permission bits. False when it cannot (another
    // volume, a target in use): from and to are then as they were.
    virtual bool Move(const std::string& from, const std::string& to) = 0;
    // Puts the file from at to: renamed there when this is from's last use
    // and Move can, else copied by Replace. False when to is as it was.
    bool Place(const std::string& from, const std::string& to, bool lastUse);
    // Why the last failed Replace (or Place) failed, as a short phrase
    // ("permission denied"); asked right after it, before any other call.
    virtual std::string LastError();
    // Makes the file writable and deletes it; failures are ignored.
    virtual void Delete(const std::string& path) = 0;
    // Creates the folder and its missing parents; failures are ignored.
    virtual void CreateFolderChain(const std::string& folder) = 0;
    // Whether anything (file, folder or link) is at path; nothing when that
    // cannot be told, e.g. a folder on the way cannot be searched.
    virtual std::optional<bool> Present(const std::string& path) = 0;
    // Removes the folder when it is empty; false when it stays.
    virtual bool RemoveEmptyFolder(const std::string& folder) = 0;
    // Why the last Delete failed, in a few words; empty when it is not known.
    virtual std::string DeleteError() const { return {}; }
};

// The real file system.
class DiskFileOps : public FileOps {
public:
    bool Exists(const std::string& path) override;
    bool Replace(const std::string& from, const std::string& to) override;
    bool Move(const std::string& from, const std::string& to) override;
    void Delete(const std::string& path) override;
    void CreateFolderChain(const std::string& folder) override;
    std::optional<bool> Present(const std::string& path) override;
    bool RemoveEmptyFolder(const std::string& folder) override;
    std::string DeleteError() const override { return deleteError_; }

private:
    std::string deleteError_;
};

// A "\" path as a std::filesystem path (UTF-8, resolved by ov::NativePath).
std::filesystem::path FsPath(std::string_view path);

// The text after the last "\" or "/" (all of it when there is none).
std::string LastPathPart(std::string_view path);
// The archive's name without its last four characters (its ".zip"), counted
// as UTF-8 characters; empty when nothing would be left.
std::string ArchiveStem(std::string_view archiveName);

}  // namespace znt
