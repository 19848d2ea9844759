#include "OVShared/Platform/GzipDecoder.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <limits>

namespace ov {

struct GzipDecoder::State {
    z_stream stream{};
    bool ready = false;
    bool ended = false;
    bool broken = false;
};

GzipDecoder::GzipDecoder() : state_(std::make_unique<State>()) {
    // 16 + 15: a gzip wrapper around a window of up to 32 KiB.
    state_->ready = inflateInit2(&state_->stream, 16 + MAX_WBITS) == Z_OK;
}

GzipDecoder::~GzipDecoder() {
    if (state_->ready) inflateEnd(&state_->stream);
}

bool GzipDecoder::Feed(std::string_view raw, const std::function<bool(std::string_view)>& sink) {
    State& s = *state_;
    if (!s.ready || s.broken) return false;
    if (s.ended) {
        s.broken = !raw.empty();
        return !s.broken;
    }
    std::array<unsigned char, 64 * 1024> out;
    while (!raw.empty()) {
        uInt take =
            static_cast<uInt>(std::min<std::size_t>(raw.size(), std::numeric_limits<uInt>::max()));
        s.stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(raw.data()));
        s.stream.avail_in = take;
        do {
            s.stream.next_out = out.data();
            s.stream.avail_out = static_cast<uInt>(out.size());
            int rc = inflate(&s.stream, Z_NO_FLUSH);
            if (rc != Z_OK && rc != Z_STREAM_END && rc != Z_BUF_ERROR) s.broken = true;
            std::size_t produced = out.size() - s.stream.avail_out;
            if (!s.broken && produced > 0 &&
                !sink(std::string_view(reinterpret_cast<const char*>(out.data()), produced))) {
                s.broken = true;
            }
            if (rc == Z_STREAM_END) s.ended = true;
            if (s.broken) return false;
        } while (!s.ended && s.stream.avail_out == 0);
        raw.remove_prefix(take - s.stream.avail_in);
        if (s.ended) {
            s.broken = !raw.empty();
            return !s.broken;
        }
        if (s.stream.avail_in != 0) {  // zlib would take no more: damaged
            s.broken = true;
            return false;
        }
    }
    return true;
}

bool GzipDecoder::Finished() const { return state_->ended && !state_->broken; }

}  // namespace ov
