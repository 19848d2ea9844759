#include "OVShared/Platform/InetTransfer.h"

#include "OVShared/Platform/Inet.h"
#include "OVShared/Platform/InetChannel.h"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdint>
#include <limits>
#include <mutex>
#include <stdexcept>
#include <string>
#include <string_view>

namespace ov {
namespace {

using Clock = std::chrono::steady_clock;

// Bounds how long a cancel or a stall goes unnoticed while curl waits.
constexpr long kPollMilliseconds = 50;

// The minimum-rate rule. From the first byte on, time is cut into windows;
// a window that closes with fewer bytes than the minimum fails the transfer.
// Time spent waiting for the caller to read is left out of the window.
class RateGuard {
public:
    explicit RateGuard(const InetOptions& o)
        : window_(o.rateWindow),
          needed_(static_cast<std::uint64_t>(o.minBytesPerSecond) *
                  static_cast<std::uint64_t>(std::max<std::int64_t>(o.rateWindow.count(), 0)) / 1000) {}

    void Count(std::size_t bytes, Clock::time_point now) {
        if (!started_) windowStart_ = now;
        started_ = true;
        bytes_ += bytes;
    }
    void Exclude(Clock::duration waited) { windowStart_ += waited; }
    // True when a window has closed below the minimum.
    bool TooSlow(Clock::time_point now) {
        if (!started_ || needed_ == 0 || now - windowStart_ < window_) return false;
        if (bytes_ < needed_) return true;
        windowStart_ = now;
        bytes_ = 0;
        return false;
    }

private:
    Clock::duration window_;
    std::uint64_t needed_;
    bool started_ = false;
    Clock::time_point windowStart_;
    std::uint64_t bytes_ = 0;
};

struct Transfer {
    Transfer(InetChannel& c, const InetOptions& o) : channel(c), rate(o) {}

    InetChannel& channel;
    CURL* easy = nullptr;
    Clock::time_point lastActivity = Clock::now();
    RateGuard rate;
    bool statusChecked = false;
    InetHead head;        // of the response whose headers are arriving
    std::string refusal;  // why the transfer was stopped from here, if it was
};

Transfer& Of(void* p) { return *static_cast<Transfer*>(p); }

bool IsSuccessStatus(long code) { return code >= 200 && code < 300; }

// Called once the socket exists and before it connects.
int OnSocketCreated(void* p, curl_socket_t, curlsocktype) {
    try {
        Of(p).channel.Reach(icConnecting);
    } catch (...) {
        return CURL_SOCKOPT_ERROR;
    }
    return CURL_SOCKOPT_OK;
}

#if LIBCURL_VERSION_NUM >= 0x075000
// Called once connected (after TLS, if any), before the request goes out.
int OnConnected(void* p, char*, char*, int, int) {
    try {
        Of(p).lastActivity = Clock::now();
        Of(p).channel.Reach(icRequesting);
    } catch (...) {
        return CURL_PREREQFUNC_ABORT;
    }
    return CURL_PREREQFUNC_OK;
}
#endif

std::string_view Trimmed(std::string_view s) {
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
    return s;
}

// The value of a "Name: value" line when its name is name (any case).
std::optional<std::string_view> HeaderValue(std::string_view line, std::string_view name) {
    if (line.size() <= name.size() || line[name.size()] != ':') return std::nullopt;
    for (std::size_t i = 0; i < name.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(line[i])) != name[i]) return std::nullopt;
    }
    return Trimmed(line.substr(name.size() + 1));
}

// The leading decimal number of text; nothing when it does not start with a digit.
std::optional<std::uint64_t> LeadingNumber(std::string_view text) {
    std::uint64_t value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (end == text.data()) return std::nullopt;
    if (ec == std::errc::result_out_of_range) return std::numeric_limits<std::uint64_t>::max();
    return value;
}

// Notes what the caller acts on: the status, Content-Range's first byte and
// Retry-After in seconds (its date form is not used). Each status line
// starts a new response, so a redirect's headers do not carry over.
void NoteHeaderLine(InetHead& head, std::string_view line) {
    line = Trimmed(line);
    if (line.rfind("HTTP/", 0) == 0) {
        head = InetHead{};
        std::size_t space = line.find(' ');
        if (space != std::string_view::npos) {
            head.code = static_cast<long>(LeadingNumber(line.substr(space + 1)).value_or(0) % 1000);
        }
    } else if (auto range = HeaderValue(line, "content-range")) {
        if (range->rfind("bytes ", 0) == 0) head.contentRangeStart = LeadingNumber(range->substr(6));
    } else if (auto after = HeaderValue(line, "retry-after")) {
        bool seconds = !after->empty() && std::all_of(after->begin(), after->end(), [](char c) {
            return std::isdigit(static_cast<unsigned char>(c)) != 0;
        });
        if (seconds) {
            head.retryAfterSeconds = static_cast<std::uint32_t>(std::min<std::uint64_t>(
                *LeadingNumber(*after), std::numeric_limits<std::uint32_t>::max()));
        }
    }
}

std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* p) {
    std::size_t n = size * count;
    try {
        Transfer& t = Of(p);
        t.lastActivity = Clock::now();
        t.rate.Count(n, t.lastActivity);
        bool blank = n == 0 || data[0] == '\r' || data[0] == '\n';
        NoteHeaderLine(t.head, std::string_view(data, n));
        if (blank) t.channel.SetHead(t.head);
        t.channel.Reach(blank ? icResponseReceived : icReceivingResponse);
    } catch (...) {
        return 0;
    }
    return n;
}

// A final status outside 200-299 that libcurl delivers (a redirect it does
// not follow, say) is not the file asked for.
bool AcceptStatus(Transfer& t) {
    if (t.statusChecked) return true;
    long code = 0;
    curl_easy_getinfo(t.easy, CURLINFO_RESPONSE_CODE, &code);
    if (!IsSuccessStatus(code)) {
        t.refusal = "HTTP status " + std::to_string(code);
        return false;
    }
    t.statusChecked = true;
    return true;
}

std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* p) {
    std::size_t n = size * count;
    try {
        Transfer& t = Of(p);
        if (!AcceptStatus(t)) return 0;
        t.channel.Reach(icResponseReceived);
        Clock::time_point arrived = Clock::now();
        t.rate.Count(n, arrived);
        if (!t.channel.Push(std::string_view(data, n))) return 0;
        t.lastActivity = Clock::now();
        t.rate.Exclude(t.lastActivity - arrived);  // a full buffer is the reader's doing
    } catch (...) {
        return 0;
    }
    return n;
}

// A range is asked without compression: its byte positions are the file's.
void ConfigureRange(CURL* e, std::optional<std::uint64_t> rangeStart) {
    if (!rangeStart) {
        curl_easy_setopt(e, CURLOPT_ACCEPT_ENCODING, "");  // every encoding libcurl decodes
        return;
    }
    std::string range = std::to_string(*rangeStart) + "-";
    curl_easy_setopt(e, CURLOPT_RANGE, range.c_str());  // libcurl keeps a copy
    curl_easy_setopt(e, CURLOPT_ACCEPT_ENCODING, "identity");
}

void Configure(CURL* e, const std::string& url, const InetOptions& o, Transfer& t,
               char* errorBuffer) {
    curl_easy_setopt(e, CURLOPT_URL, url.c_str());
    curl_easy_setopt(e, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(e, CURLOPT_MAXREDIRS, o.maxRedirects);
#if LIBCURL_VERSION_NUM >= 0x075500
    curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(e, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
#else
    curl_easy_setopt(e, CURLOPT_PROTOCOLS, static_cast<long>(CURLPROTO_HTTP | CURLPROTO_HTTPS));
    curl_easy_setopt(e, CURLOPT_REDIR_PROTOCOLS, static_cast<long>(CURLPROTO_HTTP | CURLPROTO_HTTPS));
#endif
    curl_easy_setopt(e, CURLOPT_USERAGENT, o.userAgent.c_str());
    curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(o.connectTimeout.count()));
    curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
#if LIBCURL_VERSION_NUM >= 0x075700
    // Cleanup then leaves a name lookup still in progress to end on its own
    // instead of waiting for it, so Cancel is not held up by a slow resolver.
    curl_easy_setopt(e, CURLOPT_QUICK_EXIT, 1L);
#endif
    curl_easy_setopt(e, CURLOPT_FAILONERROR, 1L);
    curl_easy_setopt(e, CURLOPT_ERRORBUFFER, errorBuffer);
    curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, OnBody);
    curl_easy_setopt(e, CURLOPT_WRITEDATA, &t);
    curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, OnHeader);
    curl_easy_setopt(e, CURLOPT_HEADERDATA, &t);
    curl_easy_setopt(e, CURLOPT_SOCKOPTFUNCTION, OnSocketCreated);
    curl_easy_setopt(e, CURLOPT_SOCKOPTDATA, &t);
#if LIBCURL_VERSION_NUM >= 0x075000
    curl_easy_setopt(e, CURLOPT_PREREQFUNCTION, OnConnected);
    curl_easy_setopt(e, CURLOPT_PREREQDATA, &t);
#endif
}

class Handles {
public:
    Handles() : easy(curl_easy_init()), multi(curl_multi_init()) {}
    ~Handles() {
        if (added) curl_multi_remove_handle(multi, easy);
        if (easy) curl_easy_cleanup(easy);
        if (multi) curl_multi_cleanup(multi);
    }
    Handles(const Handles&) = delete;
    Handles& operator=(const Handles&) = delete;

    CURL* easy;
    CURLM* multi;
    bool added = false;
};

CURLcode DoneResult(CURLM* multi) {
    int left = 0;
    while (CURLMsg* m = curl_multi_info_read(multi, &left)) {
        if (m->msg == CURLMSG_DONE) return m->data.result;
    }
    return CURLE_GOT_NOTHING;
}

// Drives curl until the transfer ends, is cancelled or stalls.
CURLcode Drive(CURLM* multi, Transfer& t, const InetOptions& o) {
    for (;;) {
        int running = 0;
        if (curl_multi_perform(multi, &running) != CURLM_OK) return CURLE_FAILED_INIT;
        if (running == 0) return DoneResult(multi);
        if (t.channel.Cancelled()) return CURLE_ABORTED_BY_CALLBACK;
        Clock::time_point now = Clock::now();
        if (now - t.lastActivity > o.stallTimeout) {
            t.refusal = "no data received for " + std::to_string(o.stallTimeout.count()) + " ms";
            return CURLE_OPERATION_TIMEDOUT;
        }
        if (t.rate.TooSlow(now)) {
            t.refusal = "slower than " + std::to_string(o.minBytesPerSecond) + " bytes/s for " +
                        std::to_string(o.rateWindow.count()) + " ms";
            return CURLE_OPERATION_TIMEDOUT;
        }
        curl_multi_poll(multi, nullptr, 0, kPollMilliseconds, nullptr);
    }
}

std::string Describe(CURLcode result, long code, const Transfer& t, const char* errorBuffer) {
    if (!t.refusal.empty()) return t.refusal;
    if (code >= 400) return "HTTP status " + std::to_string(code);
    if (errorBuffer[0] != '\0') return errorBuffer;
    if (result == CURLE_OK) return "HTTP status " + std::to_string(code);
    return curl_easy_strerror(result);
}

}  // namespace

void EnsureCurlInitialised() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

void RunTransfer(const std::string& url, std::optional<std::uint64_t> rangeStart,
                 const InetOptions& options, InetChannel& channel) {
    bool ok = false;
    long code = 0;
    std::string error;
    try {
        channel.Reach(icResolvingHost);
        Transfer t(channel, options);
        char errorBuffer[CURL_ERROR_SIZE] = {};
        Handles h;
        if (!h.easy || !h.multi) throw std::runtime_error("libcurl could not start a transfer");
        t.easy = h.easy;
        Configure(h.easy, url, options, t, errorBuffer);
        ConfigureRange(h.easy, rangeStart);
        h.added = curl_multi_add_handle(h.multi, h.easy) == CURLM_OK;
        CURLcode result = h.added ? Drive(h.multi, t, options) : CURLE_FAILED_INIT;
        curl_easy_getinfo(h.easy, CURLINFO_RESPONSE_CODE, &code);
        ok = result == CURLE_OK && IsSuccessStatus(code);
        if (!ok) error = Describe(result, code, t, errorBuffer);
    } catch (const std::exception& e) {
        ok = false;
        error = e.what();
    }
    channel.Finish(ok, code, std::move(error));
}

}  // namespace ov
