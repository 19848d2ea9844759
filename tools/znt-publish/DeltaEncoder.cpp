#include "DeltaEncoder.h"

#include "OVShared/Platform/FileSystem.h"
#include "delta/DeltaDecoder.h"

#include <divsufsort.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace publish {

namespace {

using Bytes = const unsigned char*;

constexpr std::size_t kMinMatch = 6;  // exact bytes that may open a new alignment
constexpr std::size_t kMinAdd = 16;   // ... if it then explains at least this many

constexpr std::size_t kProbe = 16;         // bytes looked at past a mismatch ...
constexpr std::size_t kCompareCap = 2048;  // longest match the search tells apart
constexpr std::size_t kChunk = 64 * 1024;

// One zlib stream, built in memory.
class Compressor {
public:
    Compressor() {
        std::memset(&zs_, 0, sizeof zs_);
        deflateInit(&zs_, Z_DEFAULT_COMPRESSION);
    }
    ~Compressor() { deflateEnd(&zs_); }
    Compressor(const Compressor&) = delete;
    Compressor& operator=(const Compressor&) = delete;

    void Put(const void* data, std::size_t size) {
        zs_.next_in = static_cast<Bytef*>(const_cast<void*>(data));
        zs_.avail_in = static_cast<uInt>(size);
        while (zs_.avail_in > 0) Pump(Z_NO_FLUSH);
    }

    std::string Finish() {
        while (Pump(Z_FINISH) != Z_STREAM_END) {
        }
        return std::move(out_);
    }

private:
    int Pump(int flush) {
        std::size_t used = out_.size();
        out_.resize(used + kChunk);
        zs_.next_out = reinterpret_cast<Bytef*>(out_.data() + used);
        zs_.avail_out = kChunk;
        int rc = deflate(&zs_, flush);
        out_.resize(used + kChunk - zs_.avail_out);
        return rc;
    }

    z_stream zs_;
    std::string out_;
};

std::size_t CommonPrefix(Bytes a, std::size_t an, Bytes b, std::size_t bn) {
    std::size_t n = std::min(an, bn), i = 0;
    while (i < n && a[i] == b[i]) ++i;
    return i;
}

struct Match {
    std::size_t pos = 0;
    std::size_t len = 0;
};

// The base's suffixes in sorted order: the longest exact match of any
// string in the base is next to where the string would sort.
class SuffixSearch {
public:
    explicit SuffixSearch(std::string_view base)
        : base_(reinterpret_cast<Bytes>(base.data())), n_(base.size()), sa_(base.size()) {
        if (n_ > 0) divsufsort(base_, sa_.data(), static_cast<saidx_t>(n_));
    }

    Match Longest(Bytes key, std::size_t keyLen) const {
        std::size_t lo = 0, hi = n_;
        while (lo < hi) {
            std::size_t mid = lo + (hi - lo) / 2;
            if (Less(Suffix(mid), key, keyLen))
                lo = mid + 1;
            else
                hi = mid;
        }
        Match best;
        for (std::size_t at : {lo - 1, lo}) {
            if (at >= n_) continue;  // lo - 1 wraps when lo is 0
            std::size_t pos = Suffix(at);
            std::size_t len = CommonPrefix(base_ + pos, n_ - pos, key, keyLen);
            if (len > best.len) best = {pos, len};
        }
        return best;
    }

private:
    std::size_t Suffix(std::size_t rank) const { return static_cast<std::size_t>(sa_[rank]); }

    bool Less(std::size_t pos, Bytes key, std::size_t keyLen) const {
        std::size_t l = CommonPrefix(base_ + pos, n_ - pos, key, keyLen);
        if (l == keyLen) return false;
        return l == n_ - pos || base_[pos + l] < key[l];
    }

    Bytes base_;
    std::size_t n_;
    std::vector<saidx_t> sa_;
};

// Walks the target once. Each record covers an add region (target bytes
// aligned with base bytes, which may differ here and there: the diff stream
// holds the differences) and the unmatched bytes after it (extra). An
// alignment starts at an exact match found in the suffix array and lasts
// while the bytes past each mismatch mostly agree again, which keeps code
// whose addresses all moved in one record of small differences.
class Encoder {
public:
    Encoder(std::string_view base, std::string_view target)
        : base_(reinterpret_cast<Bytes>(base.data())),
          baseN_(base.size()),
          target_(reinterpret_cast<Bytes>(target.data())),
          n_(target.size()),
          search_(base) {}

    std::string Run() {
        std::size_t i = 0;
        while (i < n_) {
            Match m = FindMatch(i);
            if (m.len < kMinMatch) {
                ++i;
                continue;
            }
            // The new alignment may also explain the bytes just before.
            std::size_t start = i, pos = m.pos, floor = addStart_ + addLen_;
            while (start > floor && pos > 0 && target_[start - 1] == base_[pos - 1]) {
                --start;
                --pos;
            }
            std::size_t end = ExtendForward(start, pos);
            if (end - start < kMinAdd && end < n_) {
                ++i;  // a chance match: a record would cost more than it saves
                continue;
            }
            CloseRecord(start);
            seek_ = static_cast<std::int64_t>(pos) - static_cast<std::int64_t>(cursor_);
            addStart_ = start;
            addBase_ = pos;
            addLen_ = end - start;
            cursor_ = end - start + pos;
            i = end;
        }
        CloseRecord(n_);
        return Assemble();
    }

private:
    // The longest match at target position at; the current alignment wins ties.
    Match FindMatch(std::size_t at) const {
        std::size_t keyLen = std::min(n_ - at, kCompareCap);
        Match best = search_.Longest(target_ + at, keyLen);
        if (addLen_ > 0) {
            std::size_t pos = addBase_ + (at - addStart_);
            if (pos < baseN_) {
                std::size_t len = CommonPrefix(base_ + pos, baseN_ - pos, target_ + at, keyLen);
                if (len >= best.len) best = {pos, len};
            }
        }
        return best;
    }

    // End of the add region that starts at target t over base b.
    std::size_t ExtendForward(std::size_t t, std::size_t b) const {
        while (t < n_ && b < baseN_) {
            if (target_[t] != base_[b]) {
                std::size_t window = std::min({kProbe, n_ - t, baseN_ - b}), agree = 0;
                for (std::size_t k = 1; k < window; ++k) agree += target_[t + k] == base_[b + k];
                if (agree * 4 < window * 3) break;  // ... of which three in four agree
            }
            ++t;
            ++b;
        }
        return t;
    }

    // Writes the open record, its extra bytes running up to end.
    void CloseRecord(std::size_t end) {
        std::size_t extraStart = addStart_ + addLen_, extra = end - extraStart;
        if (addLen_ == 0 && extra == 0) return;  // only the opening record can be empty
        std::string record;
        znt::AppendDeltaRecord(record, seek_, addLen_, extra);
        control_.Put(record.data(), record.size());
        unsigned char diff[kChunk];
        for (std::size_t done = 0; done < addLen_;) {
            std::size_t n = std::min(kChunk, addLen_ - done);
            for (std::size_t k = 0; k < n; ++k)
                diff[k] = static_cast<unsigned char>(target_[addStart_ + done + k] -
                                                     base_[addBase_ + done + k]);
            diff_.Put(diff, n);
            done += n;
        }
        if (extra > 0) extra_.Put(target_ + extraStart, extra);
        addStart_ = end;
        addLen_ = 0;
        seek_ = 0;
    }

    std::string Assemble() {
        std::string control = control_.Finish(), diff = diff_.Finish(), extra = extra_.Finish();
        znt::DeltaHeader h;
        h.baseSize = baseN_;
        h.resultSize = n_;
        h.controlBytes = control.size();
        h.diffBytes = diff.size();
        h.extraBytes = extra.size();
        uLong crc = crc32(0, nullptr, 0);
        for (std::size_t done = 0; done < n_; done += kChunk)
            crc = crc32(crc, target_ + done, static_cast<uInt>(std::min(kChunk, n_ - done)));
        h.resultCrc = static_cast<std::uint32_t>(crc);
        return znt::FormatDeltaHeader(h) + control + diff + extra;
    }

    Bytes base_;
    std::size_t baseN_;
    Bytes target_;
    std::size_t n_;
    SuffixSearch search_;
    Compressor control_, diff_, extra_;
    // The open record: a seek, then an add region, then extra bytes.
    std::int64_t seek_ = 0;
    std::size_t addStart_ = 0, addBase_ = 0, addLen_ = 0;
    std::size_t cursor_ = 0;  // the decoder's base cursor before the open record's seek
};

}  // namespace

bool MakeDelta(std::string_view base, std::string_view target, std::string& delta,
               std::string& error) {
    if (base.size() > kMaxDeltaBase) {
        error = "base larger than 2 GiB";
        return false;
    }
    delta = Encoder(base, target).Run();
    return true;
}

bool MakeDeltaFile(std::string_view basePath, std::string_view targetPath,
                   std::string_view deltaPath, std::string& error) {
    auto base = ov::ReadWholeFile(basePath, kMaxDeltaBase);
    auto target = ov::ReadWholeFile(targetPath, kMaxDeltaBase);
    if (!base || !target) {
        error =
            "cannot read " + std::string(base ? targetPath : basePath) + " (or larger than 2 GiB)";
        return false;
    }
    std::string delta;
    if (!MakeDelta(*base, *target, delta, error)) return false;
    if (!ov::WriteFileAtomic(deltaPath, delta)) {
        error = "cannot write " + std::string(deltaPath);
        return false;
    }
    return true;
}

}  // namespace publish
