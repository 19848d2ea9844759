#include "delta/DeltaDecoder.h"

#include "OVShared/Platform/FileSystem.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

namespace znt {

namespace {

constexpr char kMagic[4] = {'Z', 'N', 'D', 'F'};
constexpr std::size_t kReadChunk = 256 * 1024;  // compressed bytes read at a time
constexpr std::size_t kWorkChunk = 256 * 1024;  // result bytes built at a time

void PutLE(std::string& out, std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

std::uint64_t GetLE(const unsigned char* p, int bytes) {
    std::uint64_t value = 0;
    for (int i = bytes - 1; i >= 0; --i) value = (value << 8) | p[i];
    return value;
}

// One zlib stream of the delta, inflated on demand from its byte range.
class StreamReader {
public:
    StreamReader(const ov::RegularFile& file, std::uint64_t offset, std::uint64_t length,
                 const char* name)
        : file_(file), next_(offset), left_(length), name_(name) {
        zs_ = std::make_unique<z_stream>();
        std::memset(zs_.get(), 0, sizeof(z_stream));
        ready_ = inflateInit(zs_.get()) == Z_OK;
    }
    ~StreamReader() {
        if (ready_) inflateEnd(zs_.get());
    }
    StreamReader(const StreamReader&) = delete;
    StreamReader& operator=(const StreamReader&) = delete;

    // Fills out with exactly size bytes.
    bool Read(unsigned char* out, std::size_t size, std::string& error) {
        if (!ready_) return Fail("out of memory", error);
        zs_->next_out = out;
        zs_->avail_out = static_cast<uInt>(size);
        while (zs_->avail_out > 0) {
            if (ended_) {
                missing_ = zs_->avail_out;
                return Fail(Damage("ends early"), error);
            }
            if (!Step(error)) return false;
        }
        return true;
    }

    // True when the stream ends here and its byte range ends with it.
    bool Finish(std::string& error) {
        unsigned char probe = 0;
        while (!ended_) {
            zs_->next_out = &probe;
            zs_->avail_out = 1;
            if (!Step(error)) return false;
            if (zs_->avail_out == 0) return Fail(Damage("holds unused bytes"), error);
        }
        if (zs_->avail_in > 0 || left_ > 0) return Fail(Damage("has trailing bytes"), error);
        return true;
    }

    // After a Read that failed because the stream ended: the bytes it lacked.
    std::size_t Missing() const { return missing_; }

private:
    // One inflate call, reading more input first when needed.
    bool Step(std::string& error) {
        if (zs_->avail_in == 0) {
            if (left_ == 0) return Fail(Damage("is cut short"), error);
            buffer_ = file_.ReadAt(next_, std::min<std::uint64_t>(left_, kReadChunk));
            if (buffer_.empty()) return Fail("delta unreadable", error);
            next_ += buffer_.size();
            left_ -= buffer_.size();
            zs_->next_in = reinterpret_cast<Bytef*>(buffer_.data());
            zs_->avail_in = static_cast<uInt>(buffer_.size());
        }
        int rc = inflate(zs_.get(), Z_NO_FLUSH);
        if (rc == Z_STREAM_END)
            ended_ = true;
        else if (rc != Z_OK && rc != Z_BUF_ERROR)
            return Fail(Damage("is corrupt"), error);
        return true;
    }

    std::string Damage(const char* what) const {
        return std::string("delta damaged: ") + name_ + " stream " + what;
    }
    static bool Fail(std::string reason, std::string& error) {
        error = std::move(reason);
        return false;
    }

    const ov::RegularFile& file_;
    std::uint64_t next_;
    std::uint64_t left_;
    const char* name_;
    std::unique_ptr<z_stream> zs_;
    std::string buffer_;
    std::size_t missing_ = 0;
    bool ready_ = false;
    bool ended_ = false;
};

// Reads the base through a window that follows the cursor.
class BaseWindow {
public:
    explicit BaseWindow(const ov::RegularFile& file) : file_(file) {}

    // Pointer to size bytes at pos (size <= kWorkChunk); null when unreadable.
    const unsigned char* At(std::uint64_t pos, std::size_t size) {
        if (pos < start_ || pos + size > start_ + bytes_.size()) {
            start_ = pos;
            bytes_ = file_.ReadAt(pos, std::max<std::size_t>(size, 4 * kWorkChunk));
            if (bytes_.size() < size) return nullptr;
        }
        return reinterpret_cast<const unsigned char*>(bytes_.data()) + (pos - start_);
    }

private:
    const ov::RegularFile& file_;
    std::uint64_t start_ = 0;
    std::string bytes_;
};

// The state of one rebuild: the header's limits, the cursors and the output.
class Rebuild {
public:
    Rebuild(const DeltaHeader& header, const ov::RegularFile& base, const ov::RegularFile& delta,
            const DeltaSink& sink)
        : h_(header),
          base_(base),
          control_(delta, kDeltaHeaderSize, header.controlBytes, "control"),
          diff_(delta, kDeltaHeaderSize + header.controlBytes, header.diffBytes, "diff"),
          extra_(delta, kDeltaHeaderSize + header.controlBytes + header.diffBytes,
                 header.extraBytes, "extra"),
          sink_(sink),
          work_(kWorkChunk) {}

    // Reads control records until the result is complete, then checks that
    // every stream ends there and that the checksum matches.
    bool Run(std::string& error) {
        unsigned char record[kDeltaRecordSize];
        while (out_ < h_.resultSize) {
            if (!control_.Read(record, sizeof record, error)) return ResultShort(error);
            std::uint64_t seek = GetLE(record, 8), add = GetLE(record + 8, 8),
                          extra = GetLE(record + 16, 8);
            if (add == 0 && extra == 0) return Fail("delta damaged: empty control record", error);
            if (!Seek(seek, error) || !Add(add, error) || !Extra(extra, error)) return false;
        }
        if (!control_.Finish(error)) {
            if (error.find("unused") != std::string::npos) error = "result too long";
            return false;
        }
        if (!diff_.Finish(error) || !extra_.Finish(error)) return false;
        if (crc_ != h_.resultCrc) return Fail("result checksum differs", error);
        return true;
    }

private:
    // A control stream that ends before the result is complete: between
    // records, the delta describes a shorter result.
    bool ResultShort(std::string& error) {
        if (control_.Missing() == kDeltaRecordSize)
            error = "result too short";
        else if (control_.Missing() > 0)
            error = "delta damaged: control stream ends inside a record";
        return false;
    }

    bool Seek(std::uint64_t raw, std::string& error) {
        // Two's complement: a negative seek is a step back of its magnitude.
        bool back = (raw >> 63) != 0;
        std::uint64_t step = back ? 0 - raw : raw;
        if (back ? step > cursor_ : step > h_.baseSize - cursor_)
            return Fail("delta damaged: seek out of range", error);
        cursor_ = back ? cursor_ - step : cursor_ + step;
        return true;
    }

    bool Add(std::uint64_t count, std::string& error) {
        if (count > h_.baseSize - cursor_)
            return Fail("delta damaged: add past the end of the base", error);
        if (count > h_.resultSize - out_) return Fail("result too long", error);
        while (count > 0) {
            std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(count, kWorkChunk));
            if (!diff_.Read(work_.data(), n, error)) return false;
            const unsigned char* b = base_.At(cursor_, n);
            if (!b) return Fail("base unreadable", error);
            for (std::size_t i = 0; i < n; ++i)
                work_[i] = static_cast<unsigned char>(work_[i] + b[i]);
            if (!Emit(n, error)) return false;
            cursor_ += n;
            count -= n;
        }
        return true;
    }

    bool Extra(std::uint64_t count, std::string& error) {
        if (count > h_.resultSize - out_) return Fail("result too long", error);
        while (count > 0) {
            std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(count, kWorkChunk));
            if (!extra_.Read(work_.data(), n, error) || !Emit(n, error)) return false;
            count -= n;
        }
        return true;
    }

    bool Emit(std::size_t n, std::string& error) {
        crc_ = crc32(crc_, work_.data(), static_cast<uInt>(n));
        out_ += n;
        if (!sink_(reinterpret_cast<const char*>(work_.data()), n))
            return Fail("cannot write the result", error);
        return true;
    }

    static bool Fail(const char* reason, std::string& error) {
        error = reason;
        return false;
    }

    const DeltaHeader& h_;
    BaseWindow base_;
    StreamReader control_, diff_, extra_;
    const DeltaSink& sink_;
    std::vector<unsigned char> work_;
    std::uint64_t cursor_ = 0;
    std::uint64_t out_ = 0;
    uLong crc_ = crc32(0, nullptr, 0);
};

// The header's stream lengths must account for the file's length exactly.
bool CheckLength(const DeltaHeader& h, std::uint64_t fileLength, std::string& error) {
    std::uint64_t room = fileLength - kDeltaHeaderSize;  // the header was read whole
    std::uint64_t need = 0;
    for (std::uint64_t part : {h.controlBytes, h.diffBytes, h.extraBytes}) {
        if (part > room - need) {
            error = "delta cut short";
            return false;
        }
        need += part;
    }
    if (need < room) {
        error = "delta has trailing bytes";
        return false;
    }
    return true;
}

}  // namespace

std::string FormatDeltaHeader(const DeltaHeader& h) {
    std::string out(kMagic, sizeof kMagic);
    PutLE(out, kDeltaVersion, 4);
    for (std::uint64_t v : {h.baseSize, h.resultSize, h.controlBytes, h.diffBytes, h.extraBytes})
        PutLE(out, v, 8);
    PutLE(out, h.resultCrc, 4);
    PutLE(out, 0, 4);
    return out;
}

bool ParseDeltaHeader(std::string_view bytes, DeltaHeader& h, std::string& error) {
    if (bytes.size() < kDeltaHeaderSize || std::memcmp(bytes.data(), kMagic, sizeof kMagic) != 0) {
        error = "not a delta";
        return false;
    }
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    if (GetLE(p + 4, 4) != kDeltaVersion) {
        error = "delta version not supported";
        return false;
    }
    if (GetLE(p + 52, 4) != 0) {
        error = "delta damaged: header";
        return false;
    }
    h.baseSize = GetLE(p + 8, 8);
    h.resultSize = GetLE(p + 16, 8);
    h.controlBytes = GetLE(p + 24, 8);
    h.diffBytes = GetLE(p + 32, 8);
    h.extraBytes = GetLE(p + 40, 8);
    h.resultCrc = static_cast<std::uint32_t>(GetLE(p + 48, 4));
    return true;
}

void AppendDeltaRecord(std::string& control, std::int64_t seek, std::uint64_t add,
                       std::uint64_t extra) {
    PutLE(control, static_cast<std::uint64_t>(seek), 8);
    PutLE(control, add, 8);
    PutLE(control, extra, 8);
}

bool ApplyDelta(std::string_view basePath, std::string_view deltaPath, const DeltaSink& sink,
                std::string& error) {
    ov::RegularFile delta(deltaPath);
    if (!delta.IsOpen()) {
        error = "delta unreadable";
        return false;
    }
    DeltaHeader header;
    if (!ParseDeltaHeader(delta.ReadAt(0, kDeltaHeaderSize), header, error) ||
        !CheckLength(header, delta.Length(), error))
        return false;
    ov::RegularFile base(basePath);
    if (!base.IsOpen()) {
        error = "base unreadable";
        return false;
    }
    if (base.Length() != header.baseSize) {
        error = base.Length() < header.baseSize ? "base too short" : "base too long";
        return false;
    }
    return Rebuild(header, base, delta, sink).Run(error);
}

}  // namespace znt
