#include "install/InstallFiles.h"

#include "OVShared/Modules/modOVCoreFunctions.h"
#include "OVShared/Platform/FileSystem.h"

namespace znt {
namespace {

bool IsUtf8Continuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

size_t LastSeparator(std::string_view path) { return path.find_last_of("\\/"); }

}  // namespace

std::string FileOps::LastError() { return ov::LastFileError(); }

bool FileOps::Place(const std::string& from, const std::string& to, bool lastUse) {
    return (lastUse && Move(from, to)) || Replace(from, to);
}

bool DiskFileOps::Exists(const std::string& path) { return ov::FileExists(path); }

bool DiskFileOps::Replace(const std::string& from, const std::string& to) {
    return ov::CopyFileReplacing(from, to);
}

bool DiskFileOps::Move(const std::string& from, const std::string& to) {
    return ov::MoveFileReplacing(from, to);
}

void DiskFileOps::Delete(const std::string& path) {
    // Changing a link's mode would change its target, which may lie anywhere.
    std::error_code ec;
    if (!std::filesystem::is_symlink(std::filesystem::symlink_status(FsPath(path), ec))) {
        ov::ClearAttributes(path);
    }
    deleteError_ = ov::RemoveFile(path) ? std::string() : ov::LastErrorText();
}

void DiskFileOps::CreateFolderChain(const std::string& folder) { ov::CreateFolderChain(folder); }

std::optional<bool> DiskFileOps::Present(const std::string& path) {
    std::error_code ec;
    auto status = std::filesystem::symlink_status(FsPath(path), ec);
    if (status.type() == std::filesystem::file_type::not_found) return false;
    if (ec) return std::nullopt;
    return true;
}

bool DiskFileOps::RemoveEmptyFolder(const std::string& folder) {
    return ov::RemoveEmptyFolder(folder);
}

std::filesystem::path FsPath(std::string_view path) {
    std::string native = ov::NativePath(path);
    return std::filesystem::path(
        std::u8string(reinterpret_cast<const char8_t*>(native.data()), native.size()));
}

std::string LastPathPart(std::string_view path) {
    size_t at = LastSeparator(path);
    return std::string(at == std::string_view::npos ? path : path.substr(at + 1));
}

std::string ArchiveStem(std::string_view archiveName) {
    size_t end = archiveName.size();
    for (int dropped = 0; dropped < 4 && end > 0; ++dropped) {
        do {
            --end;
        } while (end > 0 && IsUtf8Continuation(archiveName[end]));
    }
    return std::string(archiveName.substr(0, end));
}

}  // namespace znt
