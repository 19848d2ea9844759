#include "install/PartFile.h"

#include "OVShared/Platform/FileSystem.h"
#include "OVShared/Platform/Yield.h"
#include "catalogue/Crypto.h"
#include "install/InstallFiles.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <optional>
#include <system_error>
#include <utility>

namespace znt {
namespace {

// Chunks are gathered here and written in large blocks: the stream's own
// buffer passes writes of a kilobyte or more straight to the system.
constexpr std::size_t kWriteBuffer = 256u << 10;
// An address and a validator; a larger tag file is not ours.
constexpr std::uint64_t kTagBytes = 16u << 10;
// Held bytes are hashed in blocks of this size, with a turn of the event loop after each.
constexpr std::uint64_t kHashReadBytes = 4u << 20;

}  // namespace

PartFile::PartFile(std::string target, std::int64_t expected)
    : target_(std::move(target)),
      part_(target_ + ".part"),
      tag_(part_ + ".tag"),
      expected_(expected) {
    buffer_.reserve(kWriteBuffer);
    ov::ClearAttributes(part_);
    std::optional<std::uint64_t> left =
        ov::IsRegularFile(part_) ? ov::FileLength(part_) : std::nullopt;
    bool keep = left && expected_ >= 0 && *left <= static_cast<std::uint64_t>(expected_);
    if (!keep) {
        ov::RemoveFile(part_);
        ov::RemoveFile(tag_);
    }
    out_.rdbuf()->pubsetbuf(nullptr, 0);
    out_.open(FsPath(part_), std::ios::binary | (keep ? std::ios::app : std::ios::trunc));
    open_ = out_.is_open();
    if (keep) length_ = static_cast<std::int64_t>(*left);
    if (!open_) NoteError();
}

PartFile::~PartFile() {
    if (!done_) Discard();
}

bool PartFile::StartHash() {
    hash_ = std::make_unique<crypto::Sha256>();
    const std::uint64_t written = static_cast<std::uint64_t>(length_) - buffer_.size();
    if (written == 0) return true;
    ov::RegularFile held(part_);
    for (std::uint64_t at = 0; held.IsOpen() && at < written; at += kHashReadBytes) {
        const std::uint64_t want = std::min(kHashReadBytes, written - at);
        std::string block = held.ReadAt(at, want);
        if (block.size() != want) break;
        hash_->Update(block);
        if (at + want == written) return true;
        ov::YieldToEventLoop();
    }
    hash_.reset();
    return false;
}

bool PartFile::Append(std::string_view bytes) {
    if (!open_ || done_) return false;
    if (static_cast<std::int64_t>(bytes.size()) > expected_ - length_) {
        tooLong_ = true;
        return false;
    }
    if (buffer_.size() + bytes.size() > kWriteBuffer && !Flush()) return false;
    if (bytes.size() >= kWriteBuffer) {
        if (!Write(bytes)) return false;
    } else {
        buffer_.insert(buffer_.end(), bytes.begin(), bytes.end());
    }
    length_ += static_cast<std::int64_t>(bytes.size());
    return true;
}

bool PartFile::Restart() {
    if (done_) return false;
    ov::RemoveFile(tag_);
    buffer_.clear();
    length_ = 0;
    tooLong_ = false;
    out_.close();
    out_.open(FsPath(part_), std::ios::binary | std::ios::trunc);
    open_ = out_.is_open();
    if (hash_) hash_ = std::make_unique<crypto::Sha256>();
    return open_ || NoteError();
}

std::string PartFile::RecordedValidator(const std::string& url) const {
    std::optional<std::string> text = ov::ReadWholeFile(tag_, kTagBytes);
    const std::string start = url + "\n";
    if (!text || text->rfind(start, 0) != 0 || text->back() != '\n') return {};
    std::string validator = text->substr(start.size(), text->size() - start.size() - 1);
    return validator.find('\n') == std::string::npos ? validator : std::string();
}

bool PartFile::RecordValidator(const std::string& url, const std::string& validator) {
    if (validator.empty()) return ov::RemoveFile(tag_) || !ov::IsRegularFile(tag_);
    return ov::WriteFileAtomic(tag_, url + "\n" + validator + "\n");
}

bool PartFile::Flush() {
    bool written = Write(std::string_view(buffer_.data(), buffer_.size()));
    buffer_.clear();
    return written;
}

// Every byte reaches the file through here, so the hash sees each once, in order.
bool PartFile::Write(std::string_view bytes) {
    out_.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out_) return NoteError();
    if (hash_) hash_->Update(bytes);
    return true;
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
    ov::RemoveFile(tag_);
    std::error_code ec;
    std::filesystem::rename(FsPath(part_), FsPath(target_), ec);
    if (ec) {
        Discard();
        return false;
    }
    done_ = true;
    if (hash_) sha256Hex_ = Sha256DigestHex(hash_->Final());
    return true;
}

void PartFile::Discard() {
    done_ = true;
    if (out_.is_open()) out_.close();
    ov::RemoveFile(part_);
    ov::RemoveFile(tag_);
}

}  // namespace znt
