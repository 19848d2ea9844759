#pragma once

// Decodes one gzip member as its bytes arrive, for bodies sent with
// "Content-Encoding: gzip" that the HTTP library does not decode itself.
// The member's trailer (CRC-32 and length) is checked by zlib; a body is
// whole only once Finished() holds. Bytes after the member are refused.

#include <functional>
#include <memory>
#include <string_view>

namespace ov {

class GzipDecoder {
public:
    GzipDecoder();
    ~GzipDecoder();
    GzipDecoder(const GzipDecoder&) = delete;
    GzipDecoder& operator=(const GzipDecoder&) = delete;

    // Decodes raw and hands each decoded piece to sink. False when the data
    // is damaged, continues past the member's end, or sink returns false.
    bool Feed(std::string_view raw, const std::function<bool(std::string_view)>& sink);
    // The member ended with a trailer that matched.
    bool Finished() const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace ov
