#include "OVShared/Platform/InetTransfer.h"

#include "OVShared/Platform/GzipDecoder.h"
#include "OVShared/Platform/Inet.h"
#include "OVShared/Platform/InetChannel.h"
#include "OVShared/Platform/InetTransferShared.h"
#include "OVShared/Platform/InetWinRequest.h"
#include "OVShared/Platform/WinSupport.h"

#include <windows.h>
#include <wininet.h>

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

// WinINet's calls block, so each transfer has two threads: the reader makes
// the calls and pushes the body; the watcher (the worker thread) checks every
// poll for a cancel, a stall or a trickle and ends a blocked call by closing
// its handles, which WinINet allows from another thread.

namespace ov {
namespace {

using inet::Clock;
using namespace inet::win;

constexpr std::chrono::milliseconds kPoll{50};
constexpr std::chrono::seconds kTimeoutSlack{5};
constexpr DWORD kReadSize = 64 * 1024;
constexpr ULONG kMaxConnectionsPerServer = 8;
constexpr DWORD kOpenFlags = INTERNET_FLAG_NO_AUTO_REDIRECT | INTERNET_FLAG_NO_CACHE_WRITE |
                             INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_NO_UI |
                             INTERNET_FLAG_KEEP_CONNECTION;

// How long a stopped reader may take to return before it is left to end alone.
constexpr std::chrono::milliseconds kReaderGrace{250};

// What the reader and the watcher share; every field under mutex. The
// reader holds a share, so a reader left blocked keeps it alive.
struct Shared {
    Shared(InetChannel& c, const InetOptions& o) : channel(&c), options(o), rate(o) {}
    Shared(const Shared&) = delete;
    Shared& operator=(const Shared&) = delete;

    InetChannel* channel;  // null once the watcher has given up on the reader
    const InetOptions options;
    std::mutex mutex;
    std::condition_variable wake;
    Clock::time_point lastActivity = Clock::now();
    std::optional<Clock::time_point> requestSent;  // of the response whose headers are awaited
    bool waitingForCaller = false;                 // in Push, with a full buffer
    bool readerDone = false;
    bool aborted = false;
    inet::RateGuard rate;
    bool ok = false;  // the reader's outcome
    long code = 0;
    std::string error;
    HINTERNET session = nullptr;  // shared by every transfer; never closed
    HINTERNET connection = nullptr;
    HINTERNET request = nullptr;
};

void Touch(Shared& s) {
    std::lock_guard lock(s.mutex);
    s.lastActivity = Clock::now();
}

void Reach(Shared& s, int state) {
    std::lock_guard lock(s.mutex);
    if (s.channel) s.channel->Reach(state);
}

void CALLBACK OnStatus(HINTERNET, DWORD_PTR context, DWORD status, LPVOID, DWORD) {
    if (context == 0) return;  // the session's own events
    auto& s = *reinterpret_cast<Shared*>(context);
    try {
        switch (status) {
        case INTERNET_STATUS_RESOLVING_NAME: Reach(s, icResolvingHost); break;
        case INTERNET_STATUS_NAME_RESOLVED: Reach(s, icHostResolved); break;
        case INTERNET_STATUS_CONNECTING_TO_SERVER: Reach(s, icConnecting); break;
        case INTERNET_STATUS_CONNECTED_TO_SERVER:
            Touch(s);
            Reach(s, icConnected);
            break;
        case INTERNET_STATUS_SENDING_REQUEST: Reach(s, icRequesting); break;
        case INTERNET_STATUS_REQUEST_SENT: {
            Reach(s, icRequestSent);
            std::lock_guard lock(s.mutex);
            s.lastActivity = Clock::now();
            s.requestSent = s.lastActivity;
            break;
        }
        case INTERNET_STATUS_RECEIVING_RESPONSE: Reach(s, icReceivingResponse); break;
        case INTERNET_STATUS_RESPONSE_RECEIVED: Touch(s); break;
        default: break;
        }
    } catch (...) {
        // A state that cannot be queued is left out; the sequence is filled in later.
    }
}

// What one transfer asks for: a range (Execute), or a whole body (OpenUrl).
struct Plan {
    std::optional<std::uint64_t> rangeStart;
    std::string ifRange;                    // If-Range with the range, when not empty
    std::optional<WholeBodyRequest> whole;  // asked gzip-compressed, decoded here
};

class Reader {
public:
    Reader(Shared& s, Plan plan) : s_(s), plan_(std::move(plan)) {}

    // Runs the transfer; throws Failed when it fails.
    void Run(const std::string& url);

private:
    Response Request(const std::wstring& url);
    void Open(HINTERNET& slot, HINTERNET handle);
    void CloseHandles();
    std::wstring RequestHeaders(HINTERNET request) const;
    template <class Take>
    std::uint64_t ReadPieces(Take take);
    void ReadBody(const Response& r);
    void ReadGzipBody(const Response& r);
    bool Push(const char* data, DWORD size);

    Shared& s_;
    Plan plan_;
};

// Keeps a new handle where the watcher can close it, unless it already stopped the transfer.
void Reader::Open(HINTERNET& slot, HINTERNET handle) {
    if (!handle) FailCall();
    std::lock_guard lock(s_.mutex);
    if (s_.aborted) {
        InternetCloseHandle(handle);
        Fail("stopped");
    }
    slot = handle;
}

void Reader::CloseHandles() {
    std::lock_guard lock(s_.mutex);
    for (HINTERNET* h : {&s_.request, &s_.connection}) {
        if (*h) InternetCloseHandle(*h);
        *h = nullptr;
    }
}

Response Reader::Request(const std::wstring& url) {
    Address a = Crack(url);
    auto context = reinterpret_cast<DWORD_PTR>(&s_);
    Open(s_.connection, InternetConnectW(s_.session, a.host.c_str(), a.port, nullptr, nullptr,
                                         INTERNET_SERVICE_HTTP, 0, context));
    DWORD flags = kOpenFlags | (a.secure ? INTERNET_FLAG_SECURE : 0);
    Open(s_.request, HttpOpenRequestW(s_.connection, L"GET", a.path.c_str(), nullptr, nullptr,
                                      nullptr, flags, context));
    std::wstring headers = RequestHeaders(s_.request);
    {
        std::lock_guard lock(s_.mutex);
        s_.requestSent = Clock::now();  // refined by the status callback
    }
    // The watcher enforces the stall time-out; WinINet's own limits only
    // back it up, a little later.
    DWORD connect = static_cast<DWORD>(s_.options.connectTimeout.count());
    DWORD receive = static_cast<DWORD>((s_.options.stallTimeout + kTimeoutSlack).count());
    InternetSetOptionW(s_.request, INTERNET_OPTION_CONNECT_TIMEOUT, &connect, sizeof connect);
    InternetSetOptionW(s_.request, INTERNET_OPTION_RECEIVE_TIMEOUT, &receive, sizeof receive);
    InternetSetOptionW(s_.request, INTERNET_OPTION_SEND_TIMEOUT, &receive, sizeof receive);
    if (!HttpSendRequestW(s_.request, headers.c_str(), static_cast<DWORD>(headers.size()), nullptr,
                          0)) {
        FailCall();
    }
    Response r = ReadHead(s_.request);
    std::lock_guard lock(s_.mutex);
    s_.requestSent.reset();
    s_.lastActivity = Clock::now();
    s_.rate.Count(r.headerBytes, s_.lastActivity);
    return r;
}

// WinINet drops Content-Length while it decodes, so a compressed body cut
// short would pass as complete. A whole body is therefore asked gzip-
// compressed and decoded here, its sent length and trailer checked; other
// transfers ask for no compression, and a server that compresses anyway is
// decoded by WinINet, except in a range, whose byte positions must be the
// file's. WinINet's cache is never used (kOpenFlags), so a 304 answering
// the validators given comes through as it is.
std::wstring Reader::RequestHeaders(HINTERNET request) const {
    if (plan_.whole) {
        std::wstring headers = L"Accept-Encoding: gzip\r\n";
        if (!plan_.whole->ifNoneMatch.empty())
            headers += L"If-None-Match: " + Widen(plan_.whole->ifNoneMatch) + L"\r\n";
        if (!plan_.whole->ifModifiedSince.empty())
            headers += L"If-Modified-Since: " + Widen(plan_.whole->ifModifiedSince) + L"\r\n";
        return headers;
    }
    std::wstring headers = L"Accept-Encoding: identity\r\n";
    if (plan_.rangeStart) {
        headers += L"Range: bytes=" + std::to_wstring(*plan_.rangeStart) + L"-\r\n";
        if (!plan_.ifRange.empty()) headers += L"If-Range: " + Widen(plan_.ifRange) + L"\r\n";
    } else {
        BOOL decode = TRUE;
        InternetSetOptionW(request, INTERNET_OPTION_HTTP_DECODING, &decode, sizeof decode);
    }
    return headers;
}

void Reader::Run(const std::string& url) {
    std::wstring address = Widen(url);
    for (long redirects = 0;; ++redirects) {
        Response r = Request(address);
        long code = r.head.code;
        if (!IsRedirect(code) || r.location.empty()) {
            {
                std::lock_guard lock(s_.mutex);
                s_.code = code;
                if (!s_.channel) Fail("stopped");
                s_.channel->SetHead(r.head);
                s_.channel->Reach(icResponseReceived);
            }
            if (!inet::IsSuccessStatus(code)) Fail(inet::StatusError(code));
            if (plan_.whole && !r.encoding.empty() && !inet::EqualsCoding(r.encoding, "identity")) {
                ReadGzipBody(r);
            } else {
                ReadBody(r);
            }
            return;
        }
        if (redirects >= s_.options.maxRedirects) Fail("too many redirects");
        address = Combined(address, r.location);
        CloseHandles();
    }
}

// False once the transfer is cancelled.
bool Reader::Push(const char* data, DWORD size) {
    Clock::time_point arrived = Clock::now();
    InetChannel* channel = nullptr;
    {
        std::lock_guard lock(s_.mutex);
        if (!s_.channel) return false;
        channel = s_.channel;
        s_.rate.Count(size, arrived);
        s_.waitingForCaller = true;  // the watcher keeps the channel until this is cleared
    }
    bool pushed = channel->Push(std::string_view(data, size));
    std::lock_guard lock(s_.mutex);
    s_.waitingForCaller = false;
    s_.wake.notify_all();
    s_.lastActivity = Clock::now();
    s_.rate.Exclude(s_.lastActivity - arrived);  // a full buffer is the reader's doing
    return pushed;
}

// Reads the body as it arrives, handing each piece to take (false stops the
// reading); returns the bytes read.
template <class Take>
std::uint64_t Reader::ReadPieces(Take take) {
    std::vector<char> buffer(kReadSize);
    std::uint64_t total = 0;
    for (;;) {
        // Asking what is there first keeps a read from waiting for a whole buffer.
        DWORD available = 0;
        if (!InternetQueryDataAvailable(s_.request, &available, 0, 0)) FailCall();
        if (available == 0) break;
        DWORD read = 0;
        if (!InternetReadFile(s_.request, buffer.data(), std::min(available, kReadSize), &read))
            FailCall();
        if (read == 0) break;
        total += read;
        take(std::string_view(buffer.data(), read));
    }
    return total;
}

void Reader::ReadBody(const Response& r) {
    std::uint64_t total = ReadPieces([this](std::string_view piece) {
        if (!Push(piece.data(), static_cast<DWORD>(piece.size()))) Fail("cancelled");
    });
    if (r.length && total < *r.length) Fail("connection closed early");
}

// A whole body sent gzip-compressed: the sent bytes are counted against
// Content-Length and the decoded ones pushed; it is whole only when the
// gzip trailer arrived and matched.
void Reader::ReadGzipBody(const Response& r) {
    if (!inet::EqualsCoding(r.encoding, "gzip") && !inet::EqualsCoding(r.encoding, "x-gzip")) {
        Fail("unsupported content encoding");
    }
    GzipDecoder decoder;
    bool cancelled = false;
    auto push = [&](std::string_view piece) {
        cancelled = !Push(piece.data(), static_cast<DWORD>(piece.size()));
        return !cancelled;
    };
    std::uint64_t total = ReadPieces([&](std::string_view piece) {
        if (!decoder.Feed(piece, push)) Fail(cancelled ? "cancelled" : inet::DamagedBodyError());
    });
    if (r.sentLength && total < *r.sentLength) Fail("connection closed early");
    if (!decoder.Finished()) Fail(inet::DamagedBodyError());
}

// Why the watcher stops the transfer now; empty to let it run.
std::string Verdict(Shared& s, Clock::time_point now) {
    const InetOptions& o = s.options;
    if (s.waitingForCaller) return {};
    if (now - s.lastActivity > o.stallTimeout) return inet::StallError(o);
    // Header bytes are only seen once the whole block is in, so headers
    // that take longer than a window are below the minimum rate.
    bool headersLate = s.requestSent && now - *s.requestSent >= o.rateWindow;
    if (o.minBytesPerSecond > 0 && (headersLate || s.rate.TooSlow(now))) return inet::SlowError(o);
    return {};
}

void CloseHandlesLocked(Shared& s) {
    for (HINTERNET* h : {&s.request, &s.connection}) {
        if (*h) InternetCloseHandle(*h);
        *h = nullptr;
    }
}

// Watches the reader until it ends; returns why it stopped it, if it did.
// A stopped reader no longer reaches the channel.
std::string Watch(Shared& s) {
    std::unique_lock lock(s.mutex);
    for (;;) {
        s.wake.wait_for(lock, kPoll, [&] { return s.readerDone; });
        if (s.readerDone) return {};
        lock.unlock();
        bool cancelled = s.channel->Cancelled();
        lock.lock();
        std::string why = cancelled ? std::string("cancelled") : Verdict(s, Clock::now());
        if (why.empty()) continue;
        s.aborted = true;
        // A cancelled Push returns at once; stall and rate verdicts are not
        // given while the reader waits in one.
        s.wake.wait(lock, [&] { return !s.waitingForCaller; });
        s.channel = nullptr;
        // Ends a call blocked on these handles where WinINet allows it (Wine
        // does not; its reader is then left to end alone).
        CloseHandlesLocked(s);
        return why;
    }
}

void RunReader(Shared& s, const std::string& url, const Plan& plan) {
    std::string error;
    try {
        Reader(s, plan).Run(url);
    } catch (const Failed& f) {
        error = f.text;
    } catch (const std::exception& e) {
        error = e.what();
    } catch (...) {
        error = "transfer failed";
    }
    std::lock_guard lock(s.mutex);
    CloseHandlesLocked(s);
    s.ok = error.empty();
    s.error = std::move(error);
    s.readerDone = true;
    s.wake.notify_all();
}

// One session per user agent for the whole process: WinINet keeps the
// connections a finished request leaves open with it, so transfers to the
// same server reuse them (and their TLS sessions) instead of connecting anew.
// Never closed: a reader left to end on its own may still use it.
HINTERNET SharedSession(const InetOptions& o) {
    static std::mutex mutex;
    static auto* sessions = new std::map<std::string, HINTERNET>();
    std::lock_guard lock(mutex);
    auto found = sessions->find(o.userAgent);
    if (found != sessions->end()) return found->second;
    HINTERNET session = InternetOpenW(Widen(o.userAgent).c_str(), INTERNET_OPEN_TYPE_PRECONFIG,
                                      nullptr, nullptr, 0);
    if (!session) FailCall();
    // Parallel downloads need more than the two connections per server of
    // the HTTP/1.1 default.
    ULONG connections = kMaxConnectionsPerServer;
    InternetSetOptionW(session, INTERNET_OPTION_MAX_CONNS_PER_SERVER, &connections,
                       sizeof connections);
    InternetSetStatusCallbackW(session, OnStatus);
    sessions->emplace(o.userAgent, session);
    return session;
}

std::shared_ptr<Shared> Prepare(InetChannel& channel, const InetOptions& o) {
    auto s = std::make_shared<Shared>(channel, o);
    s->session = SharedSession(o);
    return s;
}

void RunPlan(const std::string& url, const Plan& plan, const InetOptions& options,
             InetChannel& channel) {
    bool ok = false;
    long code = 0;
    std::string error;
    try {
        channel.Reach(icResolvingHost);
        std::shared_ptr<Shared> shared = Prepare(channel, options);
        std::thread reader([shared, url, plan] { RunReader(*shared, url, plan); });
        std::string refusal = Watch(*shared);
        std::unique_lock lock(shared->mutex);
        bool ended = shared->wake.wait_for(lock, kReaderGrace, [&] { return shared->readerDone; });
        ok = shared->ok && refusal.empty();
        code = shared->code;
        error = refusal.empty() ? shared->error : refusal;
        lock.unlock();
        if (ended) {
            reader.join();
        } else {
            reader.detach();  // blocked in a call WinINet does not interrupt; it holds its share
        }
    } catch (const Failed& f) {
        error = f.text;
    } catch (const std::exception& e) {
        error = e.what();
    }
    channel.Finish(ok, code, std::move(error));
}

}  // namespace

void InitialiseTransfers() {}

void RunTransfer(const std::string& url, std::optional<std::uint64_t> rangeStart,
                 const std::string& ifRange, const InetOptions& options, InetChannel& channel) {
    RunPlan(url, Plan{rangeStart, ifRange, std::nullopt}, options, channel);
}

void RunWholeBodyTransfer(const std::string& url, const WholeBodyRequest& request,
                          const InetOptions& options, InetChannel& channel) {
    RunPlan(url, Plan{std::nullopt, {}, request}, options, channel);
}

}  // namespace ov
