#include "OVShared/Platform/InetTransfer.h"

#include "OVShared/Platform/GzipDecoder.h"
#include "OVShared/Platform/Inet.h"
#include "OVShared/Platform/InetChannel.h"
#include "OVShared/Platform/InetTransferShared.h"

#include <curl/curl.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace ov {
namespace {

using inet::Clock;
using inet::IsSuccessStatus;

// Bounds how long a cancel or a stall goes unnoticed while curl waits.
constexpr long kPollMilliseconds = 50;

struct Transfer {
    Transfer(InetChannel& c, const InetOptions& o) : channel(c), rate(o) {}

    InetChannel& channel;
    CURL* easy = nullptr;
    Clock::time_point lastActivity = Clock::now();
    inet::RateGuard rate;
    bool statusChecked = false;
    InetHead head;        // of the response whose headers are arriving
    std::string refusal;  // why the transfer was stopped from here, if it was
    // A whole body is decoded here (see ConfigureWholeBody): the response's
    // Content-Encoding, and its decoder once the body starts.
    bool decodeHere = false;
    std::string encoding;
    std::unique_ptr<GzipDecoder> gzip;
};

Transfer& Of(void* p) { return *static_cast<Transfer*>(p); }

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

std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* p) {
    std::size_t n = size * count;
    try {
        Transfer& t = Of(p);
        t.lastActivity = Clock::now();
        t.rate.Count(n, t.lastActivity);
        bool blank = n == 0 || data[0] == '\r' || data[0] == '\n';
        std::string_view line(data, n);
        inet::NoteHeaderLine(t.head, line);
        if (line.rfind("HTTP/", 0) == 0) t.encoding.clear();
        if (auto coding = inet::HeaderValue(line, "content-encoding")) t.encoding = *coding;
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
        t.refusal = inet::StatusError(code);
        return false;
    }
    t.statusChecked = true;
    return true;
}

// Hands body bytes on, decoding a gzip body that is decoded here; false to
// stop the transfer.
bool PushBody(Transfer& t, std::string_view data) {
    if (!t.decodeHere || t.encoding.empty() || inet::EqualsCoding(t.encoding, "identity")) {
        return t.channel.Push(data);
    }
    if (!inet::EqualsCoding(t.encoding, "gzip") && !inet::EqualsCoding(t.encoding, "x-gzip")) {
        t.refusal = "unsupported content encoding";
        return false;
    }
    if (!t.gzip) t.gzip = std::make_unique<GzipDecoder>();
    bool cancelled = false;
    bool fed = t.gzip->Feed(data, [&](std::string_view piece) {
        cancelled = !t.channel.Push(piece);
        return !cancelled;
    });
    if (!fed && !cancelled) t.refusal = inet::DamagedBodyError();
    return fed;
}

std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* p) {
    std::size_t n = size * count;
    try {
        Transfer& t = Of(p);
        if (!AcceptStatus(t)) return 0;
        t.channel.Reach(icResponseReceived);
        Clock::time_point arrived = Clock::now();
        t.rate.Count(n, arrived);
        if (!PushBody(t, std::string_view(data, n))) return 0;
        t.lastActivity = Clock::now();
        t.rate.Exclude(t.lastActivity - arrived);  // a full buffer is the reader's doing
    } catch (...) {
        return 0;
    }
    return n;
}

// Idle curl multi handles, each with the connections its last transfer left
// open. A transfer takes one (the most recently used first, so a run of
// transfers to one server keeps using the same connection) and gives it back
// when it ends; a connection cache is only ever used by one thread at a time,
// as libcurl requires. A worker left to end on its own gives its handle back
// whenever it ends. Name lookups and TLS sessions are shared by every handle
// through one share object, which libcurl allows across threads with locks.
class ConnectionPool {
public:
    static ConnectionPool& Instance() {
        // Never destroyed: a worker left to end on its own may give a handle
        // back while the program exits.
        static ConnectionPool* pool = new ConnectionPool();
        return *pool;
    }

    CURLM* Take() {
        {
            std::lock_guard lock(mutex_);
            if (!idle_.empty()) {
                CURLM* multi = idle_.back();
                idle_.pop_back();
                return multi;
            }
        }
        CURLM* multi = curl_multi_init();
        // One transfer at a time per handle: a small cache is enough.
        if (multi) curl_multi_setopt(multi, CURLMOPT_MAXCONNECTS, 4L);
        return multi;
    }

    void Give(CURLM* multi) {
        if (!multi) return;
        {
            std::lock_guard lock(mutex_);
            if (idle_.size() < kMaxIdle) {
                idle_.push_back(multi);
                return;
            }
        }
        curl_multi_cleanup(multi);
    }

    CURLSH* Share() const { return share_; }

private:
    static constexpr std::size_t kMaxIdle = 16;

    ConnectionPool() : share_(curl_share_init()) {
        if (!share_) return;
        curl_share_setopt(share_, CURLSHOPT_LOCKFUNC, Lock);
        curl_share_setopt(share_, CURLSHOPT_UNLOCKFUNC, Unlock);
        curl_share_setopt(share_, CURLSHOPT_USERDATA, this);
        curl_share_setopt(share_, CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS);
        curl_share_setopt(share_, CURLSHOPT_SHARE, CURL_LOCK_DATA_SSL_SESSION);
    }

    std::mutex& LockFor(curl_lock_data data) {
        auto index = static_cast<std::size_t>(data);
        return locks_[index < kLocks ? index : 0];
    }
    static void Lock(CURL*, curl_lock_data data, curl_lock_access, void* p) {
        static_cast<ConnectionPool*>(p)->LockFor(data).lock();
    }
    static void Unlock(CURL*, curl_lock_data data, void* p) {
        static_cast<ConnectionPool*>(p)->LockFor(data).unlock();
    }

    static constexpr std::size_t kLocks = CURL_LOCK_DATA_LAST;
    std::mutex mutex_;
    std::vector<CURLM*> idle_;
    std::mutex locks_[kLocks];
    CURLSH* share_;
};

void AddHeader(CURL* e, curl_slist*& headers, const std::string& line) {
    curl_slist* grown = curl_slist_append(headers, line.c_str());
    if (!grown) throw std::runtime_error("libcurl could not take a header");
    headers = grown;
    curl_easy_setopt(e, CURLOPT_HTTPHEADER, headers);
}

// A range is asked without compression: its byte positions are the file's.
// With a validator, If-Range makes a server whose body changed send it whole.
void ConfigureRange(CURL* e, std::optional<std::uint64_t> rangeStart, const std::string& ifRange,
                    curl_slist*& headers) {
    if (!rangeStart) {
        curl_easy_setopt(e, CURLOPT_ACCEPT_ENCODING, "");  // every encoding libcurl decodes
        return;
    }
    std::string range = std::to_string(*rangeStart) + "-";
    curl_easy_setopt(e, CURLOPT_RANGE, range.c_str());  // libcurl keeps a copy
    curl_easy_setopt(e, CURLOPT_ACCEPT_ENCODING, "identity");
    if (!ifRange.empty()) AddHeader(e, headers, "If-Range: " + ifRange);
}

// A whole body, gzip-compressed where the server offers it, asked only if
// changed since the validators given. libcurl does not check that a gzip
// body ends with its trailer, so a body cut at a block boundary would pass
// whole: it is decoded here instead (PushBody), as on Windows.
void ConfigureWholeBody(CURL* e, const WholeBodyRequest& request, curl_slist*& headers,
                        Transfer& t) {
    curl_easy_setopt(e, CURLOPT_ACCEPT_ENCODING, "gzip");
    curl_easy_setopt(e, CURLOPT_HTTP_CONTENT_DECODING, 0L);
    t.decodeHere = true;
    if (!request.ifNoneMatch.empty())
        AddHeader(e, headers, "If-None-Match: " + request.ifNoneMatch);
    if (!request.ifModifiedSince.empty())
        AddHeader(e, headers, "If-Modified-Since: " + request.ifModifiedSince);
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
    curl_easy_setopt(e, CURLOPT_REDIR_PROTOCOLS,
                     static_cast<long>(CURLPROTO_HTTP | CURLPROTO_HTTPS));
#endif
    curl_easy_setopt(e, CURLOPT_USERAGENT, o.userAgent.c_str());
    curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(o.connectTimeout.count()));
    curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
    if (CURLSH* share = ConnectionPool::Instance().Share())
        curl_easy_setopt(e, CURLOPT_SHARE, share);
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
    Handles() : easy(curl_easy_init()), multi(ConnectionPool::Instance().Take()) {}
    ~Handles() {
        if (added) curl_multi_remove_handle(multi, easy);
        if (easy) curl_easy_cleanup(easy);
        ConnectionPool::Instance().Give(multi);
        curl_slist_free_all(headers);
    }
    Handles(const Handles&) = delete;
    Handles& operator=(const Handles&) = delete;

    CURL* easy;
    CURLM* multi;
    curl_slist* headers = nullptr;  // kept until the transfer ends
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
            t.refusal = inet::StallError(o);
            return CURLE_OPERATION_TIMEDOUT;
        }
        if (t.rate.TooSlow(now)) {
            t.refusal = inet::SlowError(o);
            return CURLE_OPERATION_TIMEDOUT;
        }
        curl_multi_poll(multi, nullptr, 0, kPollMilliseconds, nullptr);
    }
}

// The short phrase for the failures a user can act on; nothing for the rest.
std::optional<std::string> ShortReason(CURLcode result) {
    switch (result) {
    case CURLE_COULDNT_CONNECT: return "connection refused";
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY: return "host not found";
    case CURLE_OPERATION_TIMEDOUT: return "connection timed out";
    case CURLE_PEER_FAILED_VERIFICATION:
#if LIBCURL_VERSION_NUM < 0x073e00
    case CURLE_SSL_CACERT:
#endif
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH: return "certificate not trusted";
    case CURLE_SSL_CONNECT_ERROR: return "secure connection failed";
    case CURLE_PARTIAL_FILE:
    case CURLE_GOT_NOTHING: return "connection closed early";
    case CURLE_TOO_MANY_REDIRECTS: return "too many redirects";
    default: return std::nullopt;
    }
}

std::string Describe(CURLcode result, long code, const Transfer& t, const char* errorBuffer) {
    if (!t.refusal.empty()) return t.refusal;
    if (code >= 400) return inet::StatusError(code);
    if (result == CURLE_OK) return inet::StatusError(code);
    if (std::optional<std::string> reason = ShortReason(result)) return *reason;
    if (errorBuffer[0] != '\0') return errorBuffer;
    return curl_easy_strerror(result);
}

// Runs one transfer whose request setup adds to Configure's; always
// finishes the channel.
template <class Setup>
void Run(const std::string& url, const InetOptions& options, InetChannel& channel, Setup setup) {
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
        setup(h.easy, h.headers, t);
        h.added = curl_multi_add_handle(h.multi, h.easy) == CURLM_OK;
        CURLcode result = h.added ? Drive(h.multi, t, options) : CURLE_FAILED_INIT;
        curl_easy_getinfo(h.easy, CURLINFO_RESPONSE_CODE, &code);
        ok = result == CURLE_OK && IsSuccessStatus(code);
        if (ok && t.gzip && !t.gzip->Finished()) t.refusal = inet::DamagedBodyError();
        ok = ok && t.refusal.empty();
        if (!ok) error = Describe(result, code, t, errorBuffer);
    } catch (const std::exception& e) {
        ok = false;
        error = e.what();
    }
    channel.Finish(ok, code, std::move(error));
}

}  // namespace

void InitialiseTransfers() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

void RunTransfer(const std::string& url, std::optional<std::uint64_t> rangeStart,
                 const std::string& ifRange, const InetOptions& options, InetChannel& channel) {
    Run(url, options, channel, [&](CURL* e, curl_slist*& headers, Transfer&) {
        ConfigureRange(e, rangeStart, ifRange, headers);
    });
}

void RunWholeBodyTransfer(const std::string& url, const WholeBodyRequest& request,
                          const InetOptions& options, InetChannel& channel) {
    Run(url, options, channel, [&](CURL* e, curl_slist*& headers, Transfer& t) {
        ConfigureWholeBody(e, request, headers, t);
    });
}

}  // namespace ov
