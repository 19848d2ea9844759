#include "install/PartFile.h"

#include "OVShared/Platform/FileSystem.h"
#include "install/InstallFiles.h"

#include <cerrno>
#include <filesystem>
#include <system_error>
#include <utility>

namespace znt {
namespace {

// Chunks are gathered here and written in large blocks: the stream's own
// buffer passes writes of a kilobyte or more straight to the system.
constexpr std::size_t kWriteBuffer = 256u << 10;

}  // namespace

PartFile::PartFile(std::string target, std::int64_t expected)
    : target_(std::move(target)), part_(target_ + ".part"), expected_(expected) {
    buffer_.reserve(kWriteBuffer);
    ov::ClearAttributes(part_);
    ov::RemoveFile(part_);
    out_.rdbuf()->pubsetbuf(nullptr, 0);
    out_.open(FsPath(part_), std::ios::binary | std::ios::trunc);
    open_ = out_.is_open();
    if (!open_) NoteError();
}

PartFile::~PartFile() {
    if (!done_) Discard();
}

bool PartFile::Append(std::string_view bytes) {
    if (!open_ || done_) return false;
    if (static_cast<std::int64_t>(bytes.size()) > expected_ - length_) {
        tooLong_ = true;
        return false;
    }
    if (buffer_.size() + bytes.size() > kWriteBuffer && !Flush()) return false;
    if (bytes.size() >= kWriteBuffer) {
        out_.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        if (!out_) return NoteError();
    } else {
        buffer_.insert(buffer_.end(), bytes.begin(), bytes.end());
    }
    length_ += static_cast<std::int64_t>(bytes.size());
    return true;
}

bool PartFile::Restart() {
    if (done_) return false;
    buffer_.clear();
    length_ = 0;
    tooLong_ = false;
    out_.close();
    out_.open(FsPath(part_), std::ios::binary | std::ios::trunc);
    open_ = out_.is_open();
    return open_ || NoteError();
}

bool PartFile::Flush() {
    out_.write(buffer_.data(), static_cast<std::streamsize>(buffer_.size()));
    buffer_.clear();
    return static_cast<bool>(out_) || NoteError();
}

bool PartFile::NoteError() {
    if (error_ == 0) error_ = errno;
    return false;
}

bool PartFile::Commit() {
    if (done_) return false;
    bool flushed = open_ && Flush();
    out_.close();
    if (flushed && out_.fail()) NoteError();
    bool whole = flushed && !out_.fail() && length_ == expected_ && !tooLong_;
    if (!whole) {
        Discard();
        return false;
    }
    std::error_code ec;
    std::filesystem::rename(FsPath(part_), FsPath(target_), ec);
    if (ec) {
        Discard();
        return false;
    }
    done_ = true;
    return true;
}

void PartFile::Discard() {
    done_ = true;
    if (out_.is_open()) out_.close();
    ov::RemoveFile(part_);
}

}  // namespace znt
