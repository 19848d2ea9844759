#include "archive/ZlibStream.h"

#include "OVShared/Platform/FileSystem.h"

#include <algorithm>
#include <cstring>
#include <new>

#include <zlib.h>

namespace znt {
namespace {

constexpr std::uint64_t kChunkBytes = 256 * 1024;
constexpr std::uint64_t kCryptHeaderBytes = 12;

// The traditional PKWARE stream cipher: three keys stirred by CRC-32 steps.
class PkwareKeys {
public:
    explicit PkwareKeys(const std::string& password) {
        for (char c : password) Update(static_cast<std::uint8_t>(c));
    }
    std::uint8_t Decrypt(std::uint8_t c) {
        std::uint32_t temp = (keys_[2] & 0xFFFF) | 2;
        c ^= static_cast<std::uint8_t>((temp * (temp ^ 1)) >> 8);
        Update(c);
        return c;
    }
    void Decrypt(char* data, std::size_t n) {
        for (std::size_t i = 0; i < n; ++i) {
            data[i] = static_cast<char>(Decrypt(static_cast<std::uint8_t>(data[i])));
        }
    }

private:
    static std::uint32_t Crc(std::uint32_t crc, std::uint8_t b) {
        static const z_crc_t* table = get_crc_table();
        return static_cast<std::uint32_t>(table[(crc ^ b) & 0xFF]) ^ (crc >> 8);
    }
    void Update(std::uint8_t c) {
        keys_[0] = Crc(keys_[0], c);
        keys_[1] = (keys_[1] + (keys_[0] & 0xFF)) * 134775813 + 1;
        keys_[2] = Crc(keys_[2], static_cast<std::uint8_t>(keys_[1] >> 24));
    }
    std::uint32_t keys_[3] = {0x12345678, 0x23456789, 0x34567890};
};

class ZlibEntryStream : public ZipEntryStream {
public:
    ZlibEntryStream(const ov::RegularFile& file, const ZlibEntryPlace& place)
        : file_(file), place_(place), offset_(place.dataOffset), left_(place.compressedSize) {}
    ~ZlibEntryStream() override {
        if (inflating_) inflateEnd(&z_);
    }

    ZipStatus Start(const std::string* password);
    std::optional<std::size_t> Read(char* data, std::size_t capacity) override;
    ZipStatus Status() const override { return status_; }

private:
    bool Fill();
    std::optional<std::size_t> ReadStored(char* data, std::size_t want);
    std::optional<std::size_t> ReadDeflated(char* data, std::size_t want);
    std::optional<std::size_t> Finish();
    bool InflateStep();
    std::optional<std::size_t> Fail(ZipStatus status) {
        status_ = status;
        return std::nullopt;
    }

    const ov::RegularFile& file_;
    ZlibEntryPlace place_;
    std::uint64_t offset_;  // next compressed byte in the file
    std::uint64_t left_;    // compressed bytes not yet read
    std::string input_;
    std::size_t inputAt_ = 0;
    std::optional<PkwareKeys> keys_;
    z_stream z_{};
    bool inflating_ = false;
    bool ended_ = false;
    bool done_ = false;
    std::uint64_t produced_ = 0;
    uLong crc_ = crc32(0, nullptr, 0);
    ZipStatus status_ = ZipStatus::Ok;
};

ZipStatus ZlibEntryStream::Start(const std::string* password) {
    if (place_.method != kZipStored && place_.method != kZipDeflated) return ZipStatus::Unsupported;
    if (place_.encrypted) {
        if (!password || left_ < kCryptHeaderBytes) {
            return password ? ZipStatus::Damaged : ZipStatus::WrongPassword;
        }
        std::string header = file_.ReadAt(offset_, kCryptHeaderBytes);
        if (header.size() != kCryptHeaderBytes) return ZipStatus::ReadFailed;
        keys_.emplace(*password);
        keys_->Decrypt(header.data(), header.size());
        if (static_cast<std::uint8_t>(header.back()) != place_.checkByte) {
            return ZipStatus::WrongPassword;
        }
        offset_ += kCryptHeaderBytes;
        left_ -= kCryptHeaderBytes;
    }
    if (place_.method == kZipDeflated) {
        int rc = inflateInit2(&z_, -MAX_WBITS);
        if (rc == Z_MEM_ERROR) throw std::bad_alloc();
        if (rc != Z_OK) return ZipStatus::Damaged;
        inflating_ = true;
    }
    return ZipStatus::Ok;
}

// The next chunk of compressed bytes, decrypted. False when none are left or
// the read failed (then status_ says so).
bool ZlibEntryStream::Fill() {
    if (left_ == 0) return false;
    input_ = file_.ReadAt(offset_, std::min(left_, kChunkBytes));
    if (input_.size() != std::min(left_, kChunkBytes)) {  // the file shrank under us
        status_ = ZipStatus::ReadFailed;
        return false;
    }
    offset_ += input_.size();
    left_ -= input_.size();
    inputAt_ = 0;
    if (keys_) keys_->Decrypt(input_.data(), input_.size());
    z_.next_in = reinterpret_cast<Bytef*>(input_.data());
    z_.avail_in = static_cast<uInt>(input_.size());
    return true;
}

std::optional<std::size_t> ZlibEntryStream::Read(char* data, std::size_t capacity) {
    if (status_ != ZipStatus::Ok) return std::nullopt;
    if (done_) return 0;
    if (ended_ || produced_ == place_.size) return Finish();
    auto want = static_cast<std::size_t>(
        std::min<std::uint64_t>({capacity, place_.size - produced_, kChunkBytes}));
    auto got = inflating_ ? ReadDeflated(data, want) : ReadStored(data, want);
    if (!got) return got;
    if (*got == 0) return Finish();  // the data ended before the declared size
    produced_ += *got;
    crc_ = crc32(crc_, reinterpret_cast<const Bytef*>(data), static_cast<uInt>(*got));
    return got;
}

std::optional<std::size_t> ZlibEntryStream::ReadStored(char* data, std::size_t want) {
    if (inputAt_ == input_.size() && !Fill()) {
        if (status_ != ZipStatus::Ok) return std::nullopt;
        return 0;
    }
    std::size_t n = std::min(want, input_.size() - inputAt_);
    std::memcpy(data, input_.data() + inputAt_, n);
    inputAt_ += n;
    return n;
}

std::optional<std::size_t> ZlibEntryStream::ReadDeflated(char* data, std::size_t want) {
    z_.next_out = reinterpret_cast<Bytef*>(data);
    z_.avail_out = static_cast<uInt>(want);
    while (z_.avail_out == want && !ended_) {
        if (!InflateStep()) return std::nullopt;
    }
    return want - z_.avail_out;
}

// One inflate call, reading more input first when it is used up. Without
// input left, inflate still runs: it may hold output that did not fit before.
// False on damaged or missing data.
bool ZlibEntryStream::InflateStep() {
    if (z_.avail_in == 0 && left_ > 0 && !Fill()) return false;
    int rc = inflate(&z_, Z_NO_FLUSH);
    if (rc == Z_STREAM_END) {
        ended_ = true;
        return true;
    }
    if (rc == Z_MEM_ERROR) throw std::bad_alloc();
    if (rc == Z_OK || (rc == Z_BUF_ERROR && z_.avail_in == 0 && left_ > 0)) return true;
    status_ = ZipStatus::Damaged;  // damaged, or the compressed data ends too soon
    return false;
}

// At the declared size or the end of the data: anything more is TooLarge,
// anything less Damaged, then the CRC decides.
std::optional<std::size_t> ZlibEntryStream::Finish() {
    if (inflating_) {
        char extra = 0;
        while (!ended_) {
            z_.next_out = reinterpret_cast<Bytef*>(&extra);
            z_.avail_out = 1;
            if (!InflateStep()) return std::nullopt;
            if (z_.avail_out == 0) return Fail(ZipStatus::TooLarge);
        }
    } else if (inputAt_ < input_.size() || left_ > 0) {
        return Fail(ZipStatus::TooLarge);
    }
    if (produced_ != place_.size) return Fail(ZipStatus::Damaged);
    if (crc_ != place_.crc) return Fail(ZipStatus::BadCrc);
    done_ = true;
    return 0;
}

}  // namespace

std::unique_ptr<ZipEntryStream> OpenZlibEntry(const ov::RegularFile& file,
                                              const ZlibEntryPlace& place,
                                              const std::string* password, ZipStatus& status) {
    auto stream = std::make_unique<ZlibEntryStream>(file, place);
    status = stream->Start(password);
    if (status != ZipStatus::Ok) return nullptr;
    return stream;
}

}  // namespace znt
