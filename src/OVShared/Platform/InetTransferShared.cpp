#include "OVShared/Platform/InetTransferShared.h"

#include "OVShared/Platform/AsciiText.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <limits>

namespace ov::inet {
namespace {

std::string_view Trimmed(std::string_view s) {
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
    return s;
}

// The leading decimal number of text; nothing when it does not start with a digit.
std::optional<std::uint64_t> LeadingNumber(std::string_view text) {
    std::uint64_t value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (end == text.data()) return std::nullopt;
    if (ec == std::errc::result_out_of_range) return std::numeric_limits<std::uint64_t>::max();
    return value;
}

bool AllDigits(std::string_view s) {
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) {
        return std::isdigit(static_cast<unsigned char>(c)) != 0;
    });
}

}  // namespace

RateGuard::RateGuard(const InetOptions& o)
    : window_(o.rateWindow),
      needed_(static_cast<std::uint64_t>(o.minBytesPerSecond) *
              static_cast<std::uint64_t>(std::max<std::int64_t>(o.rateWindow.count(), 0)) / 1000) {}

void RateGuard::Count(std::size_t bytes, Clock::time_point now) {
    if (!started_) windowStart_ = now;
    started_ = true;
    bytes_ += bytes;
}

bool RateGuard::TooSlow(Clock::time_point now) {
    if (!started_ || needed_ == 0 || now - windowStart_ < window_) return false;
    if (bytes_ < needed_) return true;
    windowStart_ = now;
    bytes_ = 0;
    return false;
}

bool IsSuccessStatus(long code) { return code >= 200 && code < 300; }

std::optional<std::string_view> HeaderValue(std::string_view line, std::string_view name) {
    if (line.size() <= name.size() || line[name.size()] != ':') return std::nullopt;
    if (!StartsWithNoCase(line, name)) return std::nullopt;
    return Trimmed(line.substr(name.size() + 1));
}

void NoteHeaderLine(InetHead& head, std::string_view line) {
    line = Trimmed(line);
    if (line.rfind("HTTP/", 0) == 0) {
        head = InetHead{};
        std::size_t space = line.find(' ');
        if (space != std::string_view::npos) {
            head.code = static_cast<long>(LeadingNumber(line.substr(space + 1)).value_or(0) % 1000);
        }
    } else if (auto range = HeaderValue(line, "content-range")) {
        if (range->rfind("bytes ", 0) == 0)
            head.contentRangeStart = LeadingNumber(range->substr(6));
    } else if (auto after = HeaderValue(line, "retry-after"); after && AllDigits(*after)) {
        head.retryAfterSeconds = static_cast<std::uint32_t>(std::min<std::uint64_t>(
            *LeadingNumber(*after), std::numeric_limits<std::uint32_t>::max()));
    } else if (auto tag = HeaderValue(line, "etag"); tag && IsHeaderValue(*tag)) {
        head.anyEntityTag = std::string(*tag);
        if (tag->rfind("W/", 0) != 0) head.entityTag = std::string(*tag);
    } else if (auto date = HeaderValue(line, "last-modified"); date && IsHeaderValue(*date)) {
        head.lastModified = std::string(*date);
    }
}

bool IsHeaderValue(std::string_view text) {
    return !text.empty() && std::none_of(text.begin(), text.end(), [](char c) {
        auto u = static_cast<unsigned char>(c);
        return u < 0x20 || u == 0x7f;
    });
}

std::string StallError(const InetOptions& o) {
    return "no data received for " + std::to_string(o.stallTimeout.count()) + " ms";
}

std::string SlowError(const InetOptions& o) {
    return "slower than " + std::to_string(o.minBytesPerSecond) + " bytes/s for " +
           std::to_string(o.rateWindow.count()) + " ms";
}

std::string StatusError(long code) { return "HTTP " + std::to_string(code); }

std::string DamagedBodyError() { return "damaged compressed body"; }

bool EqualsCoding(std::string_view value, std::string_view coding) {
    return EqualsNoCase(Trimmed(value), coding);
}

}  // namespace ov::inet
