#pragma once

// Pieces of the transfer worker that do not depend on the HTTP library: the
// minimum-rate rule, reading the response headers the caller acts on, and
// the texts of the failures the worker decides itself.

#include "OVShared/Platform/Inet.h"
#include "OVShared/Platform/InetChannel.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace ov::inet {

using Clock = std::chrono::steady_clock;

// The minimum-rate rule. From the first byte on, time is cut into windows;
// a window that closes with fewer bytes than the minimum fails the transfer.
// Time spent waiting for the caller to read is left out of the window.
class RateGuard {
public:
    explicit RateGuard(const InetOptions& o);

    void Count(std::size_t bytes, Clock::time_point now);
    void Exclude(Clock::duration waited) { windowStart_ += waited; }
    // True when a window has closed below the minimum.
    bool TooSlow(Clock::time_point now);

private:
    Clock::duration window_;
    std::uint64_t needed_;
    bool started_ = false;
    Clock::time_point windowStart_;
    std::uint64_t bytes_ = 0;
};

bool IsSuccessStatus(long code);

// Notes what the caller acts on from one header line: the status, Content-
// Range's first byte, Retry-After in seconds (its date form is not used) and
// the validators (an ETag or date holding a control character is not kept,
// as it is sent back as a header; a weak ETag is kept for If-None-Match
// only, as If-Range needs a strong one).
// Each status line starts a new response, so a redirect's headers do not
// carry over.
void NoteHeaderLine(InetHead& head, std::string_view line);

// The value of a "Name: value" line when its name is name (lower case given;
// matched in any case).
std::optional<std::string_view> HeaderValue(std::string_view line, std::string_view name);

// True when text may go out as a header value: not empty, no control character.
bool IsHeaderValue(std::string_view text);

// Failure texts are short English phrases ("HTTP 404", "connection refused"):
// they end up as the reason column of the install log and unattended output.
std::string StallError(const InetOptions& o);
std::string SlowError(const InetOptions& o);
std::string StatusError(long code);
std::string DamagedBodyError();

// True when a Content-Encoding value names coding (any case).
bool EqualsCoding(std::string_view value, std::string_view coding);

}  // namespace ov::inet
